#!/usr/bin/env bash
# Runs a test on an X server of its own, so that no other test's window can take its pointer, its keyboard
# focus or its place on the screen: own-display.sh COMMAND [ARGUMENT...]. The suites that show windows or draw
# with GL have it as their CROSSCOMPILING_EMULATOR, through which CTest runs their tests.
#
# Xvfb picks a free display number and writes it to a pipe (-displayfd), so parallel tests never race for a
# number. The server ends with the test, whether the test ends, fails or is stopped by a signal, and neither
# outlives this script or the CTest that started it, even one killed outright. The test's exit status is this
# script's; a test killed by a signal kills this script with the same signal, so that CTest tells a crash from
# a failure.
set -u

# Listing the tests (CTest's discovery at build time) needs no display.
for argument in "$@"; do
  if [ "$argument" = --gtest_list_tests ]; then exec "$@"; fi
done

# Whoever started this script, CTest as a rule: a KILL (a CI time limit's) ends it without a word to us.
starter=$PPID
folder=$(mktemp -d "${TMPDIR:-/tmp}/own-display.XXXXXX") || exit 1
xvfb=
test=
watcher=
signal=
stop() {
  if [ -n "$test" ]; then
    kill -TERM "$test" 2>/dev/null
    wait "$test" 2>/dev/null
  fi
  if [ -n "$xvfb" ]; then
    kill -TERM "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  if [ -n "$watcher" ]; then
    kill -TERM "$watcher" 2>/dev/null
    wait "$watcher" 2>/dev/null
  fi
  rm -rf "$folder"
}
finish() {
  stop
  if [ -n "$signal" ]; then
    # CTest reads a crash ("SegFault", "Exception: ...") only from how the process it started died, not from
    # an exit status of 128 + N. The core of this shell would be no use to anyone, and could take the place
    # of the test's.
    trap - "$signal"
    ulimit -c 0
    kill -s "$signal" $$
  fi
}
trap finish EXIT
# A signal (CTest's timeout, a user's kill) ends the test, then the server on the way out.
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# The server and the test get a TERM when this script dies, even of a KILL, which runs no trap.
orphan_guard=()
if command -v setpriv > /dev/null; then orphan_guard=(setpriv --pdeathsig TERM); fi

# Sets ppid to the parent of process $1; fails when that process is gone.
parent_of() {
  local stat
  read -r stat < "/proc/$1/stat" || return 1
  stat=${stat##*) }  # past the command's name, which may hold spaces and parentheses
  stat=${stat#* }    # past the state
  ppid=${stat%% *}
}

# Once a second, ends this script (and so the test and the server) when its starter is gone. Nothing is ever
# written to "tick": reading it just waits, with no sleep process that could be left behind.
mkfifo "$folder/display" "$folder/tick"
(
  exec 4<> "$folder/tick"
  while :; do
    read -r -t 1 -u 4 _
    # This script killed, so without its traps: the server and the test have had their TERM, the folder is
    # still to clear.
    if ! parent_of "$BASHPID" || [ "$ppid" != "$$" ]; then
      rm -rf "$folder"
      exit 0
    fi
    if ! parent_of "$$" || [ "$ppid" != "$starter" ]; then
      kill -TERM $$
      exit 0
    fi
  done
) > /dev/null 2>&1 &
watcher=$!

# -noreset: Xvfb otherwise resets whenever its last client leaves, and a client that connects during the
# reset (the test opens and closes connections of its own, and xdotool does) fails to open the display.
"${orphan_guard[@]}" Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
  3> "$folder/display" 2> "$folder/xvfb.log" &
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
"${orphan_guard[@]}" "$@" &
test=$!
status=0
wait "$test" || status=$?
test=
if [ "$status" -gt 128 ]; then signal=$(kill -l "$status" 2> /dev/null); fi
exit "$status"
