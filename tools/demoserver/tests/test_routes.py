"""Every route's answer, read back with independent parsers (zipfile, xml.etree, json, struct)."""

import http.client
import io
import json
import math
import os
import socket
import struct
import unittest
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile

import fixture
import support
from demoserver import datasets, volumes
from demoserver.server import Handler

VIEW = (12, 8, 10)
N = VIEW[0] * VIEW[1] * VIEW[2]

server = None
folder = None


def setUpModule():
    global server, folder
    folder = support.temporary_folder()
    fixture.write_atlases(folder.name)
    server = support.RunningServer([folder.name], os.path.join(folder.name, "requests.log"))


def tearDownModule():
    server.stop()
    folder.cleanup()


def view_label(i):
    """The fixture's annotation value of view voxel i (view voxel k covers atlas voxel 2k + 1)."""
    x, y, z = i % VIEW[0], (i // VIEW[0]) % VIEW[1], i // (VIEW[0] * VIEW[1])
    ax, ay, az = 2 * x + 1, 2 * y + 1, 2 * z + 1
    if not (2 <= ax < 22 and 2 <= ay < 14 and 2 <= az < 18):
        return 0
    return 2 if ay < 6 else 4 if ax < 12 else 5


def records(xml_bytes, record_path, fields):
    """Records the way the program's streaming reader collects them: by parent/element paths."""
    root = ET.fromstring(xml_bytes)
    out = []
    state = {}

    def walk(node, parent):
        for child in node:
            walk(child, node)
            path = "%s/%s" % (node.tag, child.tag)
            if path in fields:
                state[fields[path]] = child.text or ""
            elif path == record_path:
                out.append(dict(state))
            if child.tag == "gene":
                state.clear()
    walk(root, None)
    return root, out


GENE_FIELDS = {"gene/id": "gene", "image-series/id": "id", "gene/gene-symbol": "symbol",
               "gene/name": "name", "image-series/storage-directory": "storage",
               "image-series/plane-of-section": "plane", "image-series/score": "score",
               "image-series/age": "age", "image-series/correlation-search-available": "correlation"}
PROJECTION_FIELDS = {"data-set/structure-id": "structure", "data-set/id": "id",
                     "data-set/abbreviation": "symbol", "data-set/name": "name",
                     "section-data-set/storage-directory": "storage", "data-set/score": "score"}


def gene_search(project, start, num, term):
    status, headers, body = server.get("/search/%s/gene?start=%d&num=%d&term=%s" % (project, start, num, term))
    assert status == 200, body
    return records(body, "image-series/image-series", GENE_FIELDS)


class CatalogueTest(unittest.TestCase):
    def test_catalogue_lists_installable_packages(self):
        status, headers, body = server.get("/Corvane2/atlases.xml")
        self.assertEqual(status, 200)
        entries = ET.fromstring(body).findall(".//atlas")
        self.assertEqual(sorted(int(e.get("id")) for e in entries), [310, 350, 351, 378, 50000])
        for entry in entries:
            self.assertTrue(entry.get("name") and int(entry.get("version")) > 0)
            path = entry.get("url").split(str(server.port), 1)[1]
            status, _, package = server.get(path)
            self.assertEqual(status, 200)
            self.assertEqual(len(package), int(entry.get("size")))
            with zipfile.ZipFile(io.BytesIO(package)) as archive:
                self.assertIsNone(archive.testzip())
                names = archive.namelist()
            self.assertIn("Info.xml", names)
            self.assertIn("ontology_v2.csv", names)
            self.assertFalse(any(n.startswith("/") or ".." in n or n.startswith("Local/") for n in names))

    def test_unknown_package_version_is_not_found(self):
        self.assertEqual(server.get("/Corvane2/packages/310-99.zip")[0], 404)

    def test_update_feed(self):
        status, _, body = server.get("/Corvane2/mac-appcast.xml")
        self.assertEqual(status, 200)
        item = ET.fromstring(body).find("channel/item")
        self.assertIsNotNone(item.find("enclosure"))


class SearchTest(unittest.TestCase):
    def test_gene_search_pages(self):
        root, first = gene_search("0310", 0, 10, "")
        total = int(root.get("total-entries"))
        self.assertGreater(total, 20)
        self.assertEqual(len(first), 10)
        root2, second = gene_search("0310", 10, 10, "")
        self.assertEqual(int(root2.get("total-entries")), total)
        self.assertFalse({r["id"] for r in first} & {r["id"] for r in second})
        for record in first + second:
            self.assertEqual(record["age"], "P56")
            self.assertIn(record["plane"], ("coronal", "sagittal"))
            self.assertTrue(record["symbol"] and record["name"] and int(record["gene"]) > 0)
        _, past_end = gene_search("0310", total, 10, "")
        self.assertEqual(past_end, [])

    def test_term_finds_its_gene_first(self):
        _, some = gene_search("0310", 0, 10, "")
        symbol = some[3]["symbol"]
        _, found = gene_search("0310", 0, 10, symbol)
        self.assertEqual(found[0]["symbol"], symbol)
        _, none = gene_search("0310", 0, 10, "nosuchgenename")
        self.assertEqual(none, [])

    def test_structure_term_finds_structure_specific_genes(self):
        _, found = gene_search("0310", 0, 10, "CA1")
        self.assertTrue(found)
        self.assertTrue(all("Field CA1" in r["name"] for r in found))

    def test_enclosing_structure_term_finds_the_genes_inside_it(self):
        # HiF marks no voxel itself: its genes are those of the structures inside it.
        _, found = gene_search("0310", 0, 10, "HiF")
        self.assertTrue(found)
        self.assertTrue(all("Field CA1" in r["name"] for r in found), found)
        _, root = gene_search("0310", 0, 10, "root")
        self.assertEqual(len(root), 10)

    def test_projection_search(self):
        status, _, body = server.get("/search/0378/gene?start=0&num=5&term=")
        root, rows = records(body, "data-sets/data-set", PROJECTION_FIELDS)
        self.assertEqual(root.tag, "data-sets")
        self.assertEqual(len(rows), 5)
        ontology_ids = {s[2] for s in fixture.STRUCTURES}
        for row in rows:
            self.assertIn(int(row["structure"]), ontology_ids)
            self.assertTrue(row["storage"])

    def test_projection_search_by_structure_id(self):
        # Projections from a structure are asked for by its database id; injections into its
        # descendants count (CA1 lies in the hippocampal formation).
        by_id = {s[2]: s[1] for s in fixture.STRUCTURES}
        for term, allowed in (("382", {"CA1"}), ("1089", {"HiF", "CA1"})):
            status, _, body = server.get("/search/0378/gene?start=0&num=50&term=%s" % term)
            root, rows = records(body, "data-sets/data-set", PROJECTION_FIELDS)
            self.assertTrue(rows, term)
            self.assertEqual(int(root.get("total-entries")), len(rows))
            self.assertTrue(all(by_id[int(r["structure"])] in allowed for r in rows), term)

    def test_projections_into_a_structure(self):
        # From the root into the thalamus: experiments whose projection volumes reach it.
        status, _, body = server.get("/search/0378/differential?start=0&num=50&target=997&contrast=549"
                                     "&plane=coronal")
        self.assertEqual(status, 200)
        root, rows = records(body, "data-sets/data-set", PROJECTION_FIELDS)
        self.assertEqual(root.tag, "data-sets")
        self.assertTrue(rows)
        self.assertEqual(int(root.get("total-entries")), len(rows))
        catalogue = server.data.catalogue(server.data.by_id[310])
        thalamus = catalogue.atlas.ontology().by_database_id[549]
        for row in rows:
            experiment = catalogue.projections[int(row["id"])]
            self.assertIn(thalamus, datasets.projection_targets(experiment, catalogue.structures))

    def test_differential_and_similar_gene_searches(self):
        # As the program asks for genes by anatomy: the root first, then the selected structure.
        status, _, body = server.get("/search/0310/differential?start=0&num=50&target=997&contrast=1089"
                                     "&plane=coronal")
        _, rows = records(body, "image-series/image-series", GENE_FIELDS)
        self.assertTrue(rows)
        self.assertTrue(all("Field CA1" in r["name"] or "Hippocampal" in r["name"] for r in rows))
        self.assertTrue(all(r["plane"] == "coronal" for r in rows))
        _, none = records(server.get("/search/0310/differential?start=0&num=50&target=549&contrast=1089"
                                     "&plane=coronal")[2], "image-series/image-series", GENE_FIELDS)
        self.assertEqual(none, [])
        seed = rows[0]["id"]
        status, _, body = server.get("/search/0310/correlation?start=0&num=10&seed=%s&plane=both" % seed)
        _, similar = records(body, "image-series/image-series", GENE_FIELDS)
        self.assertEqual(similar[0]["id"], seed)
        self.assertEqual(len(similar), 10)

    def test_developing_atlas_spreads_over_its_spaces(self):
        _, rows = gene_search("0350", 0, 40, "")
        self.assertEqual({r["age"] for r in rows}, {"E15.5", "P14"})
        status, _, body = server.get("/search/0350/correlation?start=0&num=3&seed=%s" % rows[0]["id"])
        self.assertEqual(status, 200)

    def test_browser_search_of_other_atlases_is_a_page(self):
        status, headers, body = server.get("/search/0351/gene?term=Gn1")
        self.assertEqual(status, 200)
        self.assertTrue(headers["Content-Type"].startswith("text/html"))
        self.assertIn(b"corv://", body)
        self.assertIn(b"probes=1003", body)

    def test_browser_search_links_data_sets_for_url_requests(self):
        status, headers, body = server.get("/rat/search/50000/gene?term=")
        self.assertEqual(status, 200)
        link = body.split(b"href=\"", 1)[1].split(b"\"", 1)[0].decode().replace("&amp;", "&")
        self.assertTrue(link.startswith("corv://127.0.0.1:%d/demo/data?atlas=50000&datasets=" % server.port))
        # The program fetches base/<entry>?<other parameters>.
        entry = link.rsplit("=", 1)[1]
        status, _, data = server.get("/demo/data/%s?atlas=50000" % entry)
        meta = zipfile.ZipFile(io.BytesIO(data)).read("image_series.xml")
        self.assertEqual(ET.fromstring(meta).findtext("project-code"), "50000")

    def test_anatomic_search_finds_the_structures_series_by_their_grids(self):
        def ids(project, term):
            return {int(r["id"]) for r in gene_search(project, 0, 200, urllib.parse.quote(term))[1]}

        series = server.data.catalogue(server.data.by_id[310]).series
        level = {sid: volumes.target_expression(s)[0] for sid, s in series.items()}
        density = {sid: volumes.target_expression(s)[1] for sid, s in series.items()}
        cx, hif = ids("0310", "Cx"), ids("0310", "HiF")
        self.assertTrue(cx and hif)
        # (query, the series it must find, among those of the structure searched by name)
        table = [
            ("structac=HiF[xlevel=1]", {s for s in hif if level[s] < volumes.HIGH_LEVEL}),
            ("structac=HiF[xlevel=2]", {s for s in hif if level[s] >= volumes.HIGH_LEVEL}),
            ("structac=Cx[xdensity=2]", {s for s in cx if density[s] == volumes.DENSE}),
            ("structac=Cx[xdensity=1;xpattern=2]", {s for s in cx if density[s] == volumes.SCATTERED}),
            ("structac=cx[xpattern=1] or structac=HiF[xlevel=2]",
             {s for s in cx if density[s] != volumes.SCATTERED} | {s for s in hif if level[s] >= 215}),
            ("structac=HiF[xlevel=2] and structac=CA1[xdensity=2]",
             {s for s in hif if level[s] >= volumes.HIGH_LEVEL and density[s] == volumes.DENSE}),
            ("structac=TH[xlevel=3]", set()),
            ("structac=TH[size=1]", set()),
            ("structac=TH[xlevel=1", set()),
        ]
        for term, expected in table:
            with self.subTest(term=term):
                self.assertEqual(ids("0310", term), expected)
        self.assertTrue(all(expected for _, expected in table[:6]), "a case that finds nothing proves little")
        # The connectivity atlas answers it through the projection block.
        connectivity = server.data.catalogue(server.data.by_id[378]).series
        found = ids("0378", "structac=HiF[xlevel=1] or structac=HiF[xlevel=2]")
        self.assertTrue(found and found <= set(connectivity))

    def test_bad_numbers_are_refused(self):
        self.assertEqual(server.get("/search/0310/gene?start=abc&num=10&term=x")[0], 400)
        self.assertEqual(server.get("/search/0310/correlation?start=0&num=10&seed=x&plane=both")[0], 400)


def first_series(project="0310", term=""):
    _, rows = gene_search(project, 0, 10, term)
    return next(r for r in rows if r["plane"] == "coronal")


def find_image(trv, images, point):
    """(section, u, v) of the nearest section image as the program's lookup finds it, or None."""
    x, y, z = point
    p0 = trv[0] * x + trv[1] * y + trv[2] * z + trv[9]
    p1 = trv[3] * x + trv[4] * y + trv[5] * z + trv[10]
    s = trv[6] * x + trv[7] * y + trv[8] * z + trv[11]
    ordered = sorted(images)
    zs = [int(section * 25) for section, _ in ordered]
    best = min(range(len(ordered)), key=lambda k: (abs(s - zs[k]), k))
    tolerance = (zs[0] + sum(z - zs[0] for z in zs[1:])) / len(zs)
    if abs(s - zs[best]) > tolerance:
        return None, 0.0, 0.0
    t = ordered[best][1]
    return ordered[best][0], t[0] * p0 + t[1] * p1 + t[4], t[2] * p0 + t[3] * p1 + t[5]


class DataSetTest(unittest.TestCase):
    def _zip(self, path):
        status, headers, body = server.get(path)
        self.assertEqual(status, 200, body[:200])
        archive = zipfile.ZipFile(io.BytesIO(body))
        self.assertIsNone(archive.testzip())
        return archive

    def test_full_gene_data_set_lights_its_structure(self):
        record = first_series(term="CA1")
        archive = self._zip("/grid/0310/%s/visualize" % record["id"])
        self.assertEqual(sorted(archive.namelist()), ["data_set.xml", "density.raw", "intensity.raw"])
        meta = ET.fromstring(archive.read("data_set.xml"))
        self.assertEqual(meta.tag, "section-data-set")
        self.assertEqual(meta.findtext("id"), record["id"])
        self.assertEqual(meta.findtext("product/id"), "0310")
        self.assertEqual(meta.findtext("genes/gene/acronym"), record["symbol"])
        self.assertTrue(meta.findall("section-images/section-image"))
        density = struct.unpack("<%dH" % N, archive.read("density.raw"))
        intensity = archive.read("intensity.raw")
        self.assertEqual(len(intensity), N)
        inside = [intensity[i] * density[i] for i in range(N) if view_label(i) == 4]
        outside = [intensity[i] * density[i] for i in range(N) if view_label(i) != 4]
        self.assertTrue(inside and min(inside) > 0)
        self.assertGreater(sum(inside) / len(inside), 4 * sum(outside) / len(outside))
        self.assertTrue(all(intensity[i] == 0 for i in range(N) if view_label(i) == 0))

    def test_densities_spread_over_the_plot_as_in_situ_data(self):
        # The viewer plots density x 1000 from 0 to 100: most cells lie below 0.1 and fill its columns.
        _, rows = gene_search("0310", 0, 40, "")
        densities = []
        for record in rows:
            archive = self._zip("/grid/0310/%s/visualize" % record["id"])
            density = struct.unpack("<%dH" % N, archive.read("density.raw"))
            intensity = archive.read("intensity.raw")
            densities += [d / 65536 for d, i in zip(density, intensity) if d and i]
        self.assertGreater(len(densities), 1000)
        below = sum(d < 0.1 for d in densities) / len(densities)
        self.assertTrue(0.8 < below < 1.0, below)
        self.assertLess(max(densities), 0.15)
        columns = {min(144, int(d * 1000 * 145 / 100 + 0.5)) for d in densities}
        self.assertGreater(len(columns), 80)
        self.assertEqual({c * 10 // 145 for c in columns}, set(range(10)))

    def test_section_data_set_points_find_their_section_images(self):
        # This dialect puts section k at 25 k; a voxel on the plane of a section must find that
        # section, at the same pixel the atlas's own image list gives.
        record = first_series(term="CA1")
        meta = ET.fromstring(self._zip("/grid/0310/%s/visualize" % record["id"]).read("data_set.xml"))
        trv = [float(v) for v in meta.findtext("alignment3d/trv").split(",")]
        tvr = [float(v) for v in meta.findtext("alignment3d/tvr").split(",")]
        images = []
        for node in meta.iter("section-image"):
            tvs = [float(v) for v in node.findtext("alignment2d/tvs").split(",")]
            images.append((int(node.findtext("section-number")), tvs))
        for x_um, section in ((2750.0, 0), (7750.0, 1), (6000.0, 1)):
            point = (x_um, 3000.0, 5000.0)
            found, u, v = find_image(trv, images, point)
            self.assertEqual(found, section, x_um)
            self.assertAlmostEqual(u, 4 * 5000.0 / 500.0, places=3)
            self.assertAlmostEqual(v, 4 * 3000.0 / 500.0, places=3)
            p = [sum(trv[3 * r + c] * point[c] for c in range(3)) + trv[9 + r] for r in range(3)]
            back = [sum(tvr[3 * r + c] * p[c] for c in range(3)) + tvr[9 + r] for r in range(3)]
            for a, b in zip(back, point):
                self.assertAlmostEqual(a, b, places=2)

    def test_thumbnail_is_energy_only(self):
        record = first_series()
        archive = self._zip("/grid/0310/%s/thumbnail" % record["id"])
        self.assertEqual(archive.namelist(), ["energy.raw"])
        self.assertEqual(len(archive.read("energy.raw")), N)
        self.assertTrue(any(archive.read("energy.raw")))

    def test_image_series_dialect_names_the_space(self):
        _, rows = gene_search("0350", 0, 40, "")
        record = next(r for r in rows if r["age"] == "P14")
        archive = self._zip("/grid/0350/%s/visualize" % record["id"])
        meta = ET.fromstring(archive.read("image_series.xml"))
        self.assertEqual(meta.findtext("reference-space"), "P14")
        self.assertEqual(meta.findtext("project-code"), "0350")
        self.assertEqual(meta.findtext("gene/gene-symbol"), record["symbol"])
        self.assertEqual(len(archive.read("density.raw")), 2 * N)

    def test_projection_data_set(self):
        _, rows = records(server.get("/search/0378/gene?start=0&num=1&term=")[2], "data-sets/data-set",
                          PROJECTION_FIELDS)
        archive = self._zip("/grid/0378/%s/visualize" % rows[0]["id"])
        names = set(archive.namelist())
        self.assertTrue({"image_series.xml", "injection_mask.mhd", "injection_mask.raw", "density.mhd",
                         "density.raw", "intensity.mhd", "intensity.raw", "streamlines.sl"} <= names)
        self.assertEqual(ET.fromstring(archive.read("image_series.xml")).findtext("project-code"), "0378")
        for name, size in (("injection_mask", 4), ("density", 2), ("intensity", 4)):
            header = dict(line.split(" = ", 1) for line in archive.read(name + ".mhd").decode().splitlines())
            dims = [int(v) for v in header["DimSize"].split()]
            self.assertEqual(dims, list(VIEW))
            self.assertEqual(header["ElementDataFile"], name + ".raw")
            self.assertEqual(len(archive.read(name + ".raw")), size * N)
        mask = struct.unpack("<%df" % N, archive.read("injection_mask.raw"))
        self.assertTrue(any(v > 0.1 for v in mask))
        lines = archive.read("streamlines.sl")
        magic, version, count = struct.unpack_from("<IHI", lines)
        self.assertEqual((magic, version), (0xEEEE0120, 2))
        offset = 10
        for _ in range(count):
            n, = struct.unpack_from("<H", lines, offset)
            offset += 2 + 20 * n
        self.assertEqual(offset, len(lines))
        light = self._zip("/grid/0378/%s/thumbnail" % rows[0]["id"])
        self.assertEqual(sorted(light.namelist()), ["density.mhd", "density.raw"])

    def test_bare_raw_grids(self):
        record = first_series(term="CA1")
        status, _, body = server.get("/demo/raw/%s" % record["id"])
        self.assertEqual(status, 200)
        # Atlas 310's bare grids use the fixed 133 x 81 x 115 grid.
        self.assertEqual(len(body), 133 * 81 * 115 * 4)
        values = struct.unpack("<%df" % (133 * 81 * 115), body)
        self.assertTrue(any(math.log(v) > 6.0 for v in values))
        self.assertEqual(len(server.get("/demo/raw8/%s" % record["id"])[2]), 133 * 81 * 115)
        # Grids of other atlases' data sets are read on the same grid.
        _, rows = gene_search("0350", 0, 1, "")
        self.assertEqual(len(server.get("/demo/raw/%s" % rows[0]["id"])[2]), 133 * 81 * 115 * 4)
        self.assertEqual(len(server.get("/grid/0350/%s/raw8" % rows[0]["id"])[2]), 133 * 81 * 115)

    def test_url_scheme_download(self):
        record = first_series()
        archive = self._zip("/demo/data/%s?atlas=310" % record["id"])
        self.assertIn("density.raw", archive.namelist())

    def test_unknown_data_set(self):
        self.assertEqual(server.get("/grid/0310/123/visualize")[0], 404)
        self.assertEqual(server.get("/grid/0310/abc/visualize")[0], 400)


class LayerTest(unittest.TestCase):
    def test_correlation_volume(self):
        # Seed in the middle of CA1 (view voxel 3, 5, 5 at 1000 um).
        status, _, body = server.get("/kest/data/P56/download?seed=3000,5000,5000&age=P56")
        self.assertEqual(status, 200)
        archive = zipfile.ZipFile(io.BytesIO(body))
        raws = [n for n in archive.namelist() if ".raw" in n]
        self.assertEqual(len(raws), 1)
        data = archive.read(raws[0])
        self.assertEqual(len(data), 4 * N)
        values = struct.unpack("<%df" % N, data)
        ca1 = [values[i] for i in range(N) if view_label(i) == 4]
        thalamus = [values[i] for i in range(N) if view_label(i) == 5]
        self.assertGreater(sum(ca1) / len(ca1), sum(thalamus) / len(thalamus))
        self.assertTrue(all(-1.0 <= v <= 1.0 for v in values))

    def test_rat_correlation_on_its_own_host_path(self):
        # The same request on the rat atlas's host wants the rat's fixed 67 x 41 x 58 grid.
        for path, count in (("/rat/kest/data/P56/download?seed=2000,1000,3000&age=P56", 67 * 41 * 58),
                            ("/kest/data/P56/download?seed=2000,1000,3000&age=P56", N)):
            status, _, body = server.get(path)
            self.assertEqual(status, 200, path)
            archive = zipfile.ZipFile(io.BytesIO(body))
            raw = next(i for i in archive.infolist() if ".raw" in i.filename)
            self.assertEqual(raw.file_size, 4 * count, path)
            struct.unpack("<%df" % count, archive.read(raw))
        self.assertEqual(server.get("/rat/kest/data/E15.5/download?seed=1,2,3&age=P14")[0], 404)
        self.assertEqual(server.get("/other/kest/data/P56/download?seed=1,2,3&age=P56")[0], 404)

    def test_correlation_errors(self):
        self.assertEqual(server.get("/kest/data/Nowhere/download?seed=1,2,3&age=P56")[0], 404)
        self.assertEqual(server.get("/kest/data/P56/download?seed=1,2&age=P56")[0], 400)
        self.assertEqual(server.get("/kest/data/P56/download?seed=a,b,c&age=P56")[0], 400)

    def test_projection_map(self):
        status, headers, body = server.get("/data/P56/projection_map/target?seedPoint=3000,5000,5000&seedAge=P56")
        self.assertEqual(status, 200)
        lines = json.loads(body)["msg"]
        self.assertTrue(lines)
        for line in lines:
            self.assertGreater(int(line["id"]), 0)
            self.assertTrue(all(len(p["coord"]) == 3 for p in line["path"]))
            self.assertEqual(line["path"][0]["coord"], [3000, 5000, 5000])

    def test_microarray(self):
        status, headers, body = server.get("/demo/microarray?atlas=351&probes=1001,1003,77")
        self.assertEqual(status, 200)
        pairs = json.loads(body, object_pairs_hook=lambda p: p)
        keys = [k for k, _ in pairs]
        self.assertLess(keys.index("samples"), keys.index("probes"))
        document = json.loads(body)
        samples = document["samples"]
        self.assertEqual({s["donor"]["id"] for s in samples}, {1, 2})
        self.assertTrue(all(len(s["sample"]["mri"]) == 3 for s in samples))
        self.assertEqual([p["id"] for p in document["probes"]], [1001, 1003])
        for probe in document["probes"]:
            self.assertEqual(len(probe["expression_level"]), len(samples))
            self.assertTrue(all(0 <= v <= 16 for v in probe["expression_level"]))


class ZoomifyTest(unittest.TestCase):
    def test_image_properties(self):
        status, _, body = server.get("/tiles/sections/310/P56/coronal/1/ImageProperties.xml")
        self.assertEqual(status, 200)
        root = ET.fromstring(body)
        self.assertEqual(root.tag, "IMAGE_PROPERTIES")
        self.assertEqual((root.get("WIDTH"), root.get("HEIGHT"), root.get("TILESIZE")), ("80", "64", "256"))

    def _pixel(self, pixels, width, u, v):
        return pixels[v * width + u]

    def test_tiles_show_the_reference_section(self):
        # Image 0 cuts x at 2750 um (atlas voxel 5); pixel (u, v) lies at z = 125 u, y = 125 v um.
        for project, space in (("0310", "P56"), ("0350", "E15.5")):
            status, headers, body = server.get("/tiles/sections/%s/%s/coronal/0/TileGroup/0-0-0.jpg"
                                               % (int(project), space))
            self.assertEqual(status, 200)
            self.assertEqual(headers["Content-Type"], "image/jpeg")
            width, height, pixels = support.decode_jpeg(body)
            self.assertEqual((width, height), (80, 64))
            self.assertGreater(self._pixel(pixels, width, 2, 2), 235)     # outside the brain: paper
            self.assertLess(abs(self._pixel(pixels, width, 40, 40) - 95), 25)  # CA1, reference 160

    def test_region_image(self):
        status, _, body = server.get("/imageservice?path=sections/310/P56/coronal/0&zoom=0&top=0&left=0"
                                     "&width=80&height=64")
        self.assertEqual(status, 200)
        self.assertEqual(support.decode_jpeg(body)[:2], (80, 64))
        self.assertEqual(server.get("/imageservice?path=sections/310/P56/coronal/0&zoom=0&top=0&left=0"
                                    "&width=100000&height=64")[0], 404)
        self.assertEqual(server.get("/imageservice?path=sections/310/P56/coronal/0&zoom=x")[0], 400)

    def test_expression_overlay_follows_the_data_set(self):
        record = first_series(term="CA1")
        meta = zipfile.ZipFile(io.BytesIO(server.get("/grid/0310/%s/visualize" % record["id"])[2]))
        image = ET.fromstring(meta.read("data_set.xml")).find("section-images/section-image")
        path = image.findtext("expression-path")
        status, _, body = server.get("/tiles/%s/TileGroup/0-0-0.jpg" % path)
        self.assertEqual(status, 200)
        width, _, pixels = support.decode_jpeg(body)
        self.assertGreater(self._pixel(pixels, width, 40, 40), 100)  # in CA1
        self.assertLess(self._pixel(pixels, width, 2, 2), 20)

    def test_missing_images_and_tiles(self):
        self.assertEqual(server.get("/tiles/sections/310/P56/coronal/9/ImageProperties.xml")[0], 404)
        self.assertEqual(server.get("/tiles/sections/310/P56/coronal/0/TileGroup/0-1-0.jpg")[0], 404)
        self.assertEqual(server.get("/tiles/sections/310/P56/coronal/0/TileGroup/5-0-0.jpg")[0], 404)
        self.assertEqual(server.get("/tiles/demo-expression/310/1/1/TileGroup/0-0-0.jpg")[0], 404)


class PageTest(unittest.TestCase):
    def test_browser_pages_are_html(self):
        for path in ("/experiment/0310/3100001", "/viewer/0310/image?image=1&series=2",
                     "/kest/all_coronal?correlation&seedPoint=1,2,3", "/confluence/display/Corvane/Home",
                     "/demo/experiment/3100001"):
            status, headers, body = server.get(path)
            self.assertEqual(status, 200, path)
            self.assertTrue(headers["Content-Type"].startswith("text/html"), path)
            self.assertTrue(body.startswith(b"<!DOCTYPE html>"))

    def test_unknown_path(self):
        self.assertEqual(server.get("/nothing/here")[0], 404)


class RequestLogTest(unittest.TestCase):
    def test_every_request_is_logged_with_its_user_agent(self):
        server.get("/search/0310/gene?start=0&num=1&term=logged", user_agent="Corvane/9 (Linux x) CV/1")
        with open(os.path.join(folder.name, "requests.log"), encoding="utf-8") as stream:
            entries = [json.loads(line) for line in stream]
        entry = next(e for e in entries if e["query"] == "start=0&num=1&term=logged")
        self.assertIsInstance(entry.pop("connection"), int)
        self.assertEqual(entry, {"method": "GET", "path": "/search/0310/gene",
                                 "query": "start=0&num=1&term=logged", "user_agent": "Corvane/9 (Linux x) CV/1"})
        status, _, body = server.get("/demo/log")
        self.assertIn(b"term=logged", body)

    def test_connections_stay_open_through_faults_and_are_numbered_in_the_log(self):
        """HTTP/1.1 keep-alive: every answer that has a length leaves its connection open for the next
        request, faulty ones too, and the log names the connection each request came on."""
        paths = ["/grid/0310/9990404/thumbnail", "/grid/0310/9990500/thumbnail", "/grid/0310/9990001/thumbnail",
                 "/grid/0310/9990002/thumbnail", "/grid/0310/9990003/thumbnail", "/grid/0310/9990006/thumbnail",
                 "/search/0310/gene?start=0&num=2&term=fault-malformed", "/nothing/here", "/Corvane2/atlases.xml"]
        statuses = []
        delays = []  # Nagle's algorithm per accepted connection (it would hold back a reused one's answers)
        setup = Handler.setup

        def recording_setup(handler):
            setup(handler)
            delays.append(handler.connection.getsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY))

        Handler.setup = recording_setup
        try:
            for _ in range(2):
                connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=support.TIMEOUT)
                for path in paths:
                    connection.request("GET", path + ("&" if "?" in path else "?") + "kept=%d" % id(connection))
                    response = connection.getresponse()
                    response.read()
                    statuses.append(response.status)
                    self.assertFalse(response.will_close, path)
                connection.close()
        finally:
            Handler.setup = setup
        self.assertEqual(len(delays), 2)
        self.assertTrue(all(delays), "Nagle's algorithm is on")
        self.assertEqual(statuses[:len(paths)], [404, 500, 200, 200, 200, 200, 200, 404, 200])
        with open(os.path.join(folder.name, "requests.log"), encoding="utf-8") as stream:
            entries = [json.loads(line) for line in stream]
        numbers = [e["connection"] for e in entries if "kept=" in e["query"]]
        self.assertEqual(len(numbers), 2 * len(paths))
        self.assertEqual(len(set(numbers[:len(paths)])), 1)
        self.assertEqual(len(set(numbers[len(paths):])), 1)
        self.assertNotEqual(numbers[0], numbers[-1])


if __name__ == "__main__":
    unittest.main()
