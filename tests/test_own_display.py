"""tests/own-display.sh around a test that crashes, exits above 128 or is deaf to TERM, and killed as CTest kills
it: the launcher ends as its test did, and leaves no process and no folder behind."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

LAUNCHER = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "own-display.sh")

# (row, the test's shell command, how the run is ended, the launcher's end: -N for signal N, else a status)
CASES = [
    ("a crash", "kill -SEGV $$", None, -signal.SIGSEGV),
    ("a status above 128", "exit 134", None, 134),
    ("a test that ends leaving a child of its own", "sleep 1000 & exit 0", None, 0),
    ("a test deaf to TERM with a child of its own, whose starter is killed outright",
     "trap '' TERM; sleep 1000 & exec sleep 1000", "starter", None),
    ("the whole tree killed at once, as by CTest's time limit", "exec sleep 1000", "tree", None),
    ("no setpriv", "exit 0", "no setpriv", 1),
    # Ends with 1 when, 20 seconds after its orphans have come and ended, any is still a zombie of its parent.
    ("a test whose children leave orphans that end one after another",
     "for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do (true &); done; n=0; "
     "while [ $(grep -l \") [A-Z] $PPID \" /proc/[0-9]*/stat 2>/dev/null | grep -vc \"^/proc/$$/\") != 0 ]; do "
     "n=$((n + 1)); [ $n -lt 400 ] || exit 1; sleep 0.05; done", None, 0),
]


def wait_for(condition, seconds):
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


def marked(token):
    """The live processes that inherited the row's token: the launcher, its server, its test and its helpers."""
    found = []
    for name in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{name}/environ", "rb") as environ:
                if token in environ.read().split(b"\0"):
                    found.append(int(name))
        except OSError:
            pass
    return found


def kill_all(token, *signals):
    for number in signals:
        for pid in marked(token):
            try:
                os.kill(pid, number)
            except OSError:
                pass


class OwnDisplayTest(unittest.TestCase):
    def run_case(self, command, ending, scratch):
        temporary = os.path.join(scratch, "tmp")
        os.mkdir(temporary)
        started = os.path.join(scratch, "started")
        token = "OWN_DISPLAY_ROW=" + scratch
        env = dict(os.environ, TMPDIR=temporary, OWN_DISPLAY_ROW=scratch)
        if ending == "no setpriv":
            tools = os.path.join(scratch, "bin")
            os.mkdir(tools)
            for folder in env["PATH"].split(":"):
                for tool in os.listdir(folder) if os.path.isdir(folder) else []:
                    if tool != "setpriv" and not os.path.exists(os.path.join(tools, tool)):
                        os.symlink(os.path.join(folder, tool), os.path.join(tools, tool))
            env["PATH"] = tools
        test = ["sh", "-c", f": > '{started}'; {command}"]
        # The starter stays the launcher's parent: a shell that has more to do after it.
        run = ["sh", "-c", '"$@"; :', "sh", LAUNCHER] + test if ending == "starter" else [LAUNCHER] + test
        process = subprocess.Popen(run, env=env, stderr=subprocess.PIPE)
        try:
            if ending in ("starter", "tree"):
                self.assertTrue(wait_for(lambda: os.path.exists(started), 30), "the test never started")
                if ending == "starter":
                    process.kill()
                else:
                    # CTest's time limit: the whole tree stopped, then killed, so that no trap runs.
                    kill_all(token.encode(), signal.SIGSTOP, signal.SIGKILL)
                process.wait()
                # A later launcher clears what an outright kill left.
                subprocess.run([LAUNCHER, "true"], env=env, check=True)
                end = None
            else:
                end = process.wait(timeout=60)
            self.assertTrue(wait_for(lambda: not marked(token.encode()), 20), "processes left behind")
            self.assertEqual([], os.listdir(temporary), "folders left behind")
            return end, process.stderr.read().decode()
        finally:
            kill_all(token.encode(), signal.SIGKILL)
            process.wait()
            process.stderr.close()

    def test_cases(self):
        for row, command, ending, expected in CASES:
            with self.subTest(row):
                scratch = tempfile.mkdtemp(prefix="corvane-own-display-")
                try:
                    end, errors = self.run_case(command, ending, scratch)
                    self.assertEqual(expected, end, errors)
                    if ending == "no setpriv":
                        self.assertIn("setpriv", errors)
                        self.assertFalse(os.path.exists(os.path.join(scratch, "started")), "the test ran")
                finally:
                    shutil.rmtree(scratch)


if __name__ == "__main__":
    unittest.main()
