"""Writes the data-set fixtures of the expression tests into one folder.

    make_fixtures.py OUT ATLASGEN SOURCE_DIR

OUT/atlases holds the generated tiny atlases 310, 350 and 378, OUT/sets the demo server's data sets
of them with bare grids and damaged copies, and OUT/expect what a reader must make of each data set,
computed here with numpy from the same bytes and the atlas's own annotation file. OUT/hostile holds
zips written with zipfile for each failure, listed in OUT/hostile/cases.tsv with the message expected.
"""

import io
import os
import struct
import subprocess
import sys
import zipfile

import numpy as np

OUT, ATLASGEN, SOURCE = sys.argv[1:4]
sys.path.insert(0, os.path.join(SOURCE, "tools", "demoserver"))
from demoserver import datasets, faults  # noqa: E402
from demoserver.server import DemoData  # noqa: E402

ATLAS_IDS = (310, 350, 378)
BASE_URL = "http://127.0.0.1:8470"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as stream:
        stream.write(data)


def generate_atlases():
    for atlas_id in ATLAS_IDS:
        folder = os.path.join(OUT, "atlases", "atlas%d" % atlas_id)
        if not os.path.exists(os.path.join(folder, "Info.xml")):
            subprocess.run([ATLASGEN, "--profile", "tiny", "--id", str(atlas_id), "--out", folder],
                           check=True, stdout=subprocess.DEVNULL)


