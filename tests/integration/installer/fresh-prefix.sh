#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix created fresh for it (the bench's start and
# stop), and removes the prefix again when the program succeeded.
set -u
export WINEPREFIX=$1
shift
export WINEDEBUG=-all
unset DISPLAY
bench=$(cd "$(dirname "$0")/../../wine" && pwd)/bench.sh
rm -rf "$WINEPREFIX"
"$bench" start || exit 1
wine "$@"
status=$?
"$bench" stop
[ $status -eq 0 ] && rm -rf "$WINEPREFIX"
exit $status
