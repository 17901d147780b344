#!/usr/bin/env bash
# Builds everything and runs the whole suite under Wine. Extra arguments go to ctest
# (for example -L slow, or -LE slow to leave the slow ones out). The tests, the simulators and
# the fuzz link the hardened build of the sources (src/CMakeLists.txt); the DLL ships as built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/bootstrap.sh"
# Whatever happens, nothing Wine started outlives the run.
trap 'WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