def view_annotation(space):
    """The annotation on the view grid: view voxel i takes atlas voxel floor(i x atlas / view)."""
    atlas = np.array(space.atlas_dims)
    view = np.array(space.view_dims)
    raw = np.fromfile(os.path.join(space.path, "Annotation"), dtype=np.uint8)
    depth = raw.size // int(np.prod(atlas))
    volume = raw.view("<u2") if depth == 2 else raw
    volume = volume.reshape(atlas[2], atlas[1], atlas[0])
    index = [np.arange(view[k]) * atlas[k] // view[k] for k in range(3)]
    return volume[np.ix_(index[2], index[1], index[0])]


def nearest(annotation, positions):
    """Annotation values at view-grid positions, nearest voxel as the reader looks them up."""
    dims = annotation.shape[::-1]
    index = [np.clip(np.floor(positions[:, k] + 0.5), 0, dims[k] - 1).astype(int) for k in range(3)]
    return annotation[index[2], index[1], index[0]]


def write_expectation(name, positions, intensity, density, labels):
    """Per expressor x, y, z, intensity, density, annotation value (float32), then the statistics."""
    records = np.column_stack([positions, intensity, density, labels]).astype(np.float32)
    write(os.path.join(OUT, "expect", name + ".cells"), records.tobytes())
    used = intensity[intensity >= 0].astype(np.float64)
    mean = used.mean() if used.size else 0.0
    sd = np.sqrt(max(float((used ** 2).mean() - np.float32(mean) ** 2), 0.0)) if used.size else 1.0
    write(os.path.join(OUT, "expect", name + ".stats"), ("%d %.9g %.9g\n" % (len(records), mean, sd)).encode())


def grid_cells(shape):
    z, y, x = np.meshgrid(*[np.arange(n) for n in shape], indexing="ij")
    return np.column_stack([x.ravel(), y.ravel(), z.ravel()]).astype(np.float32)


def expect_gene(name, body, space):
    with zipfile.ZipFile(io.BytesIO(body)) as archive:
        density = np.frombuffer(archive.read("density.raw"), dtype="<u2")
        intensity = np.frombuffer(archive.read("intensity.raw"), dtype=np.uint8)
    keep = (intensity > 0) & (density > 0)
    cells = grid_cells(space.view_dims[::-1])[keep]
    d = density[keep].astype(np.float32) / np.float32(65536) * np.float32(1000)
    labels = nearest(view_annotation(space), cells)
    write_expectation(name, cells, intensity[keep].astype(np.float32), d, labels)


def metaimage(archive, name, dtype):
    header = dict(line.split(" = ", 1) for line in archive.read(name + ".mhd").decode().splitlines())
    dims = [int(v) for v in header["DimSize"].split()]
    spacing = [float(v) for v in header["ElementSpacing"].split()]
    return np.frombuffer(archive.read(name + ".raw"), dtype=dtype), dims, spacing


def read_lines(data):
    count = struct.unpack_from("<I", data, 6)[0]
    offset, firsts = 10, []
    for _ in range(count):
        n = struct.unpack_from("<H", data, offset)[0]
        if n:
            firsts.append(struct.unpack_from("<5f", data, offset + 2))
        offset += 2 + 20 * n
    return firsts


def expect_projection(name, body, space):
    with zipfile.ZipFile(io.BytesIO(body)) as archive:
        mask, dims, spacing = metaimage(archive, "injection_mask", "<f4")
        density, _, _ = metaimage(archive, "density", "<u2")
        intensity, _, _ = metaimage(archive, "intensity", "<f4")
        firsts = np.array(read_lines(archive.read("streamlines.sl")), dtype=np.float32).reshape(-1, 5)
    ratio = np.array(spacing, dtype=np.float32) / np.array(space.view_res, dtype=np.float32)
    scale = np.array(spacing, dtype=np.float32) / np.array(space.view_res, dtype=np.float32)
    cells = grid_cells(dims[::-1])
    line_positions = firsts[:, :3] * scale
    fraction = density.astype(np.float32) / np.float32(65536)
    keep = (fraction > np.float32(0.1)) & (intensity != 0)
    injected = mask > np.float32(0.1)
    positions = np.concatenate([line_positions, cells[keep] * ratio, cells[injected] * ratio])
    values = np.concatenate([firsts[:, 4], intensity[keep], np.full(injected.sum(), -16000, np.float32)])
    densities = np.concatenate([firsts[:, 3] * np.float32(1000), fraction[keep] * np.float32(1000),
                                mask[injected] * np.float32(1000)])
    labels = nearest(view_annotation(space), positions)
    write_expectation(name, positions, values, densities, labels)


def expect_raw(name, body, dims, space):
    values = np.frombuffer(body, dtype="<f4").astype(np.float32)
    usable = np.isfinite(values) & (values > 0)
    logs = np.where(usable, np.log(np.where(usable, values, 1)), 0).astype(np.float32)
    maximum = logs[usable].max()
    keep = logs > np.float32(6)
    ratio = np.array([100.0, 100.0, 100.0], dtype=np.float32) / np.array(space.view_res, dtype=np.float32)
    cells = grid_cells(dims[::-1])[keep] * ratio
    fraction = logs[keep] / maximum
    density = fraction * np.float32(0.15686) * np.float32(1000) * np.float32(0.5)
    intensity = np.float32(255) * np.clip(np.float32(2) * (fraction - np.float32(0.5)), 0, 1)
    write_expectation(name, cells, intensity, density, nearest(view_annotation(space), cells))
    write(os.path.join(OUT, "expect", name + ".max"), ("%.9g\n" % maximum).encode())


def data_sets():
    data = DemoData([os.path.join(OUT, "atlases")])
    sets = os.path.join(OUT, "sets")
    for atlas in data.atlases:
        catalogue = data.catalogue(atlas)
        # Atlas 378 holds projections; the rest gene expression.
        if catalogue.series and atlas.id != 378:
            series = catalogue.series[min(catalogue.series)]
            body = datasets.gene_zip(series, False, BASE_URL)
            write(os.path.join(sets, "gene-%d.zip" % atlas.id), body)
            write(os.path.join(sets, "gene-%d-light.zip" % atlas.id), datasets.gene_zip(series, True, BASE_URL))
            write(os.path.join(sets, "gene-%d.space" % atlas.id), series.space.name.encode())
            expect_gene("gene-%d" % atlas.id, body, series.space)
            with zipfile.ZipFile(io.BytesIO(datasets.gene_zip(series, True, BASE_URL))) as archive:
                energy = np.frombuffer(archive.read("energy.raw"), dtype=np.uint8)
            write(os.path.join(OUT, "expect", "gene-%d-light.count" % atlas.id), b"%d\n" % (energy != 0).sum())
            if atlas.id == 310:
                write(os.path.join(sets, "truncated.zip"), faults.truncate(body))
                write(os.path.join(sets, "badcrc.zip"), faults.bad_crc(body))
                raw = data.data_set(series.id, "raw", BASE_URL).body
                write(os.path.join(sets, "raw.bin"), raw)
                write(os.path.join(sets, "raw8.bin"), data.data_set(series.id, "raw8", BASE_URL).body)
                expect_raw("raw", raw, (133, 81, 115), series.space)
        if atlas.id == 378 and catalogue.projections:
            experiment = catalogue.projections[min(catalogue.projections)]
            body = datasets.projection_zip(experiment, catalogue.structures, False, BASE_URL)
            write(os.path.join(sets, "projection-%d.zip" % atlas.id), body)
            write(os.path.join(sets, "projection-%d-light.zip" % atlas.id),
                  datasets.projection_zip(experiment, catalogue.structures, True, BASE_URL))
            expect_projection("projection-%d" % atlas.id, body, experiment.space)
            light = datasets.projection_zip(experiment, catalogue.structures, True, BASE_URL)
            with zipfile.ZipFile(io.BytesIO(light)) as archive:
                density = np.frombuffer(archive.read("density.raw"), dtype="<u2")
            count = (density.astype(np.float32) / np.float32(65536) > np.float32(0.1)).sum()
            write(os.path.join(OUT, "expect", "projection-%d-light.count" % atlas.id), b"%d\n" % count)


# -- zips written for each failure -------------------------------------------------------------------

TINY_VOXELS = 67 * 41 * 58  # the view grid of the tiny profile


def zip_bytes(entries, method):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", method) as archive:
        for name, data in entries:
            archive.writestr(zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0)), data, compress_type=method)
    return buffer.getvalue()


