#!/usr/bin/env python3
"""Checks an installed atlas folder, independently of the program's own readers.

    check_atlas.py DIR [--quiet]

Re-reads every file layout of the atlas and verifies counts, ranges and cross-references: Info.xml
spaces against the Spaces folder, annotation values against the ontology, mesh indices against vertex
counts, strip lengths, sample structures against the annotation, section lists, colour tables, the
correlation mapping, the microarray files and the probe layers' local files (tract volumes, afferent
seed experiments, the rat atlas's transform chain). Python standard library only. Exit status 0 when the
atlas is sound, 1 with one line per problem otherwise.
"""

import array
import csv
import gzip
import zlib
import io
import math
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

ONTOLOGY_FIELDS = ("name", "abbreviation", "parent", "red", "green", "blue", "id", "database_id", "order",
                   "level", "mesh_name")
URL_ELEMENTS = ("grid", "imageSeriesDisplay", "imageViewer", "atlasImageViewer", "multiExperimentViewer",
                "imageTile", "imageService", "geneSearch", "dataSearch", "differentialSearch",
                "correlationSearch")
PSEUDO_IDS = (9999, 10000, 10001)
# Database ids that atlas 351 gives real structures (the viewer's presets for that atlas name them).
PRESET_IDS_351 = {"CH": 1001, "BS": 1002, "CB": 1003, "FT": 1004, "VS": 1005, "HiF": 4697}
CORRELATION_GRID = (67, 41, 58)
AMSH_MARKER = 0xF00DF00D
SURFACE_MAGIC = 0x99118822
TRACT_GRID = (128, 128, 68)
MAX_TRACT_SEEDS = 8
DEFAULT_AFFERENT = 100140756
META_KEYS = {
    "PermuteAndFlipTransform.meta": ("PermuteAndFlip", {"Permutation": 3, "Flip": 3, "Extent": 3}),
    "AffineTransform.meta": ("Affine", {"Matrix": 9, "Translation": 3}),
    "BSplineTransform.meta": ("BSpline", {"Origin": 3, "Spacing": 3, "Size": 3, "Coefficients": None}),
}


class Problem(Exception):
    """A defect of the file at hand; ends the check of that file."""


class Reader:
    """Little-endian reads from a byte string that report truncation as a Problem."""

    def __init__(self, data, name):
        self.data, self.name, self.pos = data, name, 0

    def take(self, size):
        if size < 0 or self.pos + size > len(self.data):
            raise Problem("%s: truncated at byte %d (needs %d more)" % (self.name, self.pos, size))
        chunk = self.data[self.pos:self.pos + size]
        self.pos += size
        return chunk

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def floats(self, count):
        values = array.array("f")
        values.frombytes(self.take(4 * count))
        if sys.byteorder != "little":
            values.byteswap()
        return values

    def u32s(self, count):
        values = array.array("I")
        if values.itemsize != 4:
            values = array.array("L")
        values.frombytes(self.take(4 * count))
        if sys.byteorder != "little":
            values.byteswap()
        return values

    def at_end(self):
        return self.pos == len(self.data)


def placeholders(template):
    return sorted({int(n) for n in re.findall(r"%(\d+)%", template)})


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


