"""The demo data server: routing, answers, the request log and fault injection."""

import html
import io
import itertools
import json
import os
import re
import socket
import sys
import threading
import time
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from . import datasets, faults, hostile, microarray, search, volumes, zoomify
from .atlas import PROJECTION_PROJECT_CODE, find_atlases
from .catalogue import AtlasCatalogue
from .templates import Template, split_request

TAV_IMAGE_SIZE = (133, 81, 115)
WAXHOLM_TAV_SIZE = (67, 41, 58)
APP_SCHEME = "corv"
SEARCH_ALL_LIMIT = 200
TRICKLE_CHUNK = 16
TRICKLE_PAUSE = 0.25
TRICKLE_LIMIT = 30.0

_TILE = re.compile(r"(.*)/TileGroup\d*/(\d+)-(\d+)-(\d+)\.jpg\Z", re.DOTALL)
_PROPERTIES = re.compile(r"(.*)/ImageProperties\.xml\Z", re.DOTALL)
# The catalogue and its packages, at the root or under a path prefix.
_CATALOGUE = re.compile(r"((?:/[^/]+)*?)/Corvane2/(atlases\.xml|packages/[^/]+)\Z")
DATA_MODES = ("visualize", "thumbnail", "raw", "raw8")
BROWSER_FIELDS = ("imageSeriesDisplay", "imageViewer", "atlasImageViewer", "multiExperimentViewer")


class HttpError(Exception):
    def __init__(self, status, message):
        Exception.__init__(self, message)
        self.status = status


class Answer:
    def __init__(self, body, content_type, status=200):
        self.body = body
        self.content_type = content_type
        self.status = status


def page(title, lines):
    body = "".join("<p>%s</p>\n" % line for line in lines)
    return Answer(("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title></head>\n"
                   "<body><h1>%s</h1>\n%s</body></html>\n" % (html.escape(title), html.escape(title), body)
                   ).encode("utf-8"), "text/html; charset=utf-8")


# Every number of the protocol (ids, counts, coordinates, pixels) fits in 32 bits; a longer one would
# only overflow later, as a float or an array size, and answer 500 instead of 400.
_INT_DIGITS = 10
_INT_LIMIT = 2 ** 31


def _int(text, what):
    digits = (text or "").strip().lstrip("+-")
    if len(digits) > _INT_DIGITS:
        raise HttpError(400, "%s is out of range: %r..." % (what, text[:20]))
    try:
        value = int(text)
    except (TypeError, ValueError):
        raise HttpError(400, "%s is not a number: %r" % (what, text))
    if not -_INT_LIMIT <= value < _INT_LIMIT:
        raise HttpError(400, "%s is out of range: %r" % (what, text))
    return value


def _split(target):
    """(path, query) of a request target; a target that does not parse is the client's fault."""
    try:
        return split_request(target)
    except ValueError as error:
        raise HttpError(400, "Unreadable request target: %s" % error)


