"""scripts/check-tree.sh on a scratch copy of the tree: silent on the tree as it is, one clear line for
each kind of fault, and no line for what the layering allows."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../..")
FOLDERS = ["core", "gl", "atlas", "expression", "scene", "views", "app", "platform", "tests", "tools", "bench"]

# (name, file, text ("-> TARGET" for a symbolic link), expected line, or lines, or None when the text is
# allowed); a row may give a tuple of files and one of their texts, or name an environment variable ($NAME)
# and its value instead of a file and a text, for a check that cannot run (status 2)
CASES = [
    ("misformatted file", "core/Loose.cpp", "int  loose( int x ){return x;}\n",
     "check-tree: core/Loose.cpp: not formatted as clang-format formats it"),
    ("Qt include in core", "core/Quiet.h", "#pragma once\n\n#include <QString>\n",
     "check-tree: core/Quiet.h:3: Qt header included in core/: QString"),
    ("Qt module include in expression", "expression/Quiet.h", "#pragma once\n\n#include <QtCore/QObject>\n",
     "check-tree: expression/Quiet.h:3: Qt header included in expression/: QtCore/QObject"),
    ("includes that climb out of core", "core/Climb.h",
     '#pragma once\n\n#include "../app/CorvaneDoc.h"\n#include "../platform/QtDefaultsStore.h"\n'
     '#include <QtCore/qstring.h>\n#include <qstring.h>\n#include "/usr/include/stdio.h"\n',
     ["check-tree: core/Climb.h:3: core/ includes app/, up the stack: ../app/CorvaneDoc.h",
      "check-tree: core/Climb.h:4: core/ includes platform/, up the stack: ../platform/QtDefaultsStore.h",
      "check-tree: core/Climb.h:5: Qt header included in core/: QtCore/qstring.h",
      "check-tree: core/Climb.h:6: Qt header included in core/: qstring.h",
      "check-tree: core/Climb.h:7: core/ includes a header by an absolute path: /usr/include/stdio.h"]),
    ("gl climbing to scene", "gl/Climb.h", '#pragma once\n\n#include "../scene/X.h"\n',
     "check-tree: gl/Climb.h:3: gl/ includes scene/, up the stack: ../scene/X.h"),
    ("platform climbing to app", "platform/Climb.h", "#pragma once\n\n#include <./app/x.h>\n#include <../app/x.h>\n",
     ["check-tree: platform/Climb.h:3: platform/ includes app/, up the stack: ./app/x.h",
      "check-tree: platform/Climb.h:4: platform/ includes a header outside the tree: ../app/x.h"]),
    ("a layer's folder linked to another", "gl/up", "-> ../app",
     "check-tree: gl/up: a symbolic link in gl/, through which an include would reach a folder it does not name"),
    ("upward include", "atlas/Upward.h", '#pragma once\n\n#include "views/Thumbnail.h"\n',
     "check-tree: atlas/Upward.h:3: atlas/ includes views/, up the stack: views/Thumbnail.h"),
    ("platform beyond core", "platform/Wide.h", '#pragma once\n\n#include "gl/GLTexture.h"\n',
     "check-tree: platform/Wide.h:3: platform/ includes gl/, up the stack: gl/GLTexture.h"),
    ("core reaching platform", "core/Reach.h", '#pragma once\n\n#include "platform/QtDefaultsStore.h"\n',
     "check-tree: core/Reach.h:3: core/ includes platform/, up the stack: platform/QtDefaultsStore.h"),
    ("X11 include in tests", "tests/Display.cpp", "#include <X11/Xlib.h>\n",
     "check-tree: tests/Display.cpp:1: X11 header included: X11/Xlib.h"),
    ("GLX include in gl", "gl/Glx.h", "#pragma once\n\n#include <GL/glxew.h>\n",
     "check-tree: gl/Glx.h:3: X11 header included: GL/glxew.h"),
    ("app includes everything", "app/All.h", '#pragma once\n\n#include "platform/QtDefaultsStore.h"\n#include "views/V.h"\n',
     None),
    ("platform reaching tests", "platform/Probe.h", '#pragma once\n\n#include "tests/TestSupport.h"\n',
     "check-tree: platform/Probe.h:3: platform/ includes tests/, neither core/ nor a system header: tests/TestSupport.h"),
    ("platform reaching tools", "platform/Gen.h", '#pragma once\n\n#include "tools/atlasgen/Gen.h"\n',
     "check-tree: platform/Gen.h:3: platform/ includes tools/, neither core/ nor a system header: tools/atlasgen/Gen.h"),
    ("platform reaching scripts", "platform/Run.h", "#pragma once\n\n#include <scripts/x.h>\n",
     "check-tree: platform/Run.h:3: platform/ includes scripts/, neither core/ nor a system header: scripts/x.h"),
    ("core reaching the tree's other folders", "core/Aside.h",
     '#pragma once\n\n#include "tests/TestSupport.h"\n#include "tools/atlasgen/Gen.h"\n#include <bench/B.h>\n'
     '#include "scripts/x.h"\n',
     ["check-tree: core/Aside.h:3: core/ includes tests/, neither a layer under it nor a system header: tests/TestSupport.h",
      "check-tree: core/Aside.h:4: core/ includes tools/, neither a layer under it nor a system header: tools/atlasgen/Gen.h",
      "check-tree: core/Aside.h:5: core/ includes bench/, neither a layer under it nor a system header: bench/B.h",
      "check-tree: core/Aside.h:6: core/ includes scripts/, neither a layer under it nor a system header: scripts/x.h"]),
    ("Qt under the system's folders in atlas", "atlas/Quiet.h",
     "#pragma once\n\n#include <qt6/QtCore/QString>\n#include <x86_64-linux-gnu/qt6/QtCore/qstring.h>\n",
     ["check-tree: atlas/Quiet.h:3: Qt header included in atlas/: qt6/QtCore/QString",
      "check-tree: atlas/Quiet.h:4: Qt header included in atlas/: x86_64-linux-gnu/qt6/QtCore/qstring.h"]),
    ("a link at the root to app", ("ext", "core/Linked.h"), ("-> app", '#pragma once\n\n#include "ext/CorvaneDoc.h"\n'),
     "check-tree: core/Linked.h:3: core/ includes app/ through the link ext, up the stack: ext/CorvaneDoc.h"),
    ("a link in tests to app", ("tests/applink", "core/Linked.h"),
     ("-> ../app", '#pragma once\n\n#include "tests/applink/CorvaneDoc.h"\n'),
     "check-tree: core/Linked.h:3: core/ includes app/ through the link tests/applink, up the stack: "
     "tests/applink/CorvaneDoc.h"),
    ("includes the check cannot judge", "core/Hidden.h",
     '#pragma once\n\n#include /**/ "app/CorvaneDoc.h"\n#define DOC "app/CorvaneDoc.h"\n#include DOC\n'
     '/**/ #include "app/CorvaneDoc.h"\n',
     ['check-tree: core/Hidden.h:3: core/ has an include that the check cannot judge: #include /**/ "app/CorvaneDoc.h"',
      "check-tree: core/Hidden.h:5: core/ has an include that the check cannot judge: #include DOC",
      'check-tree: core/Hidden.h:6: core/ has an include that the check cannot judge: /**/ #include "app/CorvaneDoc.h"']),
    ("files included whatever their names", ("core/Inline.h", "core/Inline.inl", "core/Colours.def"),
     ('#pragma once\n\n#include "Colours.def"\n#include "core/Inline.inl"\n', '#include "app/CorvaneDoc.h"\n',
      '#include "../views/V.h"\n'),
     ["check-tree: core/Inline.inl:1: core/ includes app/, up the stack: app/CorvaneDoc.h",
      "check-tree: core/Colours.def:1: core/ includes views/, up the stack: ../views/V.h"]),
    ("broken .clang-format", ".clang-format", "BasedOnStyle: Nope\n",
     "check-tree: clang-format said: .clang-format:1:1: error: Unknown value for BasedOnStyle: Nope"),
    ("clang-format that cannot start", "path/clang-format", "#!/nonexistent/interpreter\n",
     "check-tree: clang-format ended with status 127"),
    ("clang-format failing without a word", "path/clang-format", "#!/bin/sh\nexit 1\n",
     "check-tree: clang-format ended with status 1 but flagged no file"),
    ("no temporary folder", "$TMPDIR", "/nonexistent/tmp",
     "check-tree: cannot make a temporary folder in /nonexistent/tmp, so nothing was checked"),
    ("platform includes core and the system", "platform/Down.h",
     '#pragma once\n\n#include "../core/NetFile.h"\n#include "core/NetFile.h"\n\n#include <QString>\n#include <sys/socket.h>\n',
     None),
    ("tests are free", "tests/Free.cpp", '#include "app/A.h"\n\n#include <QWidget>\n', None),
]


def copy_tree(scratch, files_per_folder=None):
    """Copies the files under version control (other tests running beside this one write scratch files into the
    tree, and a half-written one must not count as a finding), or only the first few of each folder."""
    listed = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z", "--"] + FOLDERS + ["scripts", ".clang-format"],
                            capture_output=True, check=True).stdout.decode().split("\0")
    taken = {}
    for name in filter(None, listed):
        folder = name.split("/")[0]
        source = os.path.join(SOURCE, name)
        if not os.path.isfile(source) or (files_per_folder and folder in FOLDERS and
                                          taken.get(folder, 0) >= files_per_folder):
            continue
        taken[folder] = taken.get(folder, 0) + 1
        os.makedirs(os.path.dirname(os.path.join(scratch, name)), exist_ok=True)
        shutil.copy(source, os.path.join(scratch, name))


class CheckTreeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="corvane-checktree-")
        copy_tree(cls.scratch)
        # Each fault is put into a few files of each folder, not the whole tree: the check then takes a tenth
        # of a second, not one or two, and the table's two dozen runs stay quick on a loaded machine.
        cls.small = tempfile.mkdtemp(prefix="corvane-checktree-small-")
        copy_tree(cls.small, files_per_folder=3)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)
        shutil.rmtree(cls.small)

    def check(self, tree=None, **env):
        tree = tree or self.scratch
        script = os.path.join(tree, "scripts", "check-tree.sh")
        # A row may put a clang-format of its own first on the path.
        path = os.path.join(tree, "path") + os.pathsep + os.environ["PATH"]
        run = subprocess.run(["bash", script, tree], capture_output=True, text=True,
                             env=dict(os.environ, PATH=path, **env))
        return run.returncode, run.stdout.splitlines()

    def put(self, path, text):
        """Writes a file ("-> TARGET" a link, None none) into the small tree; returns what was there."""
        full = os.path.join(self.small, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        kept = None
        if os.path.lexists(full):
            if not os.path.islink(full):
                with open(full) as f:
                    kept = f.read()
            os.remove(full)
        if text is None:
            pass
        elif text.startswith("-> "):
            os.symlink(text[3:], full)
        else:
            with open(full, "w") as f:
                f.write(text)
            os.chmod(full, 0o755 if text.startswith("#!") else 0o644)
        return kept

    def test_the_tree_passes(self):
        for tree in (self.scratch, self.small):
            code, lines = self.check(tree)
            self.assertEqual(0, code, "\n".join(lines))

    def test_each_fault_is_reported_with_its_line(self):
        for name, path, text, expected in CASES:
            with self.subTest(name):
                if path[0] == "$":
                    code, lines = self.check(self.small, **{path[1:]: text})
                    self.assertEqual((2, [expected]), (code, lines))
                    continue
                paths, texts = (path, text) if isinstance(path, tuple) else ((path,), (text,))
                kept = {p: self.put(p, t) for p, t in zip(paths, texts)}
                try:
                    code, lines = self.check(self.small)
                finally:
                    for p, t in kept.items():
                        self.put(p, t)
                if expected is None:
                    self.assertEqual(0, code, "\n".join(lines))
                else:
                    expected = [expected] if isinstance(expected, str) else expected
                    self.assertEqual(1, code, "\n".join(lines))
                    self.assertLessEqual(set(expected), set(lines), "\n".join(lines))
                    for p in paths:
                        findings = [line for line in lines if line.startswith("check-tree: " + p + ":")]
                        self.assertEqual([e for e in expected if e.startswith("check-tree: " + p + ":")], findings)

    def test_a_misformatted_file_comes_with_the_mend_command(self):
        full = os.path.join(self.scratch, "gl", "Loose.h")
        with open(full, "w") as f:
            f.write("#pragma once\nclass Loose{int  m_x;};\n")
        try:
            _, lines = self.check()
            self.assertIn("check-tree: mend with: clang-format -i gl/Loose.h", lines)
            # Checked again on its own, with the clang-format and the style that found it.
            self.assertTrue(any("clang-format version" in line for line in lines), "\n".join(lines))
            self.assertIn("  gl/Loose.h: style from %s/.clang-format" % os.path.realpath(self.scratch),
                          [line.split(" (sha256")[0] for line in lines])
            self.assertIn("    +class Loose", lines)
            subprocess.run(["clang-format", "-i", "gl/Loose.h"], cwd=self.scratch, check=True)
            code, lines = self.check()
            self.assertEqual(0, code, "\n".join(lines))
        finally:
            os.remove(full)


if __name__ == "__main__":
    unittest.main()
