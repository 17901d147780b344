#!/usr/bin/env bash
# The demo: build, register everything in a fresh Wine prefix and run a scripted session.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/bootstrap.sh"
echo "demo: the scripted session through caiclient is not built yet; only the build ran." >&2
exit 1
