#!/usr/bin/env bash
# Runs a test on an X server of its own, so that no other test's window can take its pointer, its keyboard
# focus or its place on the screen: own-display.sh COMMAND [ARGUMENT...]. The suites that show windows or draw
# with GL have it as their CROSSCOMPILING_EMULATOR, through which CTest runs their tests.
#
# Xvfb picks a free display number and writes it to a pipe (-displayfd), so parallel tests never race for a
# number. The server ends with the test, whether the test ends, fails or is stopped by a signal, and neither
# outlives this script or the CTest that started it, even one killed outright. A test deaf to TERM is killed
# after a few seconds, and whatever it started goes with it. The test's exit status is this script's; a test
# killed by a signal kills this script with the same signal, so that CTest tells a crash from a failure.
set -u

# Listing the tests (CTest's discovery at build time) needs no display.
for argument in "$@"; do
  if [ "$argument" = --gtest_list_tests ]; then exec "$@"; fi
done

# Without the parent-death signal (setpriv) a launcher killed outright would leave its server and its test
# running; without perl there is no telling a test killed by signal N from one that exited with 128 + N.
for tool in setpriv perl; do
  if ! command -v "$tool" > /dev/null; then
    echo "own-display.sh: $tool is missing (setpriv comes with util-linux, perl with perl-base)" >&2
    exit 1
  fi
done

# Whoever started this script, CTest as a rule: a KILL (a CI time limit's) ends it without a word to us.
starter=$PPID

