"""Writes the seed inputs of every fuzz harness into one folder.

    make_seeds.py OUT ATLASGEN SOURCE_DIR

OUT/atlases holds micro atlases 310, 350, 351 and 378 of the project's generator (the harnesses that look
atlases up read them through CORVANE_FUZZ_ATLASES); OUT/<harness> the seeds of each harness: the generated
atlases' files, the demo server's answers of every kind (made without a socket, through its router) and
damaged copies made with its fault helpers. A harness whose first byte is a selector gets each seed
behind a few selector values.
"""

import csv
import glob
import gzip
import io
import json
import os
import re
import struct
import subprocess
import sys
import zipfile

OUT, ATLASGEN, SOURCE = sys.argv[1:4]
sys.path.insert(0, os.path.join(SOURCE, "tools", "demoserver"))
from demoserver import datasets, faults, hostile, zoomify  # noqa: E402
from demoserver.server import DemoData, HttpError  # noqa: E402

ATLAS_IDS = (310, 350, 351, 378)
BASE_URL = "http://127.0.0.1:8470"
ATLASES = os.path.join(OUT, "atlases")


def write(harness, name, data):
    if isinstance(data, str):
        data = data.encode()
    folder = os.path.join(OUT, harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as stream:
        stream.write(data)


def write_selected(harness, name, data, selectors):
    if isinstance(data, str):
        data = data.encode()
    for selector in selectors:
        write(harness, "%s-%02x" % (name, selector), bytes([selector]) + data)


def generate_atlases():
    for atlas_id in ATLAS_IDS:
        folder = os.path.join(ATLASES, "atlas%d" % atlas_id)
        subprocess.run([ATLASGEN, "--profile", "micro", "--id", str(atlas_id), "--out", folder], check=True,
                       stdout=subprocess.DEVNULL)


def read(path):
    with open(path, "rb") as stream:
        return stream.read()


def answer(data, target):
    try:
        return data.route(target, BASE_URL)[0].body
    except HttpError:
        return None


def damaged(body, content_type):
    """The answer cut in half and cut with garbage after it, as the demo server's faults send them."""
    return [("truncated", faults.truncate(body)), ("malformed", faults.malformed(body, content_type))]


def entries(body):
    with zipfile.ZipFile(io.BytesIO(body)) as archive:
        return {name: archive.read(name) for name in archive.namelist()}


# -- data sets -------------------------------------------------------------------------------------------

def data_set_seeds(data):
    """Data-set zips of both dialects and projections, full and light; answers their metadata seeds."""
    zips = {}
    for atlas in data.atlases:
        catalogue = data.catalogue(atlas)
        if catalogue.series:
            for sid in sorted(catalogue.series)[:2]:
                series = catalogue.series[sid]
                for light in (False, True):
                    zips["gene-%d-%d%s.zip" % (atlas.id, sid, "-light" if light else "")] = \
                        datasets.gene_zip(series, light, BASE_URL)
        if catalogue.projections:
            experiment = catalogue.projections[min(catalogue.projections)]
            for light in (False, True):
                zips["projection-%d%s.zip" % (atlas.id, "-light" if light else "")] = datasets.projection_zip(
                    experiment, catalogue.structures, light, BASE_URL)
    for name, body in sorted(zips.items()):
        write("fuzz_data_set", name, body)
        write("fuzz_zip", name, body)
    first = zips[sorted(zips)[0]]
    write("fuzz_data_set", "truncated.zip", faults.truncate(first))
    write("fuzz_data_set", "badcrc.zip", faults.bad_crc(first))
    return zips


def grid_seeds(data, zips):
    series = data.catalogue(data.by_id[310]).series
    raw8 = data.data_set(min(series), "raw8", BASE_URL).body
    separator = b"\n\x01GRID\x01\n"
    metadata = [body for name, body in sorted(zips.items()) for entry, body in entries(body).items()
                if entry in ("image_series.xml", "data_set.xml")]
    write("fuzz_raw_grid", "raw8-whole", b"\x00" + metadata[0] + separator + raw8)
    write("fuzz_data_set", "raw8.bin", raw8)
    for i, text in enumerate(metadata[:3]):
        write("fuzz_raw_grid", "byte-grid-%d" % i, b"\x01" + text + separator + raw8[:4096])
        # A few cells expressed at the grid's start (the harness pads the part with empty cells).
        pattern = struct.pack("<64f", *([65536.0] + [0.0] * 15 + [7.0] + [0.0] * 15 + [200.0] + [0.0] * 31))
        write("fuzz_raw_grid", "float-grid-%d" % i, b"\x02" + text + separator + pattern)
        write_selected("fuzz_mouse_meta", "metadata-%d" % i, text, (0, 1))
        write_selected("fuzz_xml", "metadata-%d" % i, text, (0, 77))


def projection_seeds(zips):
    for name, body in sorted(zips.items()):
        if not name.startswith("projection"):
            continue
        files = entries(body)
        if "streamlines.sl" in files:
            write("fuzz_stream_lines", name[:-4] + ".sl", files["streamlines.sl"])
        for header in ("injection_mask", "density", "intensity"):
            if header + ".mhd" in files:
                selector = {"density": 1, "intensity": 2, "injection_mask": 2}[header]
                write("fuzz_metaimage", "%s-%s" % (name[:-4], header),
                      bytes([selector]) + files[header + ".mhd"] + b"\x00" + files[header + ".raw"])


# -- searches, lists, relations ---------------------------------------------------------------------------

def search_targets(data):
    """Search requests of every kind that the demo server answers with records."""
    targets = []
    for atlas in data.atlases:
        catalogue = data.catalogue(atlas)
        block = "%04d" % atlas.id
        if catalogue.series:
            sid = min(catalogue.series)
            symbol = catalogue.series[sid].gene.symbol
            targets += ["/search/%s/gene?start=0&num=10&term=%s" % (block, symbol),
                        "/search/%s/gene?start=0&num=10&term=" % block,
                        "/search/%s/correlation?start=0&num=10&seed=%d&plane=both" % (block, sid)]
        if catalogue.projections:
            structure = catalogue.projections[min(catalogue.projections)].structure
            targets.append("/search/0378/gene?start=0&num=10&term=%d" % getattr(structure, "database_id", 0))
            targets.append("/search/0378/gene?start=0&num=10&term=")
    return targets


def search_seeds(data):
    answers = []
    for i, target in enumerate(search_targets(data)):
        body = answer(data, target)
        if not body or not body.lstrip().startswith(b"<"):
            continue
        answers.append(body)
        # Atlas and project (low bits), and the notification that closes the list (none, or the first
        # record added).
        selectors = (0, 1, 2, 3, 0xFC) if body.find(b"data-sets") < 0 else (3, 3 | 0x18)
        write_selected("fuzz_gene_query", "answer-%d" % i, body, selectors)
        for kind, broken in damaged(body, "text/xml"):
            write_selected("fuzz_gene_query", "answer-%d-%s" % (i, kind), broken, selectors[:1])
        write_selected("fuzz_xml", "answer-%d" % i, body, (0, 200))
    return answers


def gene_list_seeds(data):
    catalogue = data.catalogue(data.by_id[310])
    series = [catalogue.series[sid] for sid in sorted(catalogue.series)[:8]]
    forms = {
        "by-gene-id": (["id", "geneName", "geneSymbol"], [[s.gene.id, s.gene.name, s.gene.symbol] for s in series]),
        "by-series": (["geneSymbol", "imageSeriesId", "geneName"], [[s.gene.symbol, s.id, s.gene.name] for s in series]),
        "with-space": (["atlasSpace", "geneId", "geneSymbol", "imageSeriesId"],
                       [[s.space.name, s.gene.id, s.gene.symbol, s.id] for s in series]),
    }
    for name, (header, rows) in forms.items():
        text = io.StringIO()
        table = csv.writer(text)
        table.writerow(header)
        table.writerows(rows)
        write("fuzz_gene_list", name + ".csv", text.getvalue())


def relation_seeds(data):
    catalogue = data.catalogue(data.by_id[310])
    series = [catalogue.series[sid] for sid in sorted(catalogue.series)[:12]]
    short = io.StringIO()
    writer = csv.writer(short)
    for a, b in zip(series, series[1:] + series[:1]):
        writer.writerow([a.id, a.gene.symbol, b.id, b.gene.symbol, "%.3f" % ((a.id % 97) / 97.0)])
    write("fuzz_relation_graph", "five-fields.csv", short.getvalue())
    full = io.StringIO()
    writer = csv.writer(full)
    for a in series:
        for b in series[:4]:
            writer.writerow([a.id, a.gene.id, a.gene.symbol, a.gene.name + ", gene", b.id, b.gene.id, b.gene.symbol,
                             b.gene.name, 0.5])
    write("fuzz_relation_graph", "nine-fields.csv", full.getvalue())


# -- microarray, tiles, URLs -------------------------------------------------------------------------------

def microarray_seeds(data):
    probes = sorted(data.catalogue(data.by_id[351]).probes)
    for i, chosen in enumerate((probes[:1], probes[:3])):
        body = data.microarray([("atlas", "351"), ("probes", ",".join(str(p) for p in chosen))]).body
        for selector in (0x00, 0x05, 0x1A, 0x81):
            write_selected("fuzz_microarray", "probes-%d" % i, body, (selector,))
        write_selected("fuzz_json", "probes-%d" % i, body, (0, 100))
        for kind, broken in damaged(body, "application/json"):
            write_selected("fuzz_microarray", "probes-%d-%s" % (i, kind), broken, (0x05,))


def jpeg_size(jpeg):
    """Width and height of a baseline or progressive JPEG, from its frame header."""
    offset = 2
    while offset + 9 < len(jpeg):
        marker, length = jpeg[offset + 1], struct.unpack_from(">H", jpeg, offset + 2)[0]
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack_from(">HH", jpeg, offset + 5)
            return width, height
        offset += 2 + length
    raise ValueError("no frame header")


def write_jpeg(name, jpeg):
    """A JPEG behind the size that ReadJPEG is told to expect: its own."""
    width, height = jpeg_size(jpeg)
    write("fuzz_jpeg", name, struct.pack("<HH", width - 1, height - 1) + jpeg)


def tile_seeds(data):
    images = data.images()
    for i, path in enumerate(sorted(images.by_path)[:2]):
        properties = images.properties(path)
        # Answered whole with and without its length announced.
        write_selected("fuzz_zoomify", "properties-%d" % i, properties, (0x00, 0x01))
        write_selected("fuzz_tiled_layout", "properties-%d" % i, properties, (0x00, 0x1B, 0x66, 0xF5))
        write_selected("fuzz_xml", "properties-%d" % i, properties, (0,))
        tile = images.tile(path, 0, 0, 0)
        # Whole, without a length, and reset at the first chunk.
        write_selected("fuzz_zoomify", "tile-%d" % i, tile, (0x00, 0x01, 0x10))
        write_selected("fuzz_zoomify", "tile-%d-truncated" % i, faults.truncate(tile), (0x01,))
        write_jpeg("tile-%d" % i, tile)
    # Sizes at the edges of what a server could claim.
    for i, (width, height, tile_size) in enumerate(((1, 1, 1), (2147483647, 1, 1), (1, 2147483647, 256),
                                                    (2147483647, 2147483647, 2147483647), (300, 200, 0),
                                                    (65536, 40000, 256), (-5, 100, 256))):
        text = "<IMAGE_PROPERTIES WIDTH=\"%d\" HEIGHT=\"%d\" NUMTILES=\"1\" TILESIZE=\"%d\" />" % (
            width, height, tile_size)
        write_selected("fuzz_tiled_layout", "extreme-%d" % i, text, (0x00, 0xC0))
    # Grey JPEGs of a few small sizes, as the atlas slices are.
    for width, height in ((1, 1), (8, 8), (17, 5), (24, 16)):
        pixels = bytes((x * 37 + y * 11) & 0xFF for y in range(height) for x in range(width))
        write_jpeg("grey-%dx%d" % (width, height), zoomify.encode_jpeg(width, height, pixels))
    for i, path in enumerate(sorted(glob.glob(os.path.join(ATLASES, "atlas350", "Spaces", "*", "AtlasSlices",
                                                           "*.jpg")))[:2]):
        write_jpeg("slice-%d" % i, read(path))


def url_seeds(data):
    links = set()
    for atlas in data.atlases:
        for target in search_targets(data)[:1] + ["/search/%04d/gene?start=0&num=10&term=a" % atlas.id]:
            body = answer(data, target) or b""
            links.update(re.findall(rb"corv://[^\"'<> ]+", body))
    links.update([
        b"corv://127.0.0.1:8470/demo/data/1?atlas=310&datasets=3100001(1/0.5/0),3100002&colormap=hot"
        b"&exprRange=0,255",
        b"corv://127.0.0.1:8470/demo/microarray?atlas=351&probes=1,2&selectedDonor=1&well=3&structure=4",
        b"corv://127.0.0.1:8470/demo/data/9?atlas=378&datasets=" + b",".join(b"%d" % i for i in range(12)),
    ])
    for i, link in enumerate(sorted(links)[:12]):
        write_selected("fuzz_url_parser", "link-%d" % i, link.replace(b"&amp;", b"&"), (0x00, 0x19))


# -- atlases, catalogues, packages -------------------------------------------------------------------------

def catalogue_seeds(data):
    for name, target in (("catalogue", "/Corvane2/atlases.xml"), ("hostile", "/hostile/Corvane2/atlases.xml")):
        body = answer(data, target)
        write_selected("fuzz_atlas_catalogue", name + ".xml", body, (0x00,))
        for kind, broken in damaged(body, "text/xml"):
            write_selected("fuzz_atlas_catalogue", "%s-%s.xml" % (name, kind), broken, (0x00,))


def small_package(atlas_id):
    """A whole atlas of one space and no meshes, small enough for the fuzzer's length limit."""
    root = os.path.join(ATLASES, "atlas%d" % atlas_id)
    info = read(os.path.join(root, "Info.xml")).decode()
    spaces = re.findall(r"  <space name=\"([^\"]+)\".*?</space>\n", info, re.DOTALL)
    info = re.sub(r"  <space name=\"(?!%s\")[^\"]+\".*?</space>\n" % re.escape(spaces[0]), "", info, flags=re.DOTALL)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("Info.xml", info)
        for folder, subfolders, files in os.walk(root):
            subfolders.sort()
            relative = os.path.relpath(folder, root).replace(os.sep, "/")
            parts = relative.split("/")
            if "Local" in parts or "Meshes" in parts or (parts[0] == "Spaces" and len(parts) > 1 and
                                                        parts[1] != spaces[0]) or "Afferents" in parts:
                continue
            for name in sorted(files):
                if relative == "." and name in ("Info.xml", "compass.msh"):
                    continue
                archive.write(os.path.join(folder, name), name if relative == "." else relative + "/" + name)
    return buffer.getvalue()


def package_seeds(data):
    # The hostile packages with an atlas configuration that names the URLs an atlas needs, so that what
    # is not hostile in them installs.
    urls = re.search(r"  <urls .*?</urls>\n", read(os.path.join(ATLASES, "atlas350", "Info.xml")).decode(),
                     re.DOTALL).group(0)
    hostile.INFO_XML = hostile.INFO_XML.replace("</atlas-info>", urls.replace("%", "%%") + "</atlas-info>")
    for name, (_, _, body) in sorted(hostile._packages().items()):
        write_selected("fuzz_atlas_installer", "hostile-%s.zip" % name, body, (0x00,))
    for name in sorted(hostile.PACKAGES):
        write("fuzz_zip", "hostile-%s.zip" % name, hostile.package(name))
    for atlas_id in (350, 310):
        body = small_package(atlas_id)
        assert len(body) < 60000, "atlas %d makes a package of %d bytes" % (atlas_id, len(body))
        # Answered whole, and with a Content-Length that lies above the body.
        write_selected("fuzz_atlas_installer", "atlas-%d.zip" % atlas_id, body, (0x00, 0x02))


def atlas_file_seeds():
    """The files of the generated atlases, for the readers of installed atlases."""
    root = os.path.join(ATLASES, "atlas350")
    write("fuzz_atlas_config", "Info.xml", read(os.path.join(root, "Info.xml")))
    write("fuzz_search_config", "SearchDomains.xml", read(os.path.join(root, "SearchDomains.xml")))
    write_selected("fuzz_ontology", "ontology_v2.csv", read(os.path.join(root, "ontology_v2.csv")), (0, 1, 3, 7))
    for i, path in enumerate(sorted(glob.glob(os.path.join(ATLASES, "atlas*", "Colormaps", "*")))[:3]):
        write("fuzz_colormap", "colormap-%d" % i, read(path))
    for harness, pattern in (("fuzz_triangle_mesh", "*.msh"), ("fuzz_colored_mesh", "*.amsh"),
                             ("fuzz_lines", "*.ls")):
        meshes = sorted(glob.glob(os.path.join(ATLASES, "atlas*", "Spaces", "*", "Meshes", pattern)),
                        key=os.path.getsize)
        for i, path in enumerate(meshes[:3]):
            write(harness, "%s-%d" % (harness[5:], i), read(path))
    space = sorted(glob.glob(os.path.join(root, "Spaces", "*")))[0]
    for name in ("coronal_images.xml", "sagittal_images.xml"):
        if os.path.exists(os.path.join(space, name)):
            write_selected("fuzz_section_metadata", name, read(os.path.join(space, name)), (0, 1, 2, 3))
    points = sorted(glob.glob(os.path.join(ATLASES, "atlas*", "Spaces", "*", "*.csv")), key=os.path.getsize)
    for i, path in enumerate(points[:2]):
        write_selected("fuzz_pointset", "points-%d" % i, read(path), (1,))
    probes = glob.glob(os.path.join(ATLASES, "atlas351", "**", "probe_info.csv"), recursive=True)
    for i, path in enumerate(probes[:1]):
        write("fuzz_probe_index", "probe_info.csv", read(path))
    # The atlas folder's files joined in the harness's order.
    separator = b"\n\x01FILE\x01\n"
    files = [read(os.path.join(root, "Info.xml")), read(os.path.join(root, "ontology_v2.csv"))]
    info = files[0].decode()
    first_space = re.search(r'<space name="([^"]+)"', info)
    if first_space:
        folder = os.path.join(root, "Spaces", first_space.group(1))
        for name in ("coronal_images.xml", "sagittal_images.xml", "samples_columns.csv", "Annotation", "Atlas"):
            path = os.path.join(folder, name)
            files.append(read(path) if os.path.exists(path) else b"")
    write("fuzz_atlas_folder", "atlas-350", separator.join(files))


def bookmark_seeds(data):
    """Bookmarks files in the layout the program writes, over structures of atlas 310's ontology."""
    ontology = read(os.path.join(ATLASES, "atlas310", "ontology_v2.csv")).decode().splitlines()
    rows = list(csv.reader(ontology[1:4]))
    structures = "".join('                <Structure id="%s" name="%s"/>\n' % (r[0], r[1]) for r in rows)
    bookmark = (
        '        <Bookmark name="Full">\n'
        '            <ExpressionFilter>\n' + structures + '            </ExpressionFilter>\n'
        '            <AtlasStructures>\n' + structures + '                <Structure id="999999" name="Gone"/>\n'
        '            </AtlasStructures>\n'
        '            <Rotation>0 0.707107 0 0.707107</Rotation>\n'
        '            <Origin>1.5 -2 0</Origin>\n'
        '            <Zoom>62.5</Zoom>\n'
        '            <NisslSlice orientation="coronal" location="0.25"/>\n'
        '            <NisslSlice orientation="sagittal" location="0"/>\n'
        '            <ClippingPlane orientation="coronal" lower="0" upper="1"/>\n'
        '            <ClippingPlane orientation="horizontal" lower="0.1" upper="0.9"/>\n'
        '            <ExpressionLevelThreshold lower="3" upper="9"/>\n'
        '            <ExpressionDensityThreshold/>\n'
        '            <ExpressionWindow lower="10" upper="200"/>\n'
        '        </Bookmark>\n')
    text = ('<?xml version="1.0" encoding="utf-8"?>\n<Bookmarks>\n'
            '    <BookmarkGroup name="A&lt;&amp;&quot;&apos;&gt;" expanded="true">\n' + bookmark +
            '        <Bookmark name="Nothing">\n        </Bookmark>\n    </BookmarkGroup>\n'
            '    <BookmarkGroup name="Closed">\n        <BookmarkGroup name="Inner" expanded="true">\n'
            '            <Bookmark name="Deep">\n                <Zoom>40</Zoom>\n            </Bookmark>\n'
            '        </BookmarkGroup>\n    </BookmarkGroup>\n</Bookmarks>\n')
    write("fuzz_bookmarks", "Bookmarks.xml", text)
    write("fuzz_bookmarks", "empty.xml", '<?xml version="1.0" encoding="utf-8"?>\n<Bookmarks>\n</Bookmarks>\n')


def nifti(dims, datatype, bitpix, values, spacing=(1.0, 1.0, 1.0)):
    """A single-file NIfTI-1 volume: the 348-byte header, four bytes of no extension, the voxels."""
    header = bytearray(348)
    struct.pack_into("<i", header, 0, 348)
    struct.pack_into("<8h", header, 40, 3, *dims, 1, 1, 1, 1)
    struct.pack_into("<hh", header, 70, datatype, bitpix)
    struct.pack_into("<8f", header, 76, 1.0, *spacing, 0.0, 0.0, 0.0, 0.0)
    struct.pack_into("<f", header, 108, 352.0)
    header[344:348] = b"n+1\x00"
    formats = {2: "B", 4: "h", 8: "i", 16: "f", 512: "H", 1280: "Q"}
    return bytes(header) + bytes(4) + struct.pack("<%d%s" % (len(values), formats[datatype]), *values)


def stream_seeds():
    write("fuzz_iostream", "strings", b"\x03abc\x00\x05hello\x01x" + bytes(range(40)))
    write("fuzz_nifti", "short", b"\x5c\x01\x00\x00" + bytes(344))
    counts = [(i * 37) % 1000 for i in range(4 * 3 * 2)]
    volumes = {
        "uint16": nifti((4, 3, 2), 512, 16, counts),
        "uint8": nifti((4, 3, 2), 2, 8, [c % 256 for c in counts]),
        "int16": nifti((4, 3, 2), 4, 16, counts, (0.5, 0.5, 2.0)),
        "float": nifti((4, 3, 2), 16, 32, [c / 7.0 for c in counts]),
        "uint64": nifti((4, 3, 2), 1280, 64, counts),
        "zeros": nifti((2, 2, 2), 512, 16, [0] * 8),
    }
    for name, volume in sorted(volumes.items()):
        write("fuzz_nifti", name + ".nii", volume)
    write("fuzz_nifti", "uint16.nii.gz", gzip.compress(volumes["uint16"], mtime=0))
    write("fuzz_nifti", "uint64.nii.gz", gzip.compress(volumes["uint64"], mtime=0))


# -- the probe layers' replies, the update feed --------------------------------------------------------------

def probe_layer_seeds(data):
    seed = "/data/P56/projection_map/target?seedPoint=6000,4000,5000&seedAge=P56"
    body = answer(data, seed)
    lines = json.loads(body)["msg"]
    for name, reply in (("all", body), ("two", json.dumps({"success": True, "msg": lines[:2]}).encode())):
        write_selected("fuzz_projection_map", "map-" + name, reply, (0,))
    for kind, broken in damaged(body, "application/json"):
        write_selected("fuzz_projection_map", "map-" + kind, broken, (0,))
    afferents = sorted(glob.glob(os.path.join(ATLASES, "atlas310", "Spaces", "*", "Afferents", "*")),
                       key=os.path.getsize)
    for i, path in enumerate(afferents[:3]):
        write_selected("fuzz_projection_map", "afferent-%d" % i, read(path), (1,))
    correlation = answer(data, "/kest/data/P56/download?seed=6000,4000,5000&age=P56")
    write_selected("fuzz_kest_zip", "correlation", correlation, (0,))
    write_selected("fuzz_kest_zip", "correlation-truncated", faults.truncate(correlation), (0,))
    write_selected("fuzz_kest_zip", "correlation-badcrc", faults.bad_crc(correlation), (0,))
    write_selected("fuzz_kest_zip", "rat", datasets.correlation_zip(struct.pack("<f", 0.5) * (67 * 41 * 58)), (1,))
    write_selected("fuzz_kest_zip", "tiny", datasets.correlation_zip(struct.pack("<8f", *range(8))), (2,))


def feed_seeds(data):
    feed = answer(data, "/Corvane2/mac-appcast.xml")
    # Answered whole, the update offered then declined or taken.
    write_selected("fuzz_update_feed", "feed", feed, (0x00, 0x10))
    for kind, broken in damaged(feed, "application/xml"):
        write_selected("fuzz_update_feed", "feed-" + kind, broken, (0x10,))
    item = re.search(rb"<item>.*?</item>", feed, re.DOTALL).group(0)
    items = item.replace(b"\"200\"", b"\"350\"") + b"\n" + item.replace(b"\"200\"", b"\"abc\"") + b"\n"
    write_selected("fuzz_update_feed", "feed-items", feed.replace(item, item + b"\n" + items), (0x10,))


if __name__ == "__main__":
    generate_atlases()
    demo = DemoData([ATLASES])
    made = data_set_seeds(demo)
    grid_seeds(demo, made)
    projection_seeds(made)
    search_seeds(demo)
    gene_list_seeds(demo)
    relation_seeds(demo)
    microarray_seeds(demo)
    tile_seeds(demo)
    url_seeds(demo)
    catalogue_seeds(demo)
    package_seeds(demo)
    atlas_file_seeds()
    bookmark_seeds(demo)
    stream_seeds()
    probe_layer_seeds(demo)
    feed_seeds(demo)
