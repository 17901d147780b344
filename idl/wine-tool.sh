#!/bin/sh
# Runs a Windows build tool under Wine in the given prefix (created on first use). Its output
# goes to a file, shown on failure: Wine's background services must not inherit the build's
# output pipe.
set -u
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
unset DISPLAY
log=$(mktemp)
if wine "$@" >"$log" 2>&1; then
  rm -f "$log"
  exit 0
fi
cat "$log" >&2
rm -f "$log"
exit 1