def declare_size(body, name, size):
    """The zip with the uncompressed size of one entry replaced in both of its headers."""
    data = bytearray(body)
    encoded = name.encode()
    for signature, size_at, name_at in ((b"PK\x01\x02", 24, 46), (b"PK\x03\x04", 22, 30)):
        at = data.find(signature)
        while at >= 0:
            if data[at + name_at:at + name_at + len(encoded)] == encoded:
                struct.pack_into("<I", data, at + size_at, size)
            at = data.find(signature, at + 4)
    return bytes(data)


def declare_sizes(body, name, compressed, uncompressed):
    """The zip with both sizes of one entry replaced in its directory record and its local header."""
    data = bytearray(body)
    encoded = name.encode()
    for signature, size_at, name_at in ((b"PK\x01\x02", 20, 46), (b"PK\x03\x04", 18, 30)):
        at = data.find(signature)
        while at >= 0:
            if data[at + name_at:at + name_at + len(encoded)] == encoded:
                struct.pack_into("<II", data, at + size_at, compressed, uncompressed)
            at = data.find(signature, at + 4)
    return bytes(data)


def meta_set(symbol="Gnx", extra=""):
    return ("<section-data-set><id>77</id><age>P56</age><genes><gene><name>Gene x</name>"
            "<acronym>%s</acronym></gene></genes>%s</section-data-set>" % (symbol, extra)).encode()


def series_xml(space, project="0350", extra=""):
    return ("<image-series><id>88</id><age>%s</age><reference-space>%s</reference-space>"
            "<project-code>%s</project-code>%s<gene><name>Gene y</name><gene-symbol>Gny</gene-symbol></gene>"
            "</image-series>" % (space, space, project, extra)).encode()


def mhd(dims, element, raw):
    return ("ObjectType = Image\nNDims = 3\nDimSize = %d %d %d\nElementSpacing = 200 200 200\n"
            "ElementType = %s\nElementDataFile = %s\n" % (tuple(dims) + (element, raw))).encode()


def lines_file(version=2, count=None, lines=()):
    out = struct.pack("<IHI", 0xEEEE0120, version, len(lines) if count is None else count)
    for line in lines:
        out += struct.pack("<H", len(line)) + b"".join(struct.pack("<5f", *p) for p in line)
    return out


SMALL = (4, 3, 2)
SMALL_VOXELS = 24


def projection(mask=True, mask_raw=True, density=True, intensity=True, lines=None, mask_dims=SMALL, meta=True,
               range_text="0,4095,0,1000,0,4095"):
    entries = []
    if meta:
        entries.append(("image_series.xml", series_xml(
            "P56", "0378", "<default-image-intensity-range>%s</default-image-intensity-range>"
            "<primary-injection-structure><name>Inj</name><abbreviation>INJ</abbreviation>"
            "</primary-injection-structure>" % range_text).replace(b"<gene><name>Gene y</name><gene-symbol>Gny"
                                                                   b"</gene-symbol></gene>", b"")))
    if mask:
        entries.append(("injection_mask.mhd", mhd(mask_dims, "MET_FLOAT", "injection_mask.raw")))
        if mask_raw:
            values = [0.0] * SMALL_VOXELS
            values[5] = 1.0
            entries.append(("injection_mask.raw", struct.pack("<%df" % SMALL_VOXELS, *values)))
    if density:
        entries.append(("density.mhd", mhd(SMALL, "MET_USHORT", "density.raw")))
        entries.append(("density.raw", struct.pack("<%dH" % SMALL_VOXELS, *([40000] * SMALL_VOXELS))))
    if intensity:
        entries.append(("intensity.mhd", mhd(SMALL, "MET_FLOAT", "intensity.raw")))
        entries.append(("intensity.raw", struct.pack("<%df" % SMALL_VOXELS, *range(SMALL_VOXELS))))
    if lines is not None:
        entries.append(("streamlines.sl", lines))
    return entries


