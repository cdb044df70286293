"""Installed atlas folders as the demo server sees them.

The server reads only what it needs to answer requests: the identity and URL
templates of Info.xml, the ontology, the spaces with their grids, the
annotation and reference volumes, and the section image lists.  Everything is
read lazily and cached, because a demo atlas can hold large volumes and most
requests touch one space only.
"""

import csv
import os
import re
import sys
import threading
import xml.etree.ElementTree as ET
from array import array
from urllib.parse import urlsplit

URL_FIELDS = (
    "grid", "imageSeriesDisplay", "imageViewer", "atlasImageViewer",
    "multiExperimentViewer", "imageTile", "imageService", "geneSearch",
    "differentialSearch", "correlationSearch",
)

PROJECTION_PROJECT_CODE = "0378"

# Elements whose "key" attribute does not name a host.
_NO_KEY_ELEMENTS = ("size", "pixel-spacing", "origin", "offset", "mesh-resolution")


class AtlasError(Exception):
    pass


def rewrite_template(text, base, hosts, key):
    """Stores a URL element's text the way the program does.

    A text starting with "%1%/" gets the block's base for %1% and its later
    placeholders renumbered down by one; any other text is appended to the
    host registered under the element's key, or to the base.
    """
    if len(text) >= 5 and text.startswith("%1%/"):
        def shift(match):
            n = int(match.group(1))
            return base if n == 1 else "%%%d%%" % (n - 1)
        return re.sub(r"%(\d+)%", shift, text)
    host = hosts.get(key, base) if key else base
    return host + text


class Image:
    """One section image of a space's image list."""

    def __init__(self):
        self.section = 0
        self.id = 0
        self.width = 0
        self.height = 0
        self.path = ""
        self.expression_path = ""
        self.left = 0
        self.top = 0
        self.parent_width = 0
        self.parent_height = 0
        self.z = 0
        self.tsv = [0.0] * 6
        self.tvs = [0.0] * 6

    @property
    def full_width(self):
        return self.parent_width if self.parent_width > 0 and self.parent_height > 0 else self.width

    @property
    def full_height(self):
        return self.parent_height if self.parent_width > 0 and self.parent_height > 0 else self.height


class ImageList:
    """A space's "coronal_images.xml" or "sagittal_images.xml"."""

    def __init__(self, plane):
        self.plane = plane
        self.trv = [0.0] * 12
        self.tvr = [0.0] * 12
        self.images = []

    @staticmethod
    def _matrix(text, count):
        values = [float(v) for v in text.split(",")]
        if len(values) != count:
            raise AtlasError("matrix of %d values expected" % count)
        return values

    @classmethod
    def load(cls, path, plane):
        series = cls(plane)
        root = ET.parse(path).getroot()
        for element in root.iter():
            if element.tag in ("trv", "tvr") and element.text:
                setattr(series, element.tag, cls._matrix(element.text, 12))
        for node in root.iter("image"):
            image = Image()
            fields = {child.tag: (child.text or "") for child in node}
            image.section = int(fields.get("section-index", "0") or 0)
            image.id = int(fields.get("id", "0") or 0)
            image.width = int(fields.get("width", "0") or 0)
            image.height = int(fields.get("height", "0") or 0)
            image.left = int(fields.get("left", "0") or 0)
            image.top = int(fields.get("top", "0") or 0)
            image.parent_width = int(fields.get("parentimagewidth", "0") or 0)
            image.parent_height = int(fields.get("parentimageheight", "0") or 0)
            image.z = int(fields.get("z-value", "0") or 0)
            image.path = fields.get("imagepath", "")
            image.expression_path = fields.get("expression-imagepath", "")
            if fields.get("tsv"):
                image.tsv = cls._matrix(fields["tsv"], 6)
            if fields.get("tvs"):
                image.tvs = cls._matrix(fields["tvs"], 6)
            series.images.append(image)
        series.images.sort(key=lambda im: im.section)
        return series


class Label:
    def __init__(self, index, abbreviation, name, value, database_id, parent_ref, rgb):
        self.index = index
        self.abbreviation = abbreviation
        self.name = name
        self.value = value
        self.database_id = database_id
        self.parent_ref = parent_ref
        self.rgb = rgb
        self.parent = None
        self.children = []


