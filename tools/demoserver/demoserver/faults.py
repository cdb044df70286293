"""Fault injection for the tests of the program's network code.

A fault is chosen by the query flag "fault=<kind>", by a path or argument
text "fault-<kind>", or by one of the reserved data-set ids below.
"""

import io
import re
import struct
import zipfile

KINDS = ("404", "500", "html", "truncated", "badcrc", "malformed", "slow", "chunked")

RESERVED_IDS = {
    9990404: "404", 9990500: "500", 9990001: "html", 9990002: "truncated",
    9990003: "badcrc", 9990004: "malformed", 9990005: "slow", 9990006: "chunked",
}

# A term's words count as pieces too: a search term can carry a fault and still find data.
_PIECES = re.compile(r"[/?&=\s]")

HTML_BODY = (b"<!DOCTYPE html>\n<html><head><title>Service unavailable</title></head>"
             b"<body><h1>Service unavailable</h1><p>The demo server answered with a page.</p>"
             b"</body></html>\n")


def detect(query_pairs, texts):
    """The fault a request asks for, or None."""
    for key, value in query_pairs:
        if key == "fault" and value in KINDS:
            return value
    for text in texts:
        for piece in _PIECES.split(text):
            if piece.startswith("fault-") and piece[6:] in KINDS:
                return piece[6:]
            if piece.isdigit() and int(piece) in RESERVED_IDS:
                return RESERVED_IDS[int(piece)]
    return None


def split_image_path(path):
    """(image path, fault kind or None) of a Zoomify image path whose last piece may be "fault-<kind>"."""
    head, _, last = path.rpartition("/")
    if head and last.startswith("fault-") and last[6:] in KINDS:
        return head, last[6:]
    return path, None


def without_fault_words(term):
    """A search term with its fault words taken out, so that "Cx fault-malformed" finds what "Cx" finds."""
    return " ".join(word for word in term.split(" ") if not _is_fault_word(word))


def _is_fault_word(word):
    return word.startswith("fault-") and word[6:] in KINDS


def truncate(body):
    return body[:max(1, len(body) // 2)]


def malformed(body, content_type):
    cut = body[:max(1, (len(body) * 3) // 5)]
    if "json" in content_type:
        return cut + b"}{]\"broken"
    if "xml" in content_type:
        return cut + b"<</broken attribute=>"
    return truncate(body)


def bad_crc(body):
    """The same entries stored uncompressed, with one data byte of the first non-empty entry changed.

    Storing keeps the damage a pure checksum mismatch instead of an inflate error.
    """
    try:
        with zipfile.ZipFile(io.BytesIO(body)) as source:
            entries = [(info.filename, source.read(info)) for info in source.infolist()]
    except zipfile.BadZipFile:
        damaged = bytearray(body)
        if damaged:
            damaged[len(damaged) // 2] ^= 0xFF
        return bytes(damaged)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as target:
        for name, data in entries:
            target.writestr(zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0)), data)
    damaged = bytearray(buffer.getvalue())
    offset = 0
    while offset + 30 <= len(damaged) and damaged[offset:offset + 4] == b"PK\x03\x04":
        size, = struct.unpack_from("<I", damaged, offset + 18)
        name_length, extra_length = struct.unpack_from("<HH", damaged, offset + 26)
        data = offset + 30 + name_length + extra_length
        if size > 0:
            damaged[data] ^= 0xFF
            break
        offset = data + size
    return bytes(damaged)