def replace(entries, name, data):
    return [(n, data if n == name else d) for n, d in entries]


def drop(entries, name):
    return [(n, d) for n, d in entries if n != name]


GENE = [("data_set.xml", meta_set()), ("density.raw", b"\x00\x80" * TINY_VOXELS),
        ("intensity.raw", b"\x10" * TINY_VOXELS)]

# name, light, project code set beforehand, whether the data set is placed first, entries, message
FAILURES = [
    ("no-metadata", 0, "", 0, drop(GENE, "data_set.xml"), "Expression file format not recognized."),
    ("no-density", 0, "", 0, drop(GENE, "density.raw"), "Invalid density volume data."),
    ("short-density", 0, "", 0, replace(GENE, "density.raw", b"\x00" * (2 * TINY_VOXELS - 1)),
     "Invalid density volume data."),
    ("no-intensity", 0, "", 0, drop(GENE, "intensity.raw"), "Invalid intensity volume data."),
    ("long-intensity", 0, "", 0, replace(GENE, "intensity.raw", b"\x01" * (TINY_VOXELS + 1)),
     "Invalid intensity volume data."),
    ("unknown-space", 0, "", 0, [("image_series.xml", series_xml("P99"))] + GENE[1:],
     "Atlas not available for this data set"),
    ("light-short-energy", 1, "0310", 1, [("energy.raw", b"\x01" * (TINY_VOXELS - 1))],
     "Invalid intensity volume data."),
    ("light-no-space", 1, "0310", 0, [("energy.raw", b"\x01" * TINY_VOXELS)], "Atlas not available for this data set"),
    ("mask-header-only", 0, "", 0, projection(mask_raw=False), "Injection mask not found in data file"),
    ("mask-wrong-size", 0, "", 0, replace(projection(), "injection_mask.raw", b"\x00" * 95),
     "Invalid injection mask volume data."),
    ("mask-huge-header", 0, "", 0, projection(mask_dims=(1000, 1000, 1000)), "Invalid injection mask volume data."),
    ("no-mask", 0, "", 0, projection(mask=False), "Injection mask not found in data file"),
    ("density-wrong-size", 0, "", 0, replace(projection(), "density.raw", b"\x00" * 47), "Invalid density volume data."),
    ("density-raw-missing", 0, "", 0, drop(projection(), "density.raw"), "Invalid density volume data."),
    ("intensity-raw-missing", 0, "", 0, drop(projection(), "intensity.raw"), "Invalid intensity volume data."),
    ("grids-disagree", 0, "", 0, replace(replace(projection(), "density.mhd", mhd((2, 3, 4), "MET_USHORT", "d")),
                                         "density.raw", b"\x00" * 48), "Invalid density volume data."),
    ("light-no-density", 1, "0378", 1, drop(drop(projection(meta=False), "density.mhd"), "density.raw"),
     "Density header not found in data file"),
    ("lines-version-3", 0, "", 0, projection(lines=lines_file(version=3)),
     "Projection line data version unrecognized."),
    ("lines-bad-magic", 0, "", 0, projection(lines=b"\x00" * 10), "Projection line data format unrecognized."),
    ("lines-4-billion", 0, "", 0, projection(lines=lines_file(count=4000000000)),
     "Unexpected end of stream while reading."),
    ("lines-truncated", 0, "", 0, projection(lines=lines_file(lines=[[(0, 0, 0, 1, 1)] * 3])[:-7]),
     "Unexpected end of stream while reading."),
]

ONE_LINE = lines_file(lines=[[(1, 1, 1, 0.5, 10), (2, 1, 1, 0.5, 10)]])

