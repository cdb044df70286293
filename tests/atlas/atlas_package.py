"""Atlas packages for the installer tests, made and read back with Python's zipfile.

    atlas_package.py zip FOLDER OUT [FILLERS]   deflate every file of FOLDER (sorted) into OUT, then
                                                FILLERS small files "Fill/<n>.txt"
    atlas_package.py extract ZIP FOLDER         extract ZIP into FOLDER as zipfile does
"""

import os
import sys
import zipfile


def make(folder, out, fillers):
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for root, subfolders, files in os.walk(folder):
            subfolders.sort()
            for name in sorted(files):
                path = os.path.join(root, name)
                archive.write(path, os.path.relpath(path, folder))
        for n in range(fillers):
            archive.writestr("Fill/%03d.txt" % n, "filler %d\n" % n)


def main(argv):
    if argv[1] == "zip":
        make(argv[2], argv[3], int(argv[4]) if len(argv) > 4 else 0)
    elif argv[1] == "extract":
        with zipfile.ZipFile(argv[2]) as archive:
            archive.extractall(argv[3])
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