class AtlasChecker:
    def __init__(self, folder):
        self.folder = folder
        self.errors = []
        self.notes = []
        self.ontology = {}        # annotation value -> row
        self.by_db_id = {}        # database id -> row
        self.mesh_names = set()
        self.atlas_id = 0
        self.spaces = []
        self.probe_count = None

    # -- reporting --------------------------------------------------------------------------------

    def error(self, message):
        self.errors.append(message)

    def guarded(self, what, check, *args):
        """Runs one file's check; a defect or unreadable file becomes an error, never a crash."""
        try:
            return check(*args)
        except Problem as p:
            self.error(str(p))
        except (OSError, ValueError, ET.ParseError, UnicodeDecodeError, csv.Error, struct.error) as e:
            self.error("%s: %s" % (what, e))
        return None

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    # -- the whole atlas --------------------------------------------------------------------------

    def run(self):
        if not os.path.isdir(self.folder):
            self.error("%s: not a folder" % self.folder)
            return self.errors
        info_ok = self.guarded("Info.xml", self.check_info)
        self.guarded("ontology_v2.csv", self.check_ontology)
        self.guarded("SearchDomains.xml", self.check_search_domains)
        for name in ("Expression", "Jet", "rg", "bluered", "ryb"):
            self.guarded("Colormaps/%s.map" % name, self.check_colormap, name)
        self.guarded("compass.msh", self.check_msh, self.path("compass.msh"), None)
        if self.atlas_id == 351:
            self.guarded("probe_info.csv", self.check_probes)
        if info_ok:
            for space in self.spaces:
                self.check_space(space)
        return self.errors

    # -- Info.xml ---------------------------------------------------------------------------------

    def check_info(self):
        root = ET.parse(self.path("Info.xml")).getroot()
        if root.tag not in ("atlas", "atlas-info"):
            raise Problem("Info.xml: root element is <%s>, not <atlas-info>" % root.tag)
        self.atlas_id = self.integer(root.get("id"), "Info.xml: atlas id")
        if self.atlas_id <= 0:
            raise Problem("Info.xml: atlas id must be positive")
        if not root.get("name"):
            raise Problem("Info.xml: atlas name missing")
        version = self.integer(root.get("version", "0"), "Info.xml: version")
        project = root.get("project", "")
        for element in root.iter("space"):
            self.spaces.append(self.read_space(element))
        if not self.spaces:
            raise Problem("Info.xml: no space")
        names = [s["name"] for s in self.spaces]
        if len(set(names)) != len(names):
            self.error("Info.xml: two spaces share a name")
        for text, name in ((root.findtext("compass-transform"), "compass-transform"),):
            if text is not None and len(text.split()) < 16:
                self.error("Info.xml: %s has fewer than 16 numbers" % name)
        blocks = root.findall("urls")
        if not blocks:
            raise Problem("Info.xml: no URL block")
        codes = []
        for block in blocks:
            codes.append(block.get("project") or project)
            self.check_url_block(block)
        if self.atlas_id == 310 and "0378" not in codes:
            self.error("Info.xml: atlas 310 needs a URL block for project 0378")
        if self.atlas_id == 350 and (len(self.spaces) < 2 or version < 4):
            self.error("Info.xml: atlas 350 needs two spaces and version 4")
        return True

    def integer(self, text, what):
        try:
            return int(text)
        except (TypeError, ValueError):
            raise Problem("%s is not a number: %r" % (what, text))

    def numbers(self, element, names, what, positive=False):
        if element is None:
            raise Problem("Info.xml: %s missing" % what)
        values = []
        for n in names:
            try:
                v = float(element.get(n))
            except (TypeError, ValueError):
                raise Problem("Info.xml: %s %s missing or not a number" % (what, n))
            if positive and not v > 0:
                raise Problem("Info.xml: %s %s must be positive" % (what, n))
            values.append(v)
        return values

    def matrix(self, element, what):
        if element is None or element.text is None:
            raise Problem("Info.xml: %s missing" % what)
        values = [float(v) for v in element.text.split()]
        if len(values) != 16 or not all(math.isfinite(v) for v in values):
            raise Problem("Info.xml: %s needs 16 finite numbers" % what)
        return values

    def read_space(self, element):
        name = element.get("name") or ""
        if not name or "/" in name or name in (".", ".."):
            raise Problem("Info.xml: bad space name %r" % name)
        view, tissue = element.find("view-volume"), element.find("tissue-volume")
        if view is None or tissue is None:
            raise Problem("Info.xml: space %s lacks a view or tissue volume" % name)
        wh = ("width", "height", "depth")
        space = {
            "name": name,
            "view_dims": [int(v) for v in self.numbers(view.find("size"), wh, "view size", True)],
            "view_res": self.numbers(view.find("pixel-spacing"), wh, "view spacing", True),
            "atlas_dims": [int(v) for v in self.numbers(tissue.find("size"), wh, "atlas size", True)],
            "atlas_res": self.numbers(tissue.find("pixel-spacing"), wh, "atlas spacing", True),
            "origin": self.numbers(tissue.find("origin"), "xyz", "origin"),
        }
        mesh = tissue.find("mesh-resolution")
        space["mesh_res"] = self.numbers(mesh, "xyz", "mesh resolution", True) if mesh is not None else space["atlas_res"]
        self.matrix(tissue.find("transform"), "transform of " + name)
        space["mni"] = self.matrix(tissue.find("mni-transform"), "mni-transform of " + name)
        for a in range(3):
            if not 0 <= space["origin"][a] < space["atlas_dims"][a]:
                self.error("Info.xml: origin of %s lies outside the atlas grid" % name)
        return space

    def check_url_block(self, block):
        base = block.get("base", "")
        if not re.match(r"^https?://[^/\s]+", base) or base.endswith("/"):
            self.error("Info.xml: URL block base %r is not an absolute URL without a trailing slash" % base)
        for child in block:
            if child.tag not in URL_ELEMENTS:
                continue
            text = child.text or ""
            if not text.startswith("%1%/") or len(text) < 5:
                self.error("Info.xml: <%s> is not a template beginning with %%1%%/: %r" % (child.tag, text))
                continue
            used = placeholders(text)
            if used != list(range(1, len(used) + 1)):
                self.error("Info.xml: <%s> skips a placeholder: %r" % (child.tag, text))
            if " " in text:
                self.error("Info.xml: <%s> holds a blank" % child.tag)

    # -- ontology and search domains --------------------------------------------------------------

    def check_ontology(self):
        data = read_file(self.path("ontology_v2.csv"))
        if data.startswith(b"\xef\xbb\xbf"):
            data = data[3:]
        lines = [l for l in data.decode("utf-8").split("\n") if l]
        if len(lines) < 2:
            raise Problem("ontology_v2.csv: no data row")
        header = next(csv.reader([lines[0]]))
        column = {name: i for i, name in enumerate(header) if name in ONTOLOGY_FIELDS}
        missing = [f for f in ("abbreviation", "parent", "id") if f not in column]
        if missing:
            raise Problem("ontology_v2.csv: header lacks %s" % ", ".join(missing))
        rows = []
        for number, line in enumerate(lines[1:], start=1):
            fields = next(csv.reader([line]))
            if len(fields) < len(header):
                raise Problem("ontology_v2.csv: row %d has %d fields, the header %d" % (number, len(fields), len(header)))
            row = {name: fields[i] for name, i in column.items()}
            row["index"] = number
            row["value"] = int(row["id"])
            row["db"] = int(row["database_id"])
            rows.append(row)
        for row in rows:
            if not 0 < row["value"] < 65536:
                self.error("ontology_v2.csv: row %d annotation value %d out of range" % (row["index"], row["value"]))
            for c in ("red", "green", "blue"):
                if not 0 <= int(row[c]) <= 255:
                    self.error("ontology_v2.csv: row %d colour out of range" % row["index"])
            if row["value"] in self.ontology:
                self.error("ontology_v2.csv: annotation value %d used twice" % row["value"])
            if row["db"] in self.by_db_id:
                self.error("ontology_v2.csv: database id %d used twice" % row["db"])
            if len({row["value"], row["index"], row["db"]}) != 3:
                self.error("ontology_v2.csv: row %d has equal value, row index or database id" % row["index"])
            self.ontology[row["value"]] = row
            self.by_db_id[row["db"]] = row
            self.mesh_names.add(row.get("mesh_name") or row["abbreviation"].replace("/", "_"))
        beyond = [r["index"] for r in rows if r["value"] > len(rows)]
        if beyond:
            # The viewer's annotation colours are a table indexed by value with one entry per label.
            self.error("ontology_v2.csv: %d row(s) (first: row %d) have annotation values not below the label count %d"
                       % (len(beyond), beyond[0], len(rows) + 1))
        if rows[0]["parent"]:
            self.error("ontology_v2.csv: the first row must be the root (no parent)")
        for row in rows[1:]:
            parent = int(row["parent"]) if row["parent"] else 0
            if parent not in self.by_db_id:
                self.error("ontology_v2.csv: row %d names parent %d that no row defines" % (row["index"], parent))
        self.check_tree(rows)
        for pseudo in PSEUDO_IDS:
            if pseudo not in self.by_db_id:
                self.error("ontology_v2.csv: pseudo-structure %d missing" % pseudo)
        if self.atlas_id == 351:
            for abbreviation in ("Cx", "HiF"):
                if not any(r["abbreviation"] == abbreviation for r in rows):
                    self.error("ontology_v2.csv: the microarray atlas needs %s" % abbreviation)
        self.check_database_ids(rows)
        self.check_levels(rows)

    def depth(self, row):
        depth, current, seen = 0, row, set()
        while current["parent"] and current["db"] not in seen:
            seen.add(current["db"])
            current = self.by_db_id.get(int(current["parent"]))
            if current is None:
                break
            depth += 1
        return depth

    def check_levels(self, rows):
        """Levels are depths (root 0), except the structure sets that the viewer's presets select by level:
        the microarray atlas's depth-2 structures (100), and in the mouse atlases 310 and 378 the large
        divisions (100) and the deep structures under them (200), each set non-empty, of real structures,
        none inside another of its own set."""
        marked = {100: [], 200: []}
        for row in rows:
            level, depth = int(row["level"]), self.depth(row)
            if self.atlas_id == 351 and depth == 2:
                expected = (100,)
            elif self.atlas_id in (310, 378) and row["db"] not in PSEUDO_IDS:
                expected = (depth, 100, 200)
            else:
                expected = (depth,)
            if level not in expected:
                self.error("ontology_v2.csv: %s has level %d, not %s"
                           % (row["abbreviation"], level, " or ".join(str(e) for e in expected)))
            if level in marked and self.atlas_id in (310, 378):
                marked[level].append(row)
        if self.atlas_id not in (310, 378):
            return
        for level, members in marked.items():
            if not members:
                self.error("ontology_v2.csv: no structure of level %d (the viewer's structure presets)" % level)
            ids = {r["db"] for r in members}
            for row in members:
                current = self.by_db_id.get(int(row["parent"])) if row["parent"] else None
                seen = {row["db"]}
                while current is not None and current["db"] not in seen:
                    seen.add(current["db"])
                    if current["db"] in ids:
                        self.error("ontology_v2.csv: %s of level %d lies inside %s of the same level"
                                   % (row["abbreviation"], level, current["abbreviation"]))
                        break
                    current = self.by_db_id.get(int(current["parent"])) if current["parent"] else None

    def check_database_ids(self, rows):
        presets = PRESET_IDS_351 if self.atlas_id == 351 else {}
        for row in rows:
            if row["db"] in PSEUDO_IDS:
                continue
            expected = presets.get(row["abbreviation"], 2000 + 11 * (row["index"] - 1))
            if row["db"] != expected:
                self.error("ontology_v2.csv: %s has database id %d, not %d"
                           % (row["abbreviation"], row["db"], expected))

    def check_tree(self, rows):
        for row in rows:
            seen, current = set(), row
            while current["parent"]:
                if current["db"] in seen:
                    self.error("ontology_v2.csv: row %d is its own ancestor" % row["index"])
                    return
                seen.add(current["db"])
                current = self.by_db_id.get(int(current["parent"]))
                if current is None:
                    break

    def check_search_domains(self):
        root = ET.parse(self.path("SearchDomains.xml")).getroot()
        if root.tag != "SearchDomains":
            raise Problem("SearchDomains.xml: root element is <%s>" % root.tag)
        for section in ("AnatomicSearch", "Quellar"):
            element = root.find(section)
            domains = [] if element is None else element.findall("Domain")
            if not domains:
                self.error("SearchDomains.xml: no %s domain" % section)
            for d in domains:
                if self.integer(d.get("id"), "SearchDomains.xml: domain id") not in self.by_db_id:
                    self.error("SearchDomains.xml: domain %s is not in the ontology" % d.get("id"))

    def check_colormap(self, name):
        values = read_file(self.path("Colormaps", name + ".map")).decode("ascii").split()
        if len(values) != 768:
            raise Problem("Colormaps/%s.map: %d numbers, not 768" % (name, len(values)))
        if any(not 0 <= int(v) <= 255 for v in values):
            raise Problem("Colormaps/%s.map: a value outside 0..255" % name)

    def check_probes(self):
        lines = [l for l in read_file(self.path("probe_info.csv")).decode("utf-8").split("\n") if l]
        if len(lines) < 2:
            raise Problem("probe_info.csv: no probe")
        ids = set()
        for number, line in enumerate(lines[1:], start=1):
            fields = next(csv.reader([line]))
            if len(fields) < 6:
                raise Problem("probe_info.csv: row %d has fewer than 6 fields" % number)
            probe = int(fields[0])
            if probe == 0 or probe in ids:
                self.error("probe_info.csv: probe id %d is 0 or repeated" % probe)
            ids.add(probe)
            int(fields[2])
            if fields[5]:
                int(fields[5])
        self.probe_count = len(lines) - 1

    # -- one space --------------------------------------------------------------------------------

    def check_space(self, space):
        folder = self.path("Spaces", space["name"])
        if not os.path.isdir(folder):
            self.error("Spaces/%s: the folder of an Info.xml space is missing" % space["name"])
            return
        label = "Spaces/" + space["name"]
        volume = self.guarded(label + "/Annotation", self.check_annotation, space, folder)
        self.guarded(label + "/Atlas", self.check_reference, space, folder)
        self.guarded(label + "/AtlasSlices", self.check_slices, space, folder)
        for plane in ("coronal", "sagittal"):
            self.guarded(label + "/%s_images.xml" % plane, self.check_sections, space, folder, plane)
        samples = self.guarded(label + "/samples_columns.csv", self.check_samples, space, folder, volume)
        self.guarded(label + "/Transforms/Mapping", self.check_mapping, space, folder)
        meshes = os.path.join(folder, "Meshes")
        if not os.path.isdir(meshes):
            self.error(label + "/Meshes: missing")
        else:
            self.check_meshes(space, meshes, samples)
        if self.atlas_id == 35100:
            self.guarded(label + "/ProbTrack", self.check_tracts, folder)
        if self.atlas_id in (310, 378):
            self.guarded(label + "/Afferents", self.check_afferents, space, folder, samples)
        if self.atlas_id == 50000:
            for name in META_KEYS:
                self.guarded(label + "/Transforms/" + name, self.check_meta, folder, name)
        if self.atlas_id == 351:
            self.guarded(label + "/inflated_surface_samples", self.check_surface_samples, folder, samples)
            self.guarded(label + "/samples.raw", self.check_sample_values, folder, samples)

    def check_annotation(self, space, folder):
        data = read_file(os.path.join(folder, "Annotation"))
        count = space["atlas_dims"][0] * space["atlas_dims"][1] * space["atlas_dims"][2]
        if count == 0 or len(data) % count or len(data) // count not in (1, 2):
            raise Problem("Spaces/%s/Annotation: %d bytes do not give 1 or 2 bytes per voxel of %d"
                          % (space["name"], len(data), count))
        values = array.array("B" if len(data) == count else "H")
        values.frombytes(data)
        if values.itemsize == 2 and sys.byteorder != "little":
            values.byteswap()
        present = set(values)
        stray = sorted(v for v in present if v and v not in self.ontology)
        if stray:
            self.error("Spaces/%s/Annotation: values not in the ontology: %s" % (space["name"], stray[:10]))
        # The viewer's annotation colours are a table indexed by value with one entry per label.
        beyond = sorted(v for v in present if v > len(self.ontology))
        if beyond and not stray:
            self.error("Spaces/%s/Annotation: values beyond the label count %d: %s"
                       % (space["name"], len(self.ontology) + 1, beyond[:10]))
        painted = [p for p in PSEUDO_IDS if p in self.by_db_id and self.by_db_id[p]["value"] in present]
        if painted:
            self.error("Spaces/%s/Annotation: pseudo-structures painted into the volume: %s" % (space["name"], painted))
        if len(present - {0}) < 2:
            self.error("Spaces/%s/Annotation: fewer than two structures" % space["name"])
        return values

    def check_reference(self, space, folder):
        size = os.path.getsize(os.path.join(folder, "Atlas"))
        count = space["atlas_dims"][0] * space["atlas_dims"][1] * space["atlas_dims"][2]
        if size != count:
            raise Problem("Spaces/%s/Atlas: %d bytes, expected %d" % (space["name"], size, count))

    def check_slices(self, space, folder):
        slices = os.path.join(folder, "AtlasSlices")
        if not os.path.isdir(slices):
            raise Problem("Spaces/%s/AtlasSlices: missing" % space["name"])
        for z in range(space["atlas_dims"][2]):
            name = "%03d.jpg" % z
            width, height, components = jpeg_size(read_file(os.path.join(slices, name)), name)
            if (width, height, components) != (space["atlas_dims"][0], space["atlas_dims"][1], 1):
                raise Problem("Spaces/%s/AtlasSlices/%s: %dx%d with %d components, expected %dx%d grayscale"
                              % (space["name"], name, width, height, components, space["atlas_dims"][0],
                                 space["atlas_dims"][1]))

    def check_sections(self, space, folder, plane):
        name = "Spaces/%s/%s_images.xml" % (space["name"], plane)
        root = ET.parse(os.path.join(folder, plane + "_images.xml")).getroot()
        if root.tag != "image-series":
            raise Problem("%s: root element is <%s>" % (name, root.tag))
        if root.findtext("plane-of-section") != plane:
            self.error("%s: plane-of-section is not %s" % (name, plane))
        for m in ("trv", "tvr"):
            if len((root.findtext(m) or "").split(",")) != 12:
                self.error("%s: %s needs 12 numbers" % (name, m))
        images = list(root.iter("image"))
        if not images:
            raise Problem("%s: no image" % name)
        axis = 0 if plane == "coronal" else 2
        extent = space["atlas_dims"][axis] * space["atlas_res"][axis]
        seen, last_z = set(), -1
        for image in images:
            section = int(image.findtext("section-index"))
            z = int(image.findtext("z-value"))
            if section in seen:
                self.error("%s: section %d listed twice" % (name, section))
            seen.add(section)
            if not z > last_z or not 0 <= z <= extent:
                self.error("%s: z-value %d of section %d out of order or outside the brain" % (name, z, section))
            last_z = z
            if int(image.findtext("width")) <= 0 or int(image.findtext("height")) <= 0:
                self.error("%s: section %d has no size" % (name, section))
            if not image.findtext("imagepath"):
                self.error("%s: section %d has no image path" % (name, section))
            for m in ("tsv", "tvs"):
                if len((image.findtext(m) or "").split(",")) != 6:
                    self.error("%s: section %d %s needs 6 numbers" % (name, section, m))

    def check_samples(self, space, folder, volume):
        name = "Spaces/%s/samples_columns.csv" % space["name"]
        text = read_file(os.path.join(folder, "samples_columns.csv")).decode("utf-8")
        rows = list(csv.reader(io.StringIO(text)))
        if not rows:
            raise Problem("%s: empty" % name)
        header = rows[0]
        id_column = next((i for i, h in enumerate(header) if h in ("data_set_id", "well_id")), None)
        if id_column is None or "structure_id" not in header:
            raise Problem("%s: header lacks an id or structure_id column" % name)
        structure_column = header.index("structure_id")
        dims, res = space["atlas_dims"], space["atlas_res"]
        samples = {}
        for number, row in enumerate(rows[1:], start=1):
            if len(row) < 4:
                self.error("%s: row %d has no position" % (name, number))
                continue
            sample_id, structure = int(row[id_column]), int(row[structure_column])
            position = [float(v) for v in row[-3:]]
            if sample_id in samples:
                self.error("%s: sample id %d repeated" % (name, sample_id))
            if structure not in self.by_db_id:
                self.error("%s: row %d structure %d not in the ontology" % (name, number, structure))
            voxel = [int(position[a] // res[a]) for a in range(3)]
            if any(not 0 <= voxel[a] < dims[a] for a in range(3)):
                self.error("%s: row %d lies outside the atlas grid" % (name, number))
            elif volume is not None and structure in self.by_db_id:
                value = volume[(voxel[2] * dims[1] + voxel[1]) * dims[0] + voxel[0]]
                if value != self.by_db_id[structure]["value"]:
                    self.error("%s: row %d structure %d disagrees with the annotation (%d)"
                               % (name, number, structure, value))
            samples[sample_id] = position
        return samples

    def check_mapping(self, space, folder):
        name = "Spaces/%s/Transforms/Mapping" % space["name"]
        data = read_file(os.path.join(folder, "Transforms", "Mapping"))
        count = space["view_dims"][0] * space["view_dims"][1] * space["view_dims"][2]
        if len(data) != 6 * count:
            raise Problem("%s: %d bytes, expected %d" % (name, len(data), 6 * count))
        values = array.array("h")
        values.frombytes(data)
        if sys.byteorder != "little":
            values.byteswap()
        for a in range(3):
            column = values[a::3]
            if any(v < -1 or v >= CORRELATION_GRID[a] for v in column):
                raise Problem("%s: axis %d coordinate outside -1..%d" % (name, a, CORRELATION_GRID[a] - 1))

    # -- local files of the probe layers ----------------------------------------------------------

    def check_tracts(self, folder):
        root = os.path.join(folder, "ProbTrack")
        files = []
        for sub in sorted(os.listdir(root)):
            for name in sorted(os.listdir(os.path.join(root, sub))):
                files.append((sub, name))
        if not 1 <= len(files) <= MAX_TRACT_SEEDS:
            raise Problem("ProbTrack: %d seed files, expected 1 to %d" % (len(files), MAX_TRACT_SEEDS))
        for sub, name in files:
            match = re.match(r"scm_(\d+)_(\d+)_(\d+)\.nii\.gz\Z", name)
            if not match or match.group(1) != sub:
                raise Problem("ProbTrack/%s/%s: not named scm_<x>_<y>_<z>.nii.gz in folder <x>" % (sub, name))
            seed = [int(v) for v in match.groups()]
            if any(not 0 <= seed[a] < TRACT_GRID[a] for a in range(3)):
                raise Problem("ProbTrack/%s/%s: seed outside the tract grid" % (sub, name))
            self.check_tract(os.path.join(root, sub, name), "ProbTrack/%s/%s" % (sub, name), seed)

    def check_tract(self, path, name, seed):
        try:
            data = gzip.decompress(read_file(path))
        except (OSError, EOFError, zlib.error) as e:
            raise Problem("%s: not gzip (%s)" % (name, e))
        r = Reader(data, name)
        if r.u32() != 348:
            raise Problem("%s: not a little-endian NIfTI-1 header" % name)
        dims = struct.unpack("<8h", data[40:56])
        datatype, bitpix = struct.unpack("<hh", data[70:74])
        offset = struct.unpack("<f", data[108:112])[0]
        if data[344:348] != b"n+1\0":
            raise Problem("%s: magic is not n+1" % name)
        if dims[0] != 3 or tuple(dims[1:4]) != TRACT_GRID:
            raise Problem("%s: dimensions %s, expected %s" % (name, dims[1:4], TRACT_GRID))
        if datatype != 1280 or bitpix != 64:
            raise Problem("%s: not unsigned 64-bit voxels" % name)
        count = TRACT_GRID[0] * TRACT_GRID[1] * TRACT_GRID[2]
        if offset != 352 or len(data) != 352 + 8 * count:
            raise Problem("%s: %d bytes, expected %d at offset 352" % (name, len(data), 352 + 8 * count))
        values = array.array("Q")
        values.frombytes(data[352:])
        if sys.byteorder != "little":
            values.byteswap()
        if max(values) == 0:
            raise Problem("%s: no streamline counts" % name)
        index = (seed[2] * TRACT_GRID[1] + seed[1]) * TRACT_GRID[0] + seed[0]
        if values[index] == 0:
            raise Problem("%s: the seed voxel has no count" % name)

    def check_afferents(self, space, folder, samples):
        root = os.path.join(folder, "Afferents")
        expected = {str(DEFAULT_AFFERENT)} | {str(i) for i in (samples or {})}
        present = set(os.listdir(root))
        if expected - present:
            raise Problem("Afferents: missing %s" % ", ".join(sorted(expected - present)[:5]))
        bounds = [space["atlas_dims"][a] * space["atlas_res"][a] for a in range(3)]
        for name in sorted(present):
            self.check_afferent(os.path.join(root, name), "Afferents/" + name, bounds)

    def check_afferent(self, path, name, bounds):
        data = read_file(path)
        r = Reader(data, name)
        for _ in range(self.counted(r, 12, name, "site")):
            r.u32s(2)
            for _ in range(self.counted(r, 12, name, "line")):
                r.u32()
                density = r.floats(1)[0]
                if not 0 < density <= 1:
                    raise Problem("%s: line density %g" % (name, density))
                for _ in range(self.counted(r, 20, name, "point")):
                    point = r.floats(5)
                    if any(not 0 <= point[a] <= bounds[a] for a in range(3)):
                        raise Problem("%s: a point lies outside the brain box" % name)
        if not r.at_end():
            raise Problem("%s: %d bytes after the last site" % (name, len(data) - r.pos))

    @staticmethod
    def counted(reader, record_size, name, what):
        count = reader.u32()
        if count * record_size > len(reader.data) - reader.pos:
            raise Problem("%s: %d %ss do not fit in the bytes left" % (name, count, what))
        return count

    def check_meta(self, folder, name):
        kind, keys = META_KEYS[name]
        text = read_file(os.path.join(folder, "Transforms", name)).decode("utf-8")
        values, transform = {}, None
        for number, line in enumerate(text.splitlines(), start=1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if "=" not in line:
                raise Problem("Transforms/%s: line %d has no '='" % (name, number))
            key, rest = (part.strip() for part in line.split("=", 1))
            if key == "Transform":
                transform = rest
            else:
                values[key] = [float(v) for v in rest.split()]
                if any(not math.isfinite(v) for v in values[key]):
                    raise Problem("Transforms/%s: %s is not finite" % (name, key))
        if transform != kind:
            raise Problem("Transforms/%s: Transform is %r, expected %r" % (name, transform, kind))
        for key, count in keys.items():
            if key not in values or (count is not None and len(values[key]) != count):
                raise Problem("Transforms/%s: %s missing or of the wrong length" % (name, key))
        if kind == "PermuteAndFlip" and sorted(values["Permutation"]) != [0, 1, 2]:
            raise Problem("Transforms/%s: Permutation is not one of 0, 1, 2 each" % name)
        if kind == "BSpline":
            size = values["Size"]
            if any(v < 0 or v != int(v) for v in size) or any(v <= 0 for v in values["Spacing"]):
                raise Problem("Transforms/%s: Size or Spacing malformed" % name)
            if len(values["Coefficients"]) != 3 * int(size[0]) * int(size[1]) * int(size[2]):
                raise Problem("Transforms/%s: Coefficients do not match Size" % name)

    # -- meshes -----------------------------------------------------------------------------------

    def check_meshes(self, space, folder, samples):
        label = "Spaces/%s/Meshes/" % space["name"]
        names = sorted(os.listdir(folder))
        bounds = [space["view_dims"][a] * space["view_res"][a] / space["mesh_res"][a] for a in range(3)]
        for file_name in names:
            base, _, extension = file_name.rpartition(".")
            path = os.path.join(folder, file_name)
            surface = base in ("lh.inflated", "rh.inflated", "lh.inflated.partial", "rh.inflated.partial")
            if extension in ("msh", "amsh", "ls") and not surface and base not in self.mesh_names:
                self.error(label + file_name + ": no structure has this mesh name")
            if extension == "msh":
                self.guarded(label + file_name, self.check_msh, path, bounds)
            elif extension == "amsh":
                view_bounds = [space["view_dims"][a] for a in range(3)] if surface else bounds
                self.guarded(label + file_name, self.check_amsh, path, None if surface else view_bounds,
                             samples if surface else None)
            elif extension == "ls":
                self.guarded(label + file_name, self.check_lines, path, bounds)
        if self.atlas_id == 351:
            for hemisphere in ("lh", "rh"):
                if hemisphere + ".inflated.amsh" not in names:
                    self.error(label + hemisphere + ".inflated.amsh: missing")

    def check_positions(self, name, positions, bounds):
        if not all(math.isfinite(v) for v in positions):
            raise Problem("%s: a position is not finite" % name)
        if bounds is not None:
            for a in range(3):
                axis = positions[a::3]
                if axis and (min(axis) < -1 or max(axis) > bounds[a] + 1):
                    raise Problem("%s: positions outside the grid on axis %d" % (name, a))

    def check_normals(self, name, normals):
        for i in range(0, len(normals), 3):
            length = math.sqrt(normals[i] ** 2 + normals[i + 1] ** 2 + normals[i + 2] ** 2)
            if not 0.99 < length < 1.01:
                raise Problem("%s: normal %d is not of unit length" % (name, i // 3))

    def check_msh(self, path, bounds):
        name = os.path.relpath(path, self.folder)
        r = Reader(read_file(path), name)
        n = r.u32()
        vertices = r.floats(6 * n)
        normals = array.array("f", (vertices[i] for i in range(len(vertices)) if i % 6 < 3))
        positions = array.array("f", (vertices[i] for i in range(len(vertices)) if i % 6 >= 3))
        self.check_normals(name, normals)
        self.check_positions(name, positions, bounds)
        strips = r.u32()
        volume = agreement = 0.0
        for s in range(strips):
            k = r.u16()
            if k < 3 or k % 2:
                raise Problem("%s: strip %d has %d indices (needs an even count of at least 4)" % (name, s, k))
            indices = r.u32s(k)
            if max(indices) >= n:
                raise Problem("%s: strip %d index %d beyond %d vertices" % (name, s, max(indices), n))
            v, a = strip_orientation(positions, normals, indices)
            volume += v
            agreement += a
        if not r.at_end():
            raise Problem("%s: %d bytes after the last strip" % (name, len(r.data) - r.pos))
        if n == 0 or strips == 0:
            raise Problem("%s: empty mesh" % name)
        # Closed surfaces wound counter-clockwise seen from outside enclose a positive volume, and
        # their vertex normals point the way the triangles face.
        if volume <= 0:
            raise Problem("%s: the triangles face inwards (enclosed volume %g)" % (name, volume))
        if agreement <= 0:
            raise Problem("%s: the normals disagree with the triangles' facing" % name)

    def check_amsh(self, path, bounds, samples):
        name = os.path.relpath(path, self.folder)
        r = Reader(read_file(path), name)
        if r.u32() != AMSH_MARKER:
            raise Problem("%s: no marker (only version 1 files are written)" % name)
        if r.u32() != 1:
            raise Problem("%s: version is not 1" % name)
        n = r.u32()
        normals, positions = array.array("f"), array.array("f")
        for v in range(n):
            values = struct.unpack("<6fIIf", r.take(36))
            normals.extend(values[0:3])
            positions.extend(values[3:6])
            if (values[6] & 0xFFFF) not in self.ontology:
                raise Problem("%s: vertex %d structure value %d not in the ontology" % (name, v, values[6]))
            if samples is not None and values[7] and values[7] not in samples:
                raise Problem("%s: vertex %d names sample %d that the space lacks" % (name, v, values[7]))
            if not 0.0 <= values[8] <= 1.0:
                raise Problem("%s: vertex %d shade %g outside 0..1" % (name, v, values[8]))
        self.check_normals(name, normals)
        self.check_positions(name, positions, bounds)
        if n == 0:
            return
        groups = r.u32()
        volume = agreement = 0.0
        for g in range(groups):
            k = r.u16()
            if k == 0 or k % 3:
                raise Problem("%s: group %d has %d indices, not whole triangles" % (name, g, k))
            indices = r.u32s(k)
            if max(indices) >= n:
                raise Problem("%s: group %d index %d beyond %d vertices" % (name, g, max(indices), n))
            for t in range(0, k, 3):
                v, a = strip_orientation(positions, normals, indices[t:t + 3])
                volume += v
                agreement += a
        if not r.at_end():
            raise Problem("%s: %d bytes after the last group" % (name, len(r.data) - r.pos))
        if volume <= 0 or agreement <= 0:
            raise Problem("%s: the triangles face inwards or against their normals" % name)

    def check_lines(self, path, bounds):
        name = os.path.relpath(path, self.folder)
        r = Reader(read_file(path), name)
        lines = r.u32()
        if lines == 0:
            raise Problem("%s: no line" % name)
        for l in range(lines):
            points = r.u16()
            if points < 2:
                raise Problem("%s: line %d has fewer than two points" % (name, l))
            words = r.floats(10 * points)
            positions = array.array("f", (words[i] for i in range(len(words)) if i % 10 < 3))
            self.check_positions(name, positions, bounds)
        if not r.at_end():
            raise Problem("%s: %d bytes after the last line" % (name, len(r.data) - r.pos))

    # -- microarray -------------------------------------------------------------------------------

    def check_surface_samples(self, folder, samples):
        name = os.path.relpath(os.path.join(folder, "inflated_surface_samples"), self.folder)
        r = Reader(read_file(os.path.join(folder, "inflated_surface_samples")), name)
        if r.u32() != SURFACE_MAGIC or r.u16() != 1:
            raise Problem("%s: wrong magic or version" % name)
        count = r.u32()
        if count > 100000:
            raise Problem("%s: %d points (at most 100000)" % (name, count))
        for _ in range(count):
            sample_id, x, y, z = struct.unpack("<I3f", r.take(16))
            if samples is not None and sample_id not in samples:
                raise Problem("%s: sample %d is not in samples_columns.csv" % (name, sample_id))
            if not all(math.isfinite(v) for v in (x, y, z)):
                raise Problem("%s: sample %d position is not finite" % (name, sample_id))
        if not r.at_end():
            raise Problem("%s: bytes after the last point" % name)

    def check_sample_values(self, folder, samples):
        name = os.path.relpath(os.path.join(folder, "samples.raw"), self.folder)
        size = os.path.getsize(os.path.join(folder, "samples.raw"))
        if samples is None or self.probe_count is None:
            raise Problem("%s: cannot be checked without samples_columns.csv and probe_info.csv" % name)
        expected = self.probe_count * (len(samples) + 2) * 4
        if size != expected:
            raise Problem("%s: %d bytes, expected %d probes x %d samples" % (name, size, self.probe_count, len(samples)))
        values = Reader(read_file(os.path.join(folder, "samples.raw")), name).floats(size // 4)
        if not all(math.isfinite(v) for v in values):
            raise Problem("%s: a value is not finite" % name)


def strip_orientation(positions, normals, indices):
    """Signed volume under a triangle strip (divergence theorem) and the agreement of its normals."""
    volume = agreement = 0.0
    for i in range(len(indices) - 2):
        a, b, c = indices[i], indices[i + 1], indices[i + 2]
        if i % 2:
            a, b = b, a
        ax, ay, az = positions[3 * a:3 * a + 3]
        bx, by, bz = positions[3 * b:3 * b + 3]
        cx, cy, cz = positions[3 * c:3 * c + 3]
        ux, uy, uz = bx - ax, by - ay, bz - az
        vx, vy, vz = cx - ax, cy - ay, cz - az
        nx, ny, nz = uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx
        volume += (ax * nx + ay * ny + az * nz) / 6.0
        agreement += nx * normals[3 * a] + ny * normals[3 * a + 1] + nz * normals[3 * a + 2]
    return volume, agreement


def jpeg_size(data, name):
    """Width, height and component count from the first start-of-frame marker."""
    if data[:2] != b"\xff\xd8":
        raise Problem("%s: not a JPEG" % name)
    pos = 2
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            raise Problem("%s: corrupt marker at byte %d" % (name, pos))
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2) and pos + 10 <= len(data):
            height, width = struct.unpack(">HH", data[pos + 5:pos + 9])
            return width, height, data[pos + 9]
        pos += 2 + length
    raise Problem("%s: no frame header" % name)


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    quiet = "--quiet" in argv
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    errors = AtlasChecker(args[0]).run()
    for e in errors:
        print("error: " + e)
    if not quiet or errors:
        print("%s: %s" % (args[0], "%d problem(s)" % len(errors) if errors else "atlas is sound"))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
