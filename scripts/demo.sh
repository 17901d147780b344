#!/usr/bin/env bash
# The demo: build, register everything in a fresh Wine prefix and run a scripted PDM client
# session against the simulated Vecta (examples/demo-session.txt on a copy of examples/).
# Any failing command fails the demo.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
started=$(date +%s)

# The demo needs only the client, the component and the two pieces of the Vecta side.
"$root/scripts/bootstrap.sh" caiclient QELDVecta17x QELDVecta17Instance VectaSim || exit 1
built_at=$(date +%s)

demo=$build/demo
export WINEPREFIX=$demo/wineprefix WINEDEBUG=-all
unset DISPLAY
step() { printf '\n== %s\n' "$*"; }
winpath() { printf 'Z:%s' "$(realpath "$1" | sed 's#/#\\#g')"; }
# Where the build puts them (test runs leave copies elsewhere in the tree).
caiclient=$build/sim/pdmclient/caiclient.exe
component=$build/src/QELDVecta17x.dll
instance=$build/sim/instance/QELDVecta17Instance.dll
vectasim=$build/sim/vecta/VectaSim.exe
missing=()
for f in "$caiclient" "$component" "$instance" "$vectasim"; do [ -f "$f" ] || missing+=("$(basename "$f")"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "demo: the build did not produce ${missing[*]}" >&2
  exit 1
fi

# Whatever happens from here on, the demo's wineserver (and every Wine process of the prefix,
# VectaSim included) is stopped.
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT

step "A fresh workspace and Wine prefix in $demo"
stop_wine
rm -rf "$demo"
mkdir -p "$demo"
cp -r "$root/examples" "$demo/workspace"
wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w >/dev/null 2>&1
# Cross-process COM fails in the wineserver session that created the prefix: restart it.
stop_wine
wineserver -p >/dev/null 2>&1

step "Registering the component, the type libraries, the moniker provider and VectaSim"
from=()
for f in "$component" "$instance" "$vectasim"; do from+=(--from "$(winpath "$(dirname "$f")")"); done
# VectaSim's registration records release R17.1 for the user, the release the example names.
wine "$caiclient" --register "${from[@]}" || { echo "demo: registration failed" >&2; exit 1; }

export VECTASIM
VECTASIM=$(winpath "$vectasim")
cd "$demo/workspace"
# One line a file: its checksum, two blanks and its name (names may hold blanks).
checksums() { find . -type f -print0 | sort -z | xargs -0 md5sum; }
checksums > "$demo/before.txt"

step "The session (examples/demo-session.txt), every expression and client command shown"
sed -n '/^[^#]/p' demo-session.txt
echo
wine "$caiclient" --workspace workspace.json --script demo-session.txt --unattended --trace | tee "$demo/session.txt"
status=${PIPESTATUS[0]}

step "Files the session changed or created"
checksums > "$demo/after.txt"
awk 'FNR == NR { before[substr($0, 35)] = $1; next }
     { name = substr($0, 35); seen[name] }
     !(name in before) { print "  new      " name; next }
     before[name] != $1 { print "  changed  " name }
     END { for (name in before) if (!(name in seen)) print "  removed  " name }' "$demo/before.txt" "$demo/after.txt"

step "The end of vx17log.err"
if [ -f vx17log.err ]; then
  iconv -f UTF-16 -t UTF-8 vx17log.err | tr -d '\r' > "$demo/log.txt"
  tail -n 25 "$demo/log.txt"
else
  : > "$demo/log.txt"
  echo "  (no log written)"
fi

step "Commands of the session"
awk '
  FNR == NR { if (/QuitVecta: Don.t quit Vecta/) keptrunning = 1; next }
  { sub(/\r$/, "") }
  /^> / { name = toupper($2); next }
  /^  (HRESULT|not run)/ {
    if ($0 !~ /FAILED$/) printf "  ok      %s\n", name
    else { printf "  FAILED  %s:%s\n", name, $0; failed++ }
  }
  END {
    if (keptrunning) print "Vecta did not quit: a drawing was still open in it (stopping Wine ends it)."
    exit (failed > 0)
  }' "$demo/log.txt" "$demo/session.txt"
failures=$?

stop_wine
finished=$(date +%s)
step "Done: build $(( built_at - started )) s, demo $(( finished - built_at )) s; caiclient exit status $status, Wine stopped"
# caiclient exits 1 when a command fails, 2 and up for errors of the client itself.
if [ "$failures" -ne 0 ] || [ "$status" -ne 0 ]; then
  echo "demo: FAILED" >&2
  exit 1
fi
echo "demo: OK"
