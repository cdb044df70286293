"""A catalogue and packages made to break an atlas installer, served under the prefix "/hostile".

The catalogue mixes entries that the program must drop (names that are no plain folder name, id or
version 0, a minimum program version above any build) with entries that test its rules (one id listed at
two versions, an entry without a publication date) and entries whose packages are hostile: entries that
climb out of the unpack folder or are absolute, packages without or with a broken "Info.xml", an entry
that declares four billion bytes, a truncated package and one whose entry fails its CRC-32.
"""

import html
import io
import struct
import zipfile

PREFIX = "/hostile"
HUGE_SIZE = 4000000000
MIN_APP_ABOVE_ANY_BUILD = 999999999

_DATE = (2020, 1, 1, 0, 0, 0)

INFO_XML = ("<?xml version=\"1.0\"?>\n<atlas-info id=\"%d\" name=\"%s\" project=\"%d\" version=\"1\" "
            "min-app-version=\"1\" attribution=\"hostile\">\n</atlas-info>\n")
ONTOLOGY = "database_id,abbreviation,name,parent,id,red,green,blue,order,mesh_name\n900,root,Root,,1,1,2,3,0,root\n"


def _zip(entries, compression=zipfile.ZIP_DEFLATED):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as archive:
        for name, data in entries:
            # ZipInfo keeps the name as given: writestr with a plain name would clean it up.
            archive.writestr(zipfile.ZipInfo(name, date_time=_DATE), data, compress_type=compression)
    return buffer.getvalue()


def _atlas_files(atlas_id, name):
    return [("Info.xml", INFO_XML % (atlas_id, name, atlas_id)), ("ontology_v2.csv", ONTOLOGY)]


def _patch_sizes(body, name, uncompressed):
    """The named entry's uncompressed size, in its local header and its directory record."""
    data = bytearray(body)
    encoded = name.encode("utf-8")
    offset = 0
    while True:
        offset = data.find(b"PK\x03\x04", offset)
        if offset < 0:
            break
        length, = struct.unpack_from("<H", data, offset + 26)
        if data[offset + 30:offset + 30 + length] == encoded:
            struct.pack_into("<I", data, offset + 22, uncompressed)
        offset += 4
    offset = 0
    while True:
        offset = data.find(b"PK\x01\x02", offset)
        if offset < 0:
            break
        length, = struct.unpack_from("<H", data, offset + 28)
        if data[offset + 46:offset + 46 + length] == encoded:
            struct.pack_into("<I", data, offset + 24, uncompressed)
        offset += 4
    return bytes(data)


def _bad_crc(body, name):
    """The named entry's CRC-32, in both headers, off by one."""
    data = bytearray(body)
    encoded = name.encode("utf-8")
    for signature, crc_at, length_at, name_at in ((b"PK\x03\x04", 14, 26, 30), (b"PK\x01\x02", 16, 28, 46)):
        offset = data.find(signature)
        while offset >= 0:
            length, = struct.unpack_from("<H", data, offset + length_at)
            if data[offset + name_at:offset + name_at + length] == encoded:
                crc, = struct.unpack_from("<I", data, offset + crc_at)
                struct.pack_into("<I", data, offset + crc_at, crc ^ 1)
            offset = data.find(signature, offset + 4)
    return bytes(data)