class Ontology:
    """The structure tree of "ontology_v2.csv" (with header) or "ontology.csv"."""

    def __init__(self, labels):
        self.labels = labels
        self.by_value = {}
        self.by_database_id = {}
        self.by_abbreviation = {}
        for label in labels:
            self.by_value[label.value] = label
            self.by_database_id[label.database_id] = label
            self.by_abbreviation[label.abbreviation] = label
        for label in labels:
            parent = None
            if label.parent_ref in self.by_database_id and label.parent_ref != label.database_id:
                parent = self.by_database_id[label.parent_ref]
            elif label.parent_ref in self.by_abbreviation:
                parent = self.by_abbreviation[label.parent_ref]
            if parent is not None and parent is not label:
                label.parent = parent
                parent.children.append(label)

    @classmethod
    def load(cls, folder):
        v2 = os.path.join(folder, "ontology_v2.csv")
        v1 = os.path.join(folder, "ontology.csv")
        if os.path.isfile(v2):
            path, header = v2, True
        elif os.path.isfile(v1):
            path, header = v1, False
        else:
            raise AtlasError("no ontology file in " + folder)
        with open(path, encoding="utf-8-sig", newline="") as stream:
            rows = [row for row in csv.reader(stream) if row]
        if header:
            columns = {name: i for i, name in enumerate(rows[0])}
            rows = rows[1:]
        else:
            columns = {name: i for i, name in enumerate(
                ("name", "abbreviation", "parent", "red", "green", "blue", "id",
                 "database_id", "order", "level"))}

        def field(row, name, default=""):
            i = columns.get(name)
            return row[i] if i is not None and i < len(row) else default

        def number(text):
            try:
                return int(text)
            except ValueError:
                return 0

        labels = []
        for i, row in enumerate(rows, start=1):
            database_id = number(field(row, "database_id", "0"))
            parent = field(row, "parent")
            parent_ref = number(parent) if header else parent
            labels.append(Label(i, field(row, "abbreviation"), field(row, "name"),
                                number(field(row, "id", "0")) & 0xFFFF, database_id,
                                parent_ref,
                                tuple(number(field(row, c, "128")) & 0xFF for c in ("red", "green", "blue"))))
        return cls(labels)

    def subtree(self, label):
        out = []
        stack = [label]
        while stack:
            node = stack.pop()
            out.append(node)
            stack.extend(node.children)
        return out

    def root(self):
        for label in self.labels:
            if label.parent is None:
                return label
        return None


class Space:
    def __init__(self, atlas, index, element):
        self.atlas = atlas
        self.index = index
        self.name = element.get("name", "")
        self.id = int(element.get("id", "0") or 0)
        self.view_dims = [1, 1, 1]
        self.view_res = [1.0, 1.0, 1.0]
        self.atlas_dims = [1, 1, 1]
        self.atlas_res = [1.0, 1.0, 1.0]
        self.invert = False
        for volume, dims, res in (("view-volume", "view_dims", "view_res"),
                                  ("tissue-volume", "atlas_dims", "atlas_res")):
            node = element.find(volume)
            if node is None:
                continue
            if volume == "tissue-volume":
                self.invert = node.get("invert") == "true"
            size = node.find("size")
            spacing = node.find("pixel-spacing")
            if size is not None:
                setattr(self, dims, [int(size.get(a, "1")) for a in ("width", "height", "depth")])
            if spacing is not None:
                setattr(self, res, [float(spacing.get(a, "1")) for a in ("width", "height", "depth")])
        self.path = os.path.join(atlas.path, "Spaces", self.name)
        self._lock = threading.Lock()
        self._annotation = None
        self._reference = None
        self._image_lists = None

    @property
    def voxel_count(self):
        return self.view_dims[0] * self.view_dims[1] * self.view_dims[2]

    def _read_volume(self, name):
        """A raw volume of the space folder on the full atlas grid, as a flat sequence."""
        path = os.path.join(self.path, name)
        if not os.path.isfile(path):
            return None
        n = self.atlas_dims[0] * self.atlas_dims[1] * self.atlas_dims[2]
        size = os.path.getsize(path)
        if n == 0 or size not in (n, 2 * n):
            return None
        values = array("B" if size == n else "H")
        with open(path, "rb") as stream:
            values.frombytes(stream.read())
        if values.itemsize == 2 and sys.byteorder != "little":
            values.byteswap()
        return values

    def _resample_to_view(self, full):
        """Nearest-neighbour resampling of a full-grid volume onto the view grid."""
        maps = []
        for k in range(3):
            ratio = self.view_res[k] / self.atlas_res[k]
            maps.append([min(int(i * ratio + ratio * 0.5), self.atlas_dims[k] - 1)
                         for i in range(self.view_dims[k])])
        ax, ay = self.atlas_dims[0], self.atlas_dims[0] * self.atlas_dims[1]
        out = array(full.typecode)
        for z in maps[2]:
            for y in maps[1]:
                row = z * ay + y * ax
                out.extend(full[row + x] for x in maps[0])
        return out

    def annotation(self):
        """Annotation values on the view grid (x fastest); zeros when the atlas has none."""
        with self._lock:
            if self._annotation is None:
                full = self._read_volume("Annotation")
                if full is None:
                    self._annotation = array("H", bytes(2 * self.voxel_count))
                else:
                    self._annotation = self._resample_to_view(full)
            return self._annotation

    def reference(self):
        """The reference (Nissl) volume on the full atlas grid, or None."""
        with self._lock:
            if self._reference is None:
                self._reference = self._read_volume("Atlas") or array("B")
            return self._reference if len(self._reference) else None

    def image_lists(self):
        with self._lock:
            if self._image_lists is None:
                lists = {}
                for plane, name in ((0, "coronal_images.xml"), (1, "sagittal_images.xml")):
                    path = os.path.join(self.path, name)
                    if os.path.isfile(path):
                        try:
                            lists[plane] = ImageList.load(path, plane)
                        except (ET.ParseError, AtlasError, ValueError):
                            pass
                self._image_lists = lists
            return self._image_lists

    def structure_voxels(self):
        """Map from annotation value to the number of view voxels it marks."""
        counts = {}
        for value in self.annotation():
            counts[value] = counts.get(value, 0) + 1
        return counts


