#!/usr/bin/env bash
# The demo: build, register everything in a fresh Wine prefix and run a scripted PDM client
# session against the simulated Vecta (examples/demo-session.txt on a copy of examples/).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
started=$(date +%s)

"$root/scripts/bootstrap.sh" || exit 1

demo=$build/demo
export WINEPREFIX=$demo/wineprefix WINEDEBUG=-all
unset DISPLAY
step() { printf '\n== %s\n' "$*"; }
winpath() { printf 'Z:%s' "$(realpath "$1" | sed 's#/#\\#g')"; }
built() { find "$build" -path "$demo" -prune -o -name "$1" -type f -print | head -n 1; }

caiclient=$build/sim/pdmclient/caiclient.exe
component=$(built QELDVecta17x.dll)
instance=$(built QELDVecta17Instance.dll)
vectasim=$(built VectaSim.exe)
missing=()
[ -f "$caiclient" ] || missing+=(caiclient.exe)
[ -n "$component" ] || missing+=(QELDVecta17x.dll)
[ -n "$instance" ] || missing+=(QELDVecta17Instance.dll)
[ -n "$vectasim" ] || missing+=(VectaSim.exe)
if [ ${#missing[@]} -gt 0 ]; then
  echo "demo: not built on this checkout yet: ${missing[*]}" >&2
  exit 1
fi

step "A fresh workspace and Wine prefix in $demo"
rm -rf "$demo"
mkdir -p "$demo"
cp -r "$root/examples" "$demo/workspace"
wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w >/dev/null 2>&1
# Cross-process COM fails in the wineserver session that created the prefix: restart it.
wineserver -k >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1

step "Registering the component, the type libraries, the moniker provider and VectaSim"
from=()
for f in "$component" "$instance" "$vectasim"; do from+=(--from "$(winpath "$(dirname "$f")")"); done
wine "$caiclient" --register "${from[@]}" || { echo "demo: registration failed" >&2; exit 1; }

export VECTASIM
VECTASIM=$(winpath "$vectasim")
cd "$demo/workspace"
find . -type f -exec md5sum {} + | sort -k2 > "$demo/before.txt"

step "The session (examples/demo-session.txt), every expression and client command shown"
sed -n '/^[^#]/p' demo-session.txt
echo
wine "$caiclient" --workspace workspace.json --script demo-session.txt --unattended --trace
status=$?

step "Files the session changed or created"
find . -type f -exec md5sum {} + | sort -k2 > "$demo/after.txt"
join -1 2 -2 2 -a 2 -e none -o 0,1.1,2.1 "$demo/before.txt" "$demo/after.txt" |
  awk '$2 != $3 { print ($2 == "none" ? "  new      " : "  changed  ") $1 }'

step "The end of vx17log.err"
if [ -f vx17log.err ]; then
  iconv -f UTF-16 -t UTF-8 vx17log.err | tr -d '\r' | tail -n 25
else
  echo "  (no log written)"
fi

step "Done in $(( $(date +%s) - started )) s, session exit status $status"
exit $status