class DemoData:
    """The atlases with their synthetic catalogues, packages and routes."""

    def __init__(self, folders, log_path=None):
        self.atlases = find_atlases(folders)
        self.by_id = {a.id: a for a in self.atlases}
        self.log_path = log_path
        self._log_lock = threading.Lock()
        self._lock = threading.Lock()
        # Zipping a large atlas takes seconds: the searches that wait for a catalogue do not wait for it.
        self._package_lock = threading.Lock()
        self._catalogues = {}
        self._packages = {}
        self._images = None
        # Faults armed by "/demo/fault": [path text, kind, requests left], first match first.
        self._armed = []
        self._armed_lock = threading.Lock()
        self.routes = []
        for atlas in self.atlases:
            for block in atlas.url_blocks:
                for field, url in block.templates.items():
                    if "%" in url or field in BROWSER_FIELDS:
                        self.routes.append((Template(url), atlas, block, field))
        # More literal text first, so that a specific template wins over a general one.
        self.routes.sort(key=lambda r: (-len(r[0].query), -r[0].literal_length))

    # -- lazily built state ---------------------------------------------------

    def catalogue(self, atlas):
        with self._lock:
            if atlas.id not in self._catalogues:
                self._catalogues[atlas.id] = AtlasCatalogue(atlas)
            return self._catalogues[atlas.id]

    def all_catalogues(self):
        return {a.id: self.catalogue(a) for a in self.atlases}

    def images(self):
        catalogues = self.all_catalogues()
        with self._lock:
            if self._images is None:
                self._images = zoomify.ImageIndex(self.atlases, catalogues)
            return self._images

    def package(self, atlas):
        with self._package_lock:
            if atlas.id not in self._packages:
                self._packages[atlas.id] = self._zip_folder(atlas.path)
            return self._packages[atlas.id]

    @staticmethod
    def _zip_folder(root):
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
            for folder, subfolders, files in os.walk(root):
                subfolders.sort()
                relative = os.path.relpath(folder, root)
                if relative == ".":
                    # Derived caches are rebuilt by the program after installing.
                    subfolders[:] = [s for s in subfolders if s != "Local"]
                for name in sorted(files):
                    if name == "Atlas" and os.path.dirname(relative) == "Spaces" and os.path.isdir(
                            os.path.join(folder, "AtlasSlices")):
                        # The installer rebuilds the reference volume from its slices.
                        continue
                    path = os.path.join(folder, name)
                    archive.write(path, os.path.relpath(path, root).replace(os.sep, "/"))
        return buffer.getvalue()

    def warm_up(self):
        """Builds catalogues and packages ahead of the first requests, which wait for them otherwise."""
        for atlas in self.atlases:
            try:
                self.catalogue(atlas)
                self.package(atlas)
            except Exception as error:  # the request that needs it reports it
                print("Could not prepare %s: %s" % (atlas.name, error), file=sys.stderr)

    def find_data_set(self, sid):
        for atlas in self.atlases:
            catalogue = self.catalogue(atlas)
            if sid in catalogue.series:
                return catalogue, catalogue.series[sid], None
            if sid in catalogue.projections:
                return catalogue, None, catalogue.projections[sid]
        return None, None, None

    def first_data_set_id(self, atlas=None, block=None):
        """The data set that a reserved id stands for: one the requesting atlas and project can
        decode, so that faults which keep the bytes whole (slow, chunked) still deliver data."""
        if atlas is not None:
            catalogue = self.catalogue(atlas)
            projection = atlas.has_projection_search and block is not None and \
                block.project == PROJECTION_PROJECT_CODE
            ids = catalogue.projections if projection else catalogue.series
            if ids:
                return min(ids)
        for atlas in self.atlases:
            catalogue = self.catalogue(atlas)
            if catalogue.series:
                return min(catalogue.series)
        raise HttpError(404, "No data sets")

    def log(self, entry):
        if not self.log_path:
            return
        with self._log_lock, open(self.log_path, "a", encoding="utf-8") as stream:
            stream.write(json.dumps(entry) + "\n")

    def arm_fault(self, query):
        """Arms "/demo/fault?kind=<kind>&path=<text>&count=<n>": the next n requests whose path contains
        the text get the fault (for URLs that the program builds and a test cannot mark); "kind=none"
        disarms every fault."""
        values = dict(query)
        kind = values.get("kind", "")
        if kind == "none":
            with self._armed_lock:
                self._armed = []
            return Answer(b"disarmed\n", "text/plain")
        if kind not in faults.KINDS:
            raise HttpError(400, "No fault kind %r" % kind)
        count = _int(values.get("count", "1"), "count")
        if count < 1:
            raise HttpError(400, "count must be positive")
        with self._armed_lock:
            self._armed.append([values.get("path", ""), kind, count])
        return Answer(b"armed\n", "text/plain")

    def take_armed_fault(self, path):
        """The armed fault of a request path, used up by this request; None when none is armed."""
        with self._armed_lock:
            for entry in self._armed:
                if entry[0] in path:
                    entry[2] -= 1
                    if entry[2] == 0:
                        self._armed.remove(entry)
                    return entry[1]
        return None

    # -- answers ---------------------------------------------------------------

    def atlas_list(self, base_url):
        lines = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<atlases>"]
        for atlas in self.atlases:
            size = len(self.package(atlas))
            lines.append("  <atlas name=%s id=\"%d\" version=\"%d\" size=\"%d\" minAppVersion=\"%d\" "
                         "datePublished=\"2020-01-01\" url=%s/>" % (
                             _attr(atlas.name), atlas.id, atlas.version, size, atlas.min_app_version,
                             _attr("%s/Corvane2/packages/%d-%d.zip" % (base_url, atlas.id, atlas.version))))
        lines.append("</atlases>")
        return Answer("\n".join(lines).encode("utf-8"), "application/xml")

    def catalogue_route(self, prefix, rest, base_url):
        """The catalogue and the packages, also under a path prefix (a fault piece applies to both)."""
        if prefix == hostile.PREFIX:
            if rest == "atlases.xml":
                return Answer(hostile.catalogue(base_url + prefix), "application/xml")
            body = hostile.package(rest[len("packages/"):-len(".zip")]) if rest.endswith(".zip") else None
            if body is None:
                raise HttpError(404, "No such atlas package")
            return Answer(body, "application/zip")
        if rest == "atlases.xml":
            return self.atlas_list(base_url + prefix)
        match = re.match(r"packages/(\d+)-(\d+)\.zip\Z", rest)
        atlas = self.by_id.get(int(match.group(1))) if match else None
        if atlas is None or atlas.version != int(match.group(2)):
            raise HttpError(404, "No such atlas package")
        return Answer(self.package(atlas), "application/zip")

    @staticmethod
    def appcast(base_url):
        text = ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
                "<channel><title>Corvane</title><link>%s/Corvane2/mac-appcast.xml</link>"
                "<description>Corvane updates</description><language>en</language>\n"
                "<item><title>Corvane 2.0.0</title><pubDate>Wed, 01 Jan 2020 00:00:00 +0000</pubDate>"
                "<enclosure url=\"%s/demo/corvane-2.0.0.tar.gz\" sparkle:version=\"200\" "
                "sparkle:shortVersionString=\"2.0.0\" length=\"0\" type=\"application/octet-stream\"/>"
                "</item>\n</channel></rss>\n" % (base_url, base_url))
        return Answer(text.encode("utf-8"), "application/rss+xml")

    def data_set(self, sid, mode, base_url):
        catalogue, series, experiment = self.find_data_set(sid)
        if catalogue is None:
            raise HttpError(404, "No data set %d" % sid)
        if mode in ("raw", "raw8"):
            if series is None:
                raise HttpError(404, "No raw grid for projection %d" % sid)
            dims = self.raw_grid_dims()
            grid = (volumes.raw_float_grid(series, dims) if mode == "raw"
                    else volumes.raw_byte_grid(series, dims))
            return Answer(grid, "application/octet-stream")
        light = mode == "thumbnail"
        if series is not None:
            body = datasets.gene_zip(series, light, base_url)
        else:
            body = datasets.projection_zip(experiment, catalogue.structures, light, base_url)
        return Answer(body, "application/zip")

    def raw_grid_dims(self):
        """A bare grid carries no space of its own: the program reads every one on space "P56" of
        the atlas with project "0310", at the fixed size when that atlas is 310."""
        for atlas in self.atlases:
            if atlas.project == "0310":
                if atlas.id == 310:
                    return TAV_IMAGE_SIZE
                space = atlas.space("P56")
                return tuple(space.view_dims) if space is not None else None
        return None

    def search(self, atlas, block, field, args, base_url):
        catalogue = self.catalogue(atlas)
        projection = atlas.has_projection_search and block.project == PROJECTION_PROJECT_CODE
        if len(args) >= 3:
            start, count, rest = _int(args[0], "start"), _int(args[1], "page size"), args[2:]
        else:
            start, count, rest = 0, SEARCH_ALL_LIMIT, args
        if field == "geneSearch":
            term = faults.without_fault_words(rest[0] if rest else "")
            if not atlas.has_integrated_search:
                return self.search_page(atlas, catalogue, term, base_url)
            if projection and not _names_structure(term):
                projection, results = False, self.connectivity_gene_matches(term)
            else:
                results = catalogue.projection_matches(term) if projection else catalogue.gene_matches(term)
        elif field == "correlationSearch":
            seed = _int(rest[0] if rest else "", "seed")
            if projection:
                projection, results = self.similar_to(seed)
            else:
                results = catalogue.similar(seed)
        else:
            if len(rest) < 2:
                raise HttpError(400, "Differential search needs two structures")
            a, b = _int(rest[0], "structure"), _int(rest[1], "structure")
            results = catalogue.projections_into(a, b) if projection else catalogue.differential(a, b)
        if projection:
            return Answer(search.projection_xml(results, start, count), "application/xml")
        return Answer(search.gene_xml(results, start, count), "application/xml")

    def connectivity_gene_matches(self, term):
        """The connectivity atlas searches genes through its only block, "0378", the same request as
        the projection searches of the adult atlas; its genes are those of the atlas whose first block
        that is."""
        for atlas in self.atlases:
            if atlas.url_blocks and atlas.url_blocks[0].project == PROJECTION_PROJECT_CODE:
                return self.catalogue(atlas).gene_matches(term)
        return []

    def similar_to(self, seed):
        """(projection mode, results) of a similarity search on the projection block: the seed is
        a projection experiment or a gene series of the connectivity atlas."""
        catalogue, series, experiment = self.find_data_set(seed)
        if series is not None:
            return False, catalogue.similar(seed)
        if experiment is not None:
            return True, catalogue.similar_projections(seed)
        return True, []

    def search_page(self, atlas, catalogue, term, base_url):
        """Atlases that do not search in the program show their results in the browser."""
        host = base_url.split("://", 1)[-1]
        lines = ["Search for %s in %s" % (html.escape(term), html.escape(atlas.name))]
        if atlas.id == 351:
            # Each link also selects the first sample of the first donor, as a request from the web does.
            donor = atlas.spaces[0]
            samples = microarray.donor_samples(donor)
            selection = "&selectedDonor=%d&well=%d" % (donor.id, samples[0].well) if samples else ""
            for probe in catalogue.probe_matches(term)[:50]:
                link = "%s://%s/demo/microarray?atlas=351&probes=%d%s" % (APP_SCHEME, host, probe.id, selection)
                lines.append("<a href=\"%s\">%s %s (probe %s)</a>" % (
                    html.escape(link), html.escape(probe.gene.symbol), html.escape(probe.gene.name),
                    html.escape(probe.name)))
        else:
            for series, _ in catalogue.gene_matches(term)[:50]:
                link = "%s://%s/demo/data?atlas=%d&datasets=%d" % (APP_SCHEME, host, atlas.id, series.id)
                lines.append("<a href=\"%s\">%s, image series %d</a>" % (
                    html.escape(link), html.escape(series.gene.symbol), series.id))
        return page("Search results", lines)

    def correlation(self, probe_space_name, seed, age, host_path=""):
        """The program asks on the host of an atlas's first URL block; atlases whose requests would
        otherwise read alike (the rat atlas and the mouse atlases, for P56) have their own path there."""
        probe_space = view_space = None
        for atlas in self.atlases:
            if atlas.host_path != host_path:
                continue
            probe_space = probe_space or atlas.space(probe_space_name)
            view_space = view_space or atlas.space(age)
        if probe_space is None or view_space is None:
            raise HttpError(404, "No space %s or %s" % (probe_space_name, age))
        pieces = seed.split(",")
        if len(pieces) != 3:
            raise HttpError(400, "seed needs three coordinates")
        seed_um = [_int(p, "seed") for p in pieces]
        dims = WAXHOLM_TAV_SIZE if view_space.atlas.id == 50000 else None
        grid, _ = volumes.correlation_grid(probe_space, seed_um, view_space, dims)
        return Answer(datasets.correlation_zip(grid), "application/zip")

    def projection_map(self, probe_space_name, seed_point, seed_age):
        pieces = seed_point.split(",")
        if len(pieces) != 3:
            raise HttpError(400, "seedPoint needs three coordinates")
        seed_um = [_int(p, "seedPoint") for p in pieces]
        lines = []
        for atlas in self.atlases:
            space = atlas.space(seed_age)
            if space is None or not atlas.has_projection_search:
                continue
            catalogue = self.catalogue(atlas)
            ranked = sorted(catalogue.projections.values(),
                            key=lambda p: (p.id * 2654435761 + sum(seed_um)) % 1000003)[:12]
            for experiment in ranked:
                lines.append(_projection_line(experiment, seed_um, space))
        return Answer(json.dumps({"success": True, "msg": lines}).encode("utf-8"), "application/json")

    def microarray(self, query):
        values = dict(query)
        ids = [p for p in values.get("probes", "").split(",") if p]
        atlas = self.by_id.get(_int(values.get("atlas", "351"), "atlas")) or next(
            (a for a in self.atlases if a.id == 351), None)
        if atlas is None:
            raise HttpError(404, "No microarray atlas")
        catalogue = self.catalogue(atlas)
        probes = [catalogue.probes[int(p)] for p in ids if p.isdigit() and int(p) in catalogue.probes]
        return Answer(microarray.microarray_json(atlas, probes), "application/json")

    def zoomify(self, base):
        """Image path of a Zoomify base URL, from the atlases' image-tile templates."""
        path, query = _split(base)
        for atlas in self.atlases:
            for block in atlas.url_blocks:
                url = block.templates.get("imageTile")
                if url and "%" in url:
                    args = Template(url).match(path, query)
                    if args:
                        return args[0]
        raise HttpError(404, "No image at " + base)

    def region(self, args, query):
        text = args[0] if args else ""
        pieces = text.split("&")
        params = dict(p.partition("=")[::2] for p in pieces[1:])
        params.update(dict(query))
        image = self.images()
        path, _ = faults.split_image_path(pieces[0])
        try:
            return Answer(image.region(path, _int(params.get("zoom"), "zoom"),
                                       _int(params.get("top"), "top"), _int(params.get("left"), "left"),
                                       _int(params.get("width"), "width"), _int(params.get("height"), "height")),
                          "image/jpeg")
        except zoomify.ImageError as error:
            raise HttpError(404, str(error))

    # -- routing ---------------------------------------------------------------

    def route(self, target, base_url):
        """(answer, texts that may name a fault) for a request target."""
        path, query = _split(target)
        if ".." in path.split("/"):
            raise HttpError(404, "Nothing at " + path)
        if path == "/Corvane2/mac-appcast.xml":
            return self.appcast(base_url), []
        match = _CATALOGUE.match(path)
        if match:
            return self.catalogue_route(match.group(1), match.group(2), base_url), []
        for where in (path, target):
            tile = _TILE.match(where)
            props = _PROPERTIES.match(where)
            if tile or props:
                base = (tile or props).group(1)
                # "<image>/fault-<kind>" serves <image>; the handler finds the fault in the path.
                image_path, _ = faults.split_image_path(self.zoomify(base))
                return self.zoomify_answer(image_path, tile, props)
        for template, atlas, block, field in self.routes:
            args = template.match(path, query)
            if args is None:
                continue
            return self.dispatch(atlas, block, field, args, query, base_url), args
        return self.fixed_route(path, query, base_url), [path]

    def zoomify_answer(self, image_path, tile, props):
        try:
            if props:
                return Answer(self.images().properties(image_path), "application/xml"), [image_path]
            level, col, row = (int(g) for g in tile.groups()[1:])
            return Answer(self.images().tile(image_path, level, col, row), "image/jpeg"), [image_path]
        except zoomify.ImageError as error:
            raise HttpError(404, str(error))

    def dispatch(self, atlas, block, field, args, query, base_url):
        if field == "grid":
            if not args:
                raise HttpError(404, "Grid template without data-set id")
            sid = _int(args[0], "data-set id")
            if sid in faults.RESERVED_IDS:
                sid = self.first_data_set_id(atlas, block)
            mode = args[1] if len(args) > 1 else "visualize"
            if mode not in DATA_MODES:
                raise HttpError(404, "No data-set form " + mode)
            return self.data_set(sid, mode, base_url)
        if field in ("geneSearch", "differentialSearch", "correlationSearch"):
            return self.search(atlas, block, field, args, base_url)
        if field == "imageService":
            return self.region(args, query)
        if field == "imageTile":
            raise HttpError(404, "Image tiles are under TileGroup")
        return page("%s of %s" % (field, atlas.name),
                    ["%s: %s" % (html.escape(k), html.escape(v)) for k, v in
                     [("argument %d" % (i + 1), a) for i, a in enumerate(args)] + list(query)])

    def fixed_route(self, path, query, base_url):
        values = dict(query)
        match = re.match(r"(/.*)?/kest/data/([^/]+)/download\Z", path)
        if match:
            return self.correlation(match.group(2), values.get("seed", ""), values.get("age", match.group(2)),
                                    match.group(1) or "")
        match = re.match(r"/data/([^/]+)/projection_map/target\Z", path)
        if match:
            return self.projection_map(match.group(1), values.get("seedPoint", ""),
                                       values.get("seedAge", match.group(1)))
        if path == "/demo/microarray":
            return self.microarray(query)
        match = re.match(r"/demo/(data|thumbnail|raw|raw8)/(\d+)\Z", path)
        if match:
            sid = int(match.group(2))
            if sid in faults.RESERVED_IDS:
                sid = self.first_data_set_id()
            mode = {"data": "visualize", "thumbnail": "thumbnail"}.get(match.group(1), match.group(1))
            return self.data_set(sid, mode, base_url)
        match = re.match(r"/demo/experiment/(\d+)\Z", path)
        if match:
            return page("Experiment %s" % match.group(1), [
                "<a href=\"%s/demo/data/%s\">Download the data set</a>" % (base_url, match.group(1))])
        if path.startswith("/kest/all_coronal") or path.startswith("/confluence/") or path == "/":
            return page("Corvane demo server", ["%s %s" % (html.escape(k), html.escape(v)) for k, v in query]
                        + ["Atlases: " + ", ".join(html.escape(a.name) for a in self.atlases)])
        raise HttpError(404, "Nothing at " + path)


