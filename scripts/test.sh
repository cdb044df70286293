#!/usr/bin/env bash
# Installs the dependencies, checks the tree (format, layering), builds the test configuration
# (AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-tree.sh

build=${CORVANE_TEST_BUILD_DIR:-build-test}
jobs=$(nproc)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_SANITIZE=ON -DCORVANE_TESTS=ON >/dev/null
cmake --build "$build" -j "$jobs"
# -noreset: Xvfb otherwise resets whenever its last client leaves, and a test process that connects
# during the reset fails to open the display.
# --repeat until-pass:2: LeakSanitizer's exit-time scan stops every thread with ptrace and now and then
# crashes on one of Mesa's llvmpipe threads after a test has passed; a test that fails twice still fails.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --test-dir "$build" --output-on-failure --repeat until-pass:2 -j "$jobs" --timeout 600