def _packages():
    """Package name -> (atlas id, atlas name, bytes)."""
    def atlas(atlas_id, name, extra=(), drop_info=False, compression=zipfile.ZIP_DEFLATED):
        files = [f for f in _atlas_files(atlas_id, name) if not (drop_info and f[0] == "Info.xml")]
        return _zip(files + list(extra), compression)

    whole = atlas(9108, "Hostile Truncated", [("Spaces/A/notes.txt", "x" * 5000)])
    packages = {
        "parent-escape": (9101, "Hostile Parent Escape",
                          atlas(9101, "Hostile Parent Escape", [("../../escape.txt", "escaped")])),
        "absolute": (9102, "Hostile Absolute", atlas(9102, "Hostile Absolute", [("/abs.txt", "absolute")])),
        "spaces-escape": (9103, "Hostile Spaces Escape",
                          atlas(9103, "Hostile Spaces Escape", [("Spaces/../../x", "escaped")])),
        "no-info": (9104, "Hostile No Info", atlas(9104, "Hostile No Info", drop_info=True)),
        "broken-info": (9105, "Hostile Broken Info",
                        _zip([("Info.xml", "<atlas-info id=\"9105\" name=<<broken"), ("ontology_v2.csv", ONTOLOGY)])),
        "huge-stored": (9106, "Hostile Huge Stored",
                        _patch_sizes(atlas(9106, "Hostile Huge Stored", [("big.raw", "b" * 64)], compression=zipfile.ZIP_STORED),
                                     "big.raw", HUGE_SIZE)),
        "huge-deflated": (9107, "Hostile Huge Deflated",
                          _patch_sizes(atlas(9107, "Hostile Huge Deflated", [("big.raw", "b" * 64)]), "big.raw",
                                       HUGE_SIZE)),
        "truncated": (9108, "Hostile Truncated", whole[:len(whole) // 2]),
        "bad-crc": (9109, "Hostile Bad CRC",
                    _bad_crc(atlas(9109, "Hostile Bad CRC", [("Spaces/A/data.raw", "d" * 300)]), "Spaces/A/data.raw")),
    }
    return packages


PACKAGES = _packages()


def package(name):
    """The bytes of a hostile package, or None."""
    entry = PACKAGES.get(name)
    return entry[2] if entry else None


def catalogue(base_url):
    """The hostile catalogue; base_url includes the prefix."""
    def url(name):
        return "%s/Corvane2/packages/%s.zip" % (base_url, name)

    fallback = url("no-info")
    size = len(PACKAGES["no-info"][2])
    rows = [
        # Names that are no plain folder name.
        dict(name="..", id=9201, version=1, url=fallback),
        dict(name="../x", id=9202, version=1, url=fallback),
        dict(name="a/b", id=9203, version=1, url=fallback),
        dict(name="", id=9204, version=1, url=fallback),
        # One id at two versions, in both orders.
        dict(name="Hostile Five Old", id=5, version=2, url=fallback),
        dict(name="Hostile Six New", id=6, version=3, url=fallback),
        dict(name="Hostile Five New", id=5, version=3, url=fallback),
        dict(name="Hostile Six Old", id=6, version=2, url=fallback),
        # Never offered.
        dict(name="Hostile Id Zero", id=0, version=1, url=fallback),
        dict(name="Hostile Version Zero", id=9205, version=0, url=fallback),
        dict(name="Hostile Too New", id=9206, version=1, url=fallback, minAppVersion=MIN_APP_ABOVE_ANY_BUILD),
        # Offered without a date.
        dict(name="Hostile Undated", id=9207, version=1, url=fallback, datePublished=None),
    ]
    for key, (atlas_id, name, body) in sorted(PACKAGES.items(), key=lambda item: item[1][0]):
        rows.append(dict(name=name, id=atlas_id, version=1, url=url(key), size=len(body)))
    lines = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<atlases>"]
    for row in rows:
        attributes = [("name", row["name"]), ("id", str(row["id"])), ("version", str(row["version"])),
                      ("size", str(row.get("size", size))),
                      ("minAppVersion", str(row.get("minAppVersion", 1))), ("url", row["url"])]
        date = row.get("datePublished", "2020-01-01")
        if date is not None:
            attributes.append(("datePublished", date))
        lines.append("  <atlas %s/>" % " ".join("%s=\"%s\"" % (k, html.escape(v, quote=True))
                                                  for k, v in attributes))
    lines.append("</atlases>")
    return ("\n".join(lines) + "\n").encode("utf-8")
