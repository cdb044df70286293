#!/usr/bin/env python3
"""Makes the zip and JPEG fixtures of the core tests with real outside tools.

Zip archives come from Python's zipfile and from Info-ZIP's zip; the good ones are checked with
`unzip -t`. JPEG files come from libjpeg-turbo's cjpeg. Every input is synthesised here, so running
the script again gives the same bytes, except in the two encrypted archives, whose encryption header
is random. Run it from anywhere:

    python3 tests/core/data/make_fixtures.py

Needs python3, zip, unzip and cjpeg (Debian: zip, unzip, libjpeg-turbo-progs).
"""

import io
import os
import shutil
import subprocess
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ZIP_DIR = os.path.join(HERE, "zip")
JPEG_DIR = os.path.join(HERE, "jpeg")
DATE = (2020, 1, 2, 3, 4, 6)
MTIME = 1577934246  # 2020-01-02 03:04:06 UTC, for the files Info-ZIP packs


def xml_text():
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n<section-data-set>\n'
            + b''.join(b'  <value index="%d">%d</value>\n' % (i, i * i) for i in range(40))
            + b'</section-data-set>\n')


def grid_bytes(n):
    """Compressible but not trivial: a ramp with a slow wobble."""
    return bytes((i * 7 + (i // 97) * 3) & 0xFF for i in range(n))


def noise_bytes(n, seed=12345):
    """Incompressible bytes from a fixed linear congruential generator."""
    out = bytearray(n)
    x = seed
    for i in range(n):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


CONTENT = {
    "data_set.xml": xml_text(),
    "energy.raw": grid_bytes(3000),
    "Spaces/P56/density.raw": grid_bytes(777),
}


def info(name, method):
    zi = zipfile.ZipInfo(name, DATE)
    zi.compress_type = method
    zi.external_attr = 0o644 << 16
    return zi


def write_python_archive(path, method, extra=None):
    with zipfile.ZipFile(path, "w") as zf:
        for name, data in CONTENT.items():
            zf.writestr(info(name, method), data)
        if extra:
            extra(zf)


class NonSeekable(io.RawIOBase):
    """A write-only stream that cannot seek, so zipfile writes data descriptors."""

    def __init__(self):
        self.buffer = bytearray()

    def writable(self):
        return True

    def seekable(self):
        return False

    def write(self, b):
        self.buffer += b
        return len(b)


def python_archives():
    write_python_archive(os.path.join(ZIP_DIR, "py_stored.zip"), zipfile.ZIP_STORED)

    def folders_and_empty(zf):
        zf.writestr(info("Spaces/", zipfile.ZIP_STORED), b"")
        zf.writestr(info("empty_deflated.txt", zipfile.ZIP_DEFLATED), b"")
        zf.writestr(info("empty_stored.txt", zipfile.ZIP_STORED), b"")
    write_python_archive(os.path.join(ZIP_DIR, "py_deflated.zip"), zipfile.ZIP_DEFLATED, folders_and_empty)

    with zipfile.ZipFile(os.path.join(ZIP_DIR, "py_bzip2.zip"), "w") as zf:
        zf.writestr(info("bzip2.raw", zipfile.ZIP_BZIP2), grid_bytes(2000))
        zf.writestr(info("data_set.xml", zipfile.ZIP_DEFLATED), CONTENT["data_set.xml"])

    sink = NonSeekable()
    with zipfile.ZipFile(sink, "w") as zf:
        for name, data in CONTENT.items():
            zf.writestr(info(name, zipfile.ZIP_DEFLATED), data)
    with open(os.path.join(ZIP_DIR, "py_descriptor.zip"), "wb") as f:
        f.write(bytes(sink.buffer))

    with zipfile.ZipFile(os.path.join(ZIP_DIR, "py_force_zip64.zip"), "w") as zf:
        for name, data in CONTENT.items():
            with zf.open(info(name, zipfile.ZIP_DEFLATED), "w", force_zip64=True) as entry:
                entry.write(data)

    # Only folders: opens with an empty directory.
    with zipfile.ZipFile(os.path.join(ZIP_DIR, "py_folders_only.zip"), "w") as zf:
        zf.writestr(info("Spaces/", zipfile.ZIP_STORED), b"")
        zf.writestr(info("Spaces/P56/", zipfile.ZIP_STORED), b"")


def infozip(args, cwd):
    subprocess.run(["zip", "-q", "-X"] + args, cwd=cwd, check=True)


def infozip_archives():
    with tempfile.TemporaryDirectory() as work:
        for name, data in CONTENT.items():
            path = os.path.join(work, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        with open(os.path.join(work, "noise.raw"), "wb") as f:
            f.write(noise_bytes(70000))
        for root, dirs, files in os.walk(work):
            for entry in dirs + files:
                os.utime(os.path.join(root, entry), (MTIME, MTIME))
        names = list(CONTENT)

        def out(name):
            return os.path.join(ZIP_DIR, name)

        infozip(["-0", out("iz_stored.zip")] + names, work)
        infozip([out("iz_deflated.zip")] + names, work)
        # Through a pipe zip cannot seek back, so it writes data descriptors.
        piped = subprocess.run(["zip", "-q", "-X", "-"] + names, cwd=work, check=True, stdout=subprocess.PIPE)
        with open(out("iz_stdout.zip"), "wb") as f:
            f.write(piped.stdout)
        infozip(["-fz", out("iz_zip64.zip")] + names, work)
        infozip(["-P", "secret", out("iz_encrypted.zip"), "data_set.xml"], work)
        infozip(["-0", "-P", "secret", out("iz_encrypted_stored.zip"), "data_set.xml"], work)
        comment = b"Atlas package built for the reader tests.\nSecond line of the comment.\n"
        subprocess.run(["zip", "-q", "-X", "-z", out("iz_comment.zip")] + names, cwd=work,
                       input=comment, check=True)

        # A split archive: only the last piece (the one holding the end record) is kept.
        split = os.path.join(work, "split")
        os.mkdir(split)
        infozip(["-0", "-s", "64k", os.path.join(split, "iz_split.zip"), "noise.raw", "data_set.xml"], work)
        shutil.copy(os.path.join(split, "iz_split.zip"), out("iz_split.zip"))


def check_with_unzip():
    good = ["py_stored.zip", "py_deflated.zip", "py_descriptor.zip", "py_force_zip64.zip",
            "iz_stored.zip", "iz_deflated.zip", "iz_stdout.zip", "iz_zip64.zip", "iz_comment.zip"]
    for name in good:
        subprocess.run(["unzip", "-tq", os.path.join(ZIP_DIR, name)], check=True, stdout=subprocess.DEVNULL)


def write_pnm(path, magic, width, height, pixel):
    channels = 1 if magic == b"P5" else 3
    data = bytearray()
    for y in range(height):
        for x in range(width):
            data += bytes(pixel(x, y))[:channels]
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n255\n" % (magic, width, height) + bytes(data))


def gray_pattern(x, y):
    # Smooth enough for JPEG to reproduce closely: a diagonal ramp with a soft bump.
    v = (x * 2 + y) + (40 if (x - 50) ** 2 + (y - 40) ** 2 < 400 else 0)
    return (min(255, v),)


def colour_pattern(x, y):
    # Four flat quadrants: red, green, blue, white.
    if y < 24:
        return (255, 0, 0) if x < 32 else (0, 255, 0)
    return (0, 0, 255) if x < 32 else (255, 255, 255)


def cjpeg(args, source, target):
    with open(target, "wb") as f:
        subprocess.run(["cjpeg"] + args + [source], check=True, stdout=f)


def jpeg_files():
    with tempfile.TemporaryDirectory() as work:
        gray = os.path.join(work, "gray.pgm")
        write_pnm(gray, b"P5", 100, 80, gray_pattern)
        shutil.copy(gray, os.path.join(JPEG_DIR, "gray_100x80.pgm"))
        colour = os.path.join(work, "colour.ppm")
        write_pnm(colour, b"P6", 64, 48, colour_pattern)
        red = os.path.join(work, "red.ppm")
        write_pnm(red, b"P6", 16, 16, lambda x, y: (255, 0, 0))

        cjpeg(["-grayscale", "-quality", "80"], gray, os.path.join(JPEG_DIR, "gray_100x80.jpg"))
        cjpeg(["-grayscale", "-quality", "80", "-progressive"], gray,
              os.path.join(JPEG_DIR, "gray_100x80_progressive.jpg"))
        cjpeg(["-grayscale", "-quality", "80", "-restart", "1B"], gray,
              os.path.join(JPEG_DIR, "gray_100x80_restart.jpg"))
        cjpeg(["-quality", "90"], colour, os.path.join(JPEG_DIR, "rgb_64x48.jpg"))
        cjpeg(["-quality", "90", "-progressive"], colour, os.path.join(JPEG_DIR, "rgb_64x48_progressive.jpg"))
        cjpeg(["-quality", "90"], red, os.path.join(JPEG_DIR, "red_16x16.jpg"))


def main():
    for folder in (ZIP_DIR, JPEG_DIR):
        os.makedirs(folder, exist_ok=True)
    python_archives()
    infozip_archives()
    check_with_unzip()
    jpeg_files()


if __name__ == "__main__":
    main()
