#!/usr/bin/env bash
# Starts or stops the Wine bench of a test run: the prefix in the build tree, a persistent
# wineserver and a keep-alive process. WINEPREFIX comes from the test environment.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=-all
unset DISPLAY
case "${1:-}" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1 || { echo "wineboot failed"; exit 1; }
      # Let the creating session finish writing the prefix before it is restarted.
      timeout 60 wineserver -w >/dev/null 2>&1
    fi
    # Cross-process COM fails in the wineserver session that created the prefix: restart it.
    # Wait for the old server to be gone: a test that starts a server itself would hand it
    # its output pipe, and CTest would wait for that server forever.
    wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    wineserver -p >/dev/null 2>&1
    # The first process of a session starts the Wine services, which inherit its output. Start
    # them here, writing nowhere: started by a test, they would hold CTest's pipe open and the
    # test would hang until its timeout.
    wine cmd /c exit >/dev/null 2>&1
    if [ -n "${2:-}" ]; then
      nohup wine "$2" >/dev/null 2>&1 &
    fi
    wine cmd /c exit >/dev/null 2>&1
    echo "wine bench up in $WINEPREFIX"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1
    echo "wine bench stopped"
    ;;
  *)
    echo "usage: $0 start [keepalive.exe] | stop" >&2
    exit 2
    ;;
esac