def _names_structure(term):
    """Projections are searched by a structure's database id (or by nothing); any other term of the
    projection block's gene search is a gene search of the connectivity atlas."""
    return re.fullmatch(r"[0-9]*", term) is not None


def _attr(text):
    return "\"%s\"" % html.escape(text, quote=True)


def _projection_line(experiment, seed_um, space):
    """One projection experiment's path from the seed to its injection site, in micrometres."""
    res = space.view_res
    injection = volumes.structure_centroid(space, experiment.structure)
    end = [injection[k] * res[k] for k in range(3)]
    steps = 8
    path = []
    for i in range(steps + 1):
        t = i / steps
        point = [int(round(seed_um[k] + (end[k] - seed_um[k]) * t)) for k in range(3)]
        path.append({"coord": point, "density": round(0.9 - 0.5 * t, 3), "intensity": round(900 - 600 * t, 1)})
    label = experiment.structure
    return {"id": experiment.id, "density": experiment.score,
            "injection-structures": [{"id": label.database_id if label else 0,
                                      "abbreviation": label.abbreviation if label else "",
                                      "density": experiment.score}],
            "path": path}


def _error_answer(error):
    answer = page("Error %d" % error.status, [html.escape(str(error))])
    answer.status = error.status
    return answer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "CorvaneDemo/1.0"
    # Idle keep-alive connections must not hold their threads for ever.
    timeout = 120
    # Headers and body go out in separate writes: with Nagle's algorithm the body would wait for the
    # client's delayed acknowledgement of the headers (40 ms per answer on a reused connection).
    disable_nagle_algorithm = True

    def setup(self):
        BaseHTTPRequestHandler.setup(self)
        # The log numbers connections, so that a client's reuse of them (keep-alive) can be counted.
        self.connection_number = self.server.next_connection_number()

    def log_message(self, fmt, *args):
        if not self.server.quiet:
            BaseHTTPRequestHandler.log_message(self, fmt, *args)

    @property
    def base_url(self):
        return "http://127.0.0.1:%d" % self.server.server_address[1]

    def do_GET(self):
        data = self.server.data
        try:
            path, query = _split(self.path)
        except HttpError as error:
            data.log({"method": "GET", "path": self.path, "query": "",
                      "user_agent": self.headers.get("User-Agent", ""), "connection": self.connection_number})
            self._send(_error_answer(error), None)
            return
        if path == "/demo/log":
            self._send(Answer(_read(data.log_path), "application/x-ndjson"), None)
            return
        if path == "/demo/fault":
            try:
                answer = data.arm_fault(query)
            except HttpError as error:
                answer = _error_answer(error)
            self._send(answer, None)
            return
        data.log({"method": "GET", "path": path, "query": self.path.partition("?")[2],
                  "user_agent": self.headers.get("User-Agent", ""), "connection": self.connection_number})
        fault = data.take_armed_fault(path) or faults.detect(query, [path])
        try:
            answer, texts = data.route(self.path, self.base_url)
            fault = fault or faults.detect([], texts)
        except HttpError as error:
            fault = fault if fault in ("404", "500") else None
            answer = _error_answer(error)
        except Exception as error:  # a fault of the server must not end it
            answer = page("Error 500", [html.escape("%s: %s" % (type(error).__name__, error))])
            answer.status = 500
        self._send(answer, fault)

    def do_POST(self):
        self._refuse()

    do_PUT = do_DELETE = do_HEAD = do_POST

    def _refuse(self):
        self.server.data.log({"method": self.command, "path": self.path.partition("?")[0],
                              "query": self.path.partition("?")[2],
                              "user_agent": self.headers.get("User-Agent", ""),
                              "connection": self.connection_number})
        answer = page("Method not allowed", ["Only GET is served."])
        answer.status = 405
        # The request's body is not read: the connection cannot carry another request.
        self.close_connection = True
        self._send(answer, None)

    def _send(self, answer, fault):
        body, content_type, status = answer.body, answer.content_type, answer.status
        chunked = slow = False
        if fault in ("404", "500"):
            status = int(fault)
            body, content_type = page("Error " + fault, ["Injected fault."]).body, "text/html; charset=utf-8"
        elif fault == "html":
            body, content_type = faults.HTML_BODY, "text/html; charset=utf-8"
        elif fault == "truncated":
            body = faults.truncate(body)
        elif fault == "badcrc":
            body = faults.bad_crc(body)
        elif fault == "malformed":
            body = faults.malformed(body, content_type)
        elif fault == "chunked":
            chunked = True
        elif fault == "slow":
            slow = True
        try:
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            if chunked:
                self.send_header("Transfer-Encoding", "chunked")
            else:
                self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if chunked:
                for i in range(0, len(body), 4096):
                    piece = body[i:i + 4096]
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.write(b"0\r\n\r\n")
            elif slow:
                self._trickle(body)
            else:
                self.wfile.write(body)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, socket.timeout):
            self.close_connection = True

    def _trickle(self, body):
        """Small pieces with pauses, so that a client can abort in the middle."""
        deadline = time.monotonic() + TRICKLE_LIMIT
        for i in range(0, len(body), TRICKLE_CHUNK):
            if time.monotonic() > deadline:
                self.wfile.write(body[i:])
                return
            self.wfile.write(body[i:i + TRICKLE_CHUNK])
            self.wfile.flush()
            time.sleep(TRICKLE_PAUSE)


def _read(path):
    if not path or not os.path.exists(path):
        return b""
    with open(path, "rb") as stream:
        return stream.read()


class DemoServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    # A page of thumbnails opens its connections all at once; with the standard backlog of 5 the kernel
    # drops the surplus and the clients wait a second before trying again.
    request_queue_size = 64

    def __init__(self, data, port, quiet=True):
        self.data = data
        self.quiet = quiet
        self._connection_numbers = itertools.count(1)
        self._connection_lock = threading.Lock()
        ThreadingHTTPServer.__init__(self, ("127.0.0.1", port), Handler)

    def next_connection_number(self):
        with self._connection_lock:
            return next(self._connection_numbers)

    def handle_error(self, request, client_address):
        # A client that leaves in the middle of an answer (an abort) is normal here.
        error = sys.exc_info()[1]
        if isinstance(error, (ConnectionError, socket.timeout)):
            return
        ThreadingHTTPServer.handle_error(self, request, client_address)