# The script's files live only as open descriptors: their folder goes at once, so that a launcher killed
# outright (CTest's time limit kills the whole process tree at once, and no trap runs) leaves nothing. A folder
# left by one killed in that moment is cleared by the next launcher: its name holds its launcher's id.
temporary=${TMPDIR:-/tmp}
for left in "$temporary"/own-display.*.*; do
  owner=${left#"$temporary"/own-display.}
  owner=${owner%%.*}
  if [[ "$owner" =~ ^[0-9]+$ ]] && ! [ -e "/proc/$owner" ]; then rm -rf "$left" 2> /dev/null; fi
done
folder=$(mktemp -d "$temporary/own-display.$$.XXXXXX") || exit 1
# Nothing is ever written to "tick": reading it waits for a time, with no sleep process that could be left
# behind.
mkfifo "$folder/tick" "$folder/display" &&
  exec {tick}<> "$folder/tick" {display_pipe}<> "$folder/display" {log}> "$folder/xvfb.log" \
    {log_read}< "$folder/xvfb.log" {report}> "$folder/signal" {report_read}< "$folder/signal"
opened=$?
rm -rf "$folder"
if [ "$opened" != 0 ]; then exit 1; fi
# Runs a command without the descriptors above.
bare() {
  exec {tick}>&- {display_pipe}>&- {log}>&- {log_read}>&- {report}>&- {report_read}>&-
  exec "$@"
}

xvfb=
test=
watcher=
signal=

# Ends the child process $1: TERM, and KILL if it is still there after $2 seconds.
end_process() {
  local hundredths=$(($2 * 100))
  kill -TERM "$1" 2> /dev/null
  while kill -0 "$1" 2> /dev/null && [ "$hundredths" -gt 0 ]; do
    read -r -t 0.01 -u "$tick" _
    hundredths=$((hundredths - 1))
  done
  kill -KILL "$1" 2> /dev/null
  wait "$1" 2> /dev/null
}
stop() {
  # The test's parent gives the test 5 seconds after the TERM, then clears up after it.
  if [ -n "$test" ]; then end_process "$test" 10; fi
  if [ -n "$xvfb" ]; then end_process "$xvfb" 5; fi
  if [ -n "$watcher" ]; then end_process "$watcher" 5; fi
}
finish() {
  stop
  if [ -n "$signal" ]; then
    # CTest reads a crash ("SegFault", "Exception: ...") only from how the process it started died, not from
    # an exit status of 128 + N. The core of this shell would be no use to anyone, and could take the place
    # of the test's.
    trap - "$signal"
    ulimit -c 0
    kill -n "$signal" $$
  fi
}
trap finish EXIT
# A signal (CTest's timeout, a user's kill) ends the test, then the server on the way out.
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# Sets ppid to the parent of process $1; fails when that process is gone.
parent_of() {
  local stat
  read -r stat < "/proc/$1/stat" || return 1
  stat=${stat##*) }  # past the command's name, which may hold spaces and parentheses
  stat=${stat#* }    # past the state
  ppid=${stat%% *}
}

# Once a second, ends this script (and so the test and the server) when its starter is gone.
(
  while :; do
    read -r -t 1 -u "$tick" _
    # This script killed, so without its traps: the server and the test have had their parent-death
    # signals.
    if ! parent_of "$BASHPID" || [ "$ppid" != "$$" ]; then exit 0; fi
    if ! parent_of "$$" || [ "$ppid" != "$starter" ]; then
      kill -TERM $$
      exit 0
    fi
  done
) > /dev/null 2>&1 &
watcher=$!

# -noreset: Xvfb otherwise resets whenever its last client leaves, and a client that connects during the
# reset (the test opens and closes connections of its own, and xdotool does) fails to open the display.
bare setpriv --pdeathsig TERM Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
  3>&"$display_pipe" 2>&"$log" &
xvfb=$!
display=
read -r -t 30 -u "$display_pipe" display
if ! [[ "$display" =~ ^[0-9]+$ ]]; then
  echo "own-display.sh: Xvfb did not start within 30 seconds:" >&2
  cat <&"$log_read" >&2
  exit 1
fi

export DISPLAY=":$display"
unset WAYLAND_DISPLAY
# The test runs under a small parent that hands it TERM, INT and HUP, kills it if it is still there a few
# seconds later, and writes the signal that killed it, if one did, to its descriptor 3: bash's wait gives
# 128 + N both for a test killed by signal N and for one that exited with 128 + N. The parent is the test's
# subreaper: whatever the test started and left (a child deaf to TERM, a server it spawned) comes to it rather
# than to init, is reaped when it ends, and is killed before the parent reports, however the test ended. The
# test dies with that parent; the parent takes this script's outright death as a TERM, so as to clear up all
# the same.
bare setpriv --pdeathsig TERM perl -MConfig -e '
  open my $report, ">&=", 3 or die "own-display.sh: $!\n";
  # syscall.ph comes with the full perl; with perl-base alone the number is taken from this table.
  my $prctl = eval { require "syscall.ph"; &SYS_prctl }
    // {x86_64 => 157, aarch64 => 167}->{$Config{archname} =~ s/-.*//r};
  defined $prctl && syscall($prctl, 36, 1, 0, 0, 0) == 0  # PR_SET_CHILD_SUBREAPER
    or die "own-display.sh: cannot take in the test'"'"'s orphans: $!\n";
  defined(my $test = fork) or die "own-display.sh: fork: $!\n";
  if (!$test) { exec { "setpriv" } "setpriv", "--pdeathsig", "KILL", "--", @ARGV; exit 127 }
  my $grace;
  $SIG{$_} = sub { kill $_[0], $test; alarm 5 unless $grace++ } for qw(TERM INT HUP);
  $SIG{ALRM} = sub { kill "KILL", $test };
  # Orphans that come and end while the test runs are reaped as they end, not held as zombies until it ends.
  my $status;
  while (1) {
    my $ended = waitpid(-1, 0);
    if ($ended == $test) { $status = $?; last }
    die "own-display.sh: waitpid: $!\n" if $ended == -1 && !$!{EINTR};
  }
  $SIG{$_} = "IGNORE" for qw(TERM INT HUP ALRM); # no signal for the test now: its id may be taken by a new process
  # Killing one that is left hands its own children to this process, so this goes on until none is left.
  my $me = $$;
  my $child = sub { my $stat; open($stat, "<", $_[0]) && (<$stat> // "") =~ /.*\) \S+ (\d+) / && $1 == $me };
  while (my @left = map { m{(\d+)} } grep { $child->($_) } glob "/proc/[0-9]*/stat") {
    kill "KILL", @left;
    waitpid $_, 0 for @left;
  }
  my $signal = $status & 127;
  if ($signal) { print $report "$signal\n"; close $report or die; exit 128 + $signal }
  exit $status >> 8;
' "$@" 3>&"$report" &
test=$!
status=0
wait "$test" || status=$?
test=
read -r -u "$report_read" signal
exit "$status"
