#!/usr/bin/env bash
# Runs a test on an X server of its own, so that no other test's window can take its pointer, its keyboard
# focus or its place on the screen: own-display.sh COMMAND [ARGUMENT...]. The suites that show windows or draw
# with GL have it as their CROSSCOMPILING_EMULATOR, through which CTest runs their tests.
#
# Xvfb picks a free display number and writes it to a pipe (-displayfd), so parallel tests never race for a
# number. The server ends with the test, whether the test ends, fails or is stopped by a signal; the test's
# exit status is this script's.
set -u

# Listing the tests (CTest's discovery at build time) needs no display.
for argument in "$@"; do
  if [ "$argument" = --gtest_list_tests ]; then exec "$@"; fi
done

folder=$(mktemp -d "${TMPDIR:-/tmp}/own-display.XXXXXX") || exit 1
xvfb=
test=
stop() {
  if [ -n "$test" ]; then kill -TERM "$test" 2>/dev/null; fi
  if [ -n "$xvfb" ]; then
    kill -TERM "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  rm -rf "$folder"
}
trap stop EXIT
# A signal (CTest's timeout, a user's kill) ends the test, then the server on the way out.
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

mkfifo "$folder/display"
# -noreset: Xvfb otherwise resets whenever its last client leaves, and a client that connects during the
# reset (the test opens and closes connections of its own, and xdotool does) fails to open the display.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3> "$folder/display" 2> "$folder/xvfb.log" &
xvfb=$!
display=
read -r -t 30 display < "$folder/display"
if ! [[ "$display" =~ ^[0-9]+$ ]]; then
  echo "own-display.sh: Xvfb did not start within 30 seconds:" >&2
  cat "$folder/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$display"
unset WAYLAND_DISPLAY
"$@" &
test=$!
status=0
wait "$test" || status=$?
test=
exit "$status"
