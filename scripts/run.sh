#!/usr/bin/env bash
# The demo in one command: installs what is missing, builds a Release tree (build-release) and runs the
# viewer on the demo atlas against the demo data server. Options after the command go to scripts/demo.sh
# (--port N, --profile demo|tiny|micro, --log FILE).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_BUILD_DIR:-$root/build-release}

# A port that is none or taken, a viewer already running, a demo run under way or a folder that cannot be
# written is refused before anything is installed or built.
"$root/scripts/demo.sh" --check "$@"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=OFF > /dev/null
cmake --build "$build" -j"$(nproc)" --target corvane corvane-atlasgen
exec "$root/scripts/demo.sh" "$build/bin" "$@"