# name, entries, label, intensity display scale (-1: not a projection)
VALID = [
    ("qualifiers", [("image_series.xml", series_xml(
        "E15.5", extra="<strain>129S1</strain><sex>Female</sex><sleep-state>awake</sleep-state>"))] + [
        ("density.raw", b"\x00\x80" * 67 * 41 * 58), ("intensity.raw", b"\x10" * 67 * 41 * 58)],
     "Gny (E15.5 - 129S1 - Female - awake)", -1),
    ("default-qualifiers", [("image_series.xml", series_xml(
        "P14", extra="<strain>C57BL/6J</strain><sex>Male</sex>"))] + [
        ("density.raw", b"\x00\x80" * 67 * 41 * 58), ("intensity.raw", b"\x10" * 67 * 41 * 58)],
     "Gny (P14)", -1),
    # Cells of a section image far right of and above its parent image's corner.
    ("image-offsets", [("image_series.xml", series_xml("E15.5", extra="<images><image><id>5</id>"
                                                      "<section-index>3</section-index><left>65000</left><top>0</top>"
                                                      "<z-value>0</z-value><tvs>0,0,0,0,1000,-5</tvs></image></images>"))]
     + [("density.raw", b"\x00\x80" * 67 * 41 * 58), ("intensity.raw", b"\x10" * 67 * 41 * 58)], "Gny (E15.5)", -1),
    ("range-six", projection(lines=ONE_LINE), "INJ - Inj", 1000),
    ("range-five", projection(lines=ONE_LINE, range_text="0,4095,0,1000,0"), "INJ - Inj", 255),
    ("with-lines", projection(lines=lines_file(lines=[
        [(1, 1, 0.5, 0.5, 300), (2, 1, 0.5, 0.4, 200)], [], [(0.2, 0.2, 0.2, 0.2, 100)],
        [(3, 2, 1, 0.3, 50), (0.2, 0.2, 0.2, 0, 0), (0.3, 0, 0, 0, 0)]])), "INJ - Inj", 1000),
]


def hostile():
    folder = os.path.join(OUT, "hostile")
    cases = []
    for name, light, code, placed, entries, message in FAILURES:
        for method, suffix in ((zipfile.ZIP_STORED, "stored"), (zipfile.ZIP_DEFLATED, "deflated")):
            file = "%s-%s.zip" % (name, suffix)
            write(os.path.join(folder, file), zip_bytes(entries, method))
            cases.append("%s\t%d\t%s\t%d\t%s" % (file, light, code, placed, message))
    # Sizes that the compressed bytes cannot hold: refused before anything is inflated.
    for entry in ("data_set.xml", "density.raw"):
        file = "lying-%s.zip" % entry.split(".")[0]
        body = declare_size(zip_bytes(GENE, zipfile.ZIP_DEFLATED), entry, 0xF0000000)
        write(os.path.join(folder, file), body)
        message = "Error while reading zip stream." if entry == "data_set.xml" else "Invalid density volume data."
        cases.append("%s\t0\t\t0\t%s" % (file, message))
    # Entries read whole whose directory claims about 4 GiB: refused before a buffer is sized by it. Sizes
    # of all ones are the zip64 markers, which the zip reader refuses outright.
    whole = [("image_series.xml", projection()), ("data_set.xml", GENE), ("injection_mask.mhd", projection()),
             ("streamlines.sl", projection(lines=ONE_LINE))]
    claims = [("both", 0xFFFFFFF0, 0xFFFFFFF0, "Error while reading zip stream."),
              ("compressed", 0xFFFFFFF0, None, "Error while reading zip stream."),
              ("zip64", 0xFFFFFFFF, 0xFFFFFFFF, "Unrecognized zip stream format")]
    for entry, entries in whole:
        for method, suffix in ((zipfile.ZIP_STORED, "stored"), (zipfile.ZIP_DEFLATED, "deflated")):
            body = zip_bytes(entries, method)
            info = zipfile.ZipFile(io.BytesIO(body)).getinfo(entry)
            for claim, compressed, uncompressed, message in claims:
                size = info.file_size if uncompressed is None else uncompressed
                file = "claims-%s-%s-%s.zip" % (claim, entry.split(".")[0], suffix)
                write(os.path.join(folder, file), declare_sizes(body, entry, compressed, size))
                cases.append("%s\t0\t\t0\t%s" % (file, message))
    write(os.path.join(folder, "cases.tsv"), ("\n".join(cases) + "\n").encode())
    valid = []
    for name, entries, label, scale in VALID:
        for method, suffix in ((zipfile.ZIP_STORED, "stored"), (zipfile.ZIP_DEFLATED, "deflated")):
            file = "%s-%s.zip" % (name, suffix)
            write(os.path.join(folder, file), zip_bytes(entries, method))
            valid.append("%s\t%s\t%g" % (file, label, scale))
    write(os.path.join(folder, "valid.tsv"), ("\n".join(valid) + "\n").encode())


if __name__ == "__main__":
    generate_atlases()
    data_sets()
    hostile()