class UrlBlock:
    def __init__(self, project, base):
        self.project = project
        self.base = base
        self.templates = {}


class Atlas:
    def __init__(self, path):
        self.path = os.path.abspath(path)
        info = os.path.join(self.path, "Info.xml")
        try:
            root = ET.parse(info).getroot()
        except (OSError, ET.ParseError) as error:
            raise AtlasError("cannot read %s: %s" % (info, error))
        atlas_node = root if root.tag in ("atlas", "atlas-info") else root.find(".//atlas")
        if atlas_node is None:
            atlas_node = root.find(".//atlas-info")
        if atlas_node is None:
            raise AtlasError("no atlas element in " + info)
        self.name = atlas_node.get("name", "")
        self.project = atlas_node.get("project", "")
        self.id = int(atlas_node.get("id", "0") or 0)
        self.version = int(atlas_node.get("version", "0") or 0)
        self.min_app_version = int(atlas_node.get("min-app-version", "0") or 0)
        if not self.name or self.id <= 0:
            raise AtlasError("incomplete Info.xml in " + self.path)
        self.spaces = [Space(self, i, node) for i, node in enumerate(root.iter("space"))]
        if not self.spaces:
            raise AtlasError("no space in " + info)
        self.url_blocks = self._read_urls(root)
        self._ontology = None
        self._lock = threading.Lock()

    def _read_urls(self, root):
        """The URL blocks as the program reads them: in document order, a host known only from
        its definition on, a "key" attribute naming the host of the next URL element, and the
        element's text taken as it stands."""
        blocks = []
        hosts = {}
        key = ""
        for urls in root.iter("urls"):
            block = UrlBlock(urls.get("project") or self.project, urls.get("base", ""))
            key = urls.get("key", key)
            for child in urls:
                if child.tag == "host":
                    name, host = child.get("key", ""), child.get("host", "")
                    if name and host and name not in hosts:
                        hosts[name] = host
                    continue
                if child.tag in _NO_KEY_ELEMENTS:
                    continue
                key = child.get("key", key)
                field = "geneSearch" if child.tag == "dataSearch" else child.tag
                if field in URL_FIELDS:
                    block.templates[field] = rewrite_template(child.text or "", block.base, hosts, key)
                    key = ""
            blocks.append(block)
        return blocks

    def ontology(self):
        with self._lock:
            if self._ontology is None:
                self._ontology = Ontology.load(self.path)
            return self._ontology

    def space(self, name):
        for space in self.spaces:
            if space.name == name:
                return space
        return None

    def block(self, project):
        for block in self.url_blocks:
            if block.project == project:
                return block
        return self.url_blocks[0] if self.url_blocks and not project else None

    @property
    def host_path(self):
        """The path of the host that the program puts before the requests it builds itself."""
        if not self.url_blocks:
            return ""
        return urlsplit(self.url_blocks[0].base).path.rstrip("/")

    @property
    def has_projection_search(self):
        return self.id in (310, 378) and any(
            b.project == PROJECTION_PROJECT_CODE for b in self.url_blocks)

    @property
    def has_integrated_search(self):
        return self.id in (310, 350, 378)


def find_atlases(folders):
    """Every atlas folder directly in (or being) one of the folders, by id; the first of an id wins."""
    found = {}
    for folder in folders:
        candidates = [folder] if os.path.isfile(os.path.join(folder, "Info.xml")) else [
            os.path.join(folder, entry) for entry in sorted(os.listdir(folder))]
        for candidate in candidates:
            if not os.path.isfile(os.path.join(candidate, "Info.xml")):
                continue
            try:
                atlas = Atlas(candidate)
            except AtlasError as error:
                print("skipping %s: %s" % (candidate, error), file=sys.stderr)
                continue
            found.setdefault(atlas.id, atlas)
    return [found[key] for key in sorted(found)]
