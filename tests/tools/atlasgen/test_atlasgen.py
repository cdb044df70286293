#!/usr/bin/env python3
"""Runs corvane-atlasgen for the micro and tiny profiles and checks the results with check_atlas.py.

    test_atlasgen.py --generator EXE --checker SCRIPT --work DIR [unittest arguments]
"""

import argparse
import array
import csv
import filecmp
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

GENERATOR = CHECKER = WORK = None


def generate(profile, atlas_id, out, *extra):
    return subprocess.run([GENERATOR, "--profile", profile, "--id", str(atlas_id), "--out", out] + list(extra),
                          capture_output=True, text=True, timeout=240)


def check(folder):
    return subprocess.run([sys.executable, CHECKER, folder], capture_output=True, text=True, timeout=240)


def fresh(name):
    path = os.path.join(WORK, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def expand_template(text, base):
    """The template rule of the atlas configuration: %1% is the base, later placeholders move down by one."""
    if len(text) >= 5 and text.startswith("%1%/"):
        return re.sub(r"%(\d+)%", lambda m: base if m.group(1) == "1" else "%%%d%%" % (int(m.group(1)) - 1), text)
    return base + text


def ontology(folder):
    with open(os.path.join(folder, "ontology_v2.csv"), newline="") as f:
        return list(csv.DictReader(f))


def same_tree(a, b):
    """Every file of both trees exists in the other with the same bytes."""
    comparison = filecmp.dircmp(a, b)
    if comparison.left_only or comparison.right_only or comparison.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, comparison.common_files, shallow=False)
    if mismatch or errors:
        return False
    return all(same_tree(os.path.join(a, d), os.path.join(b, d)) for d in comparison.common_dirs)


class GeneratorCase(unittest.TestCase):
    def make(self, profile, atlas_id, name=None, *extra):
        out = fresh(name or "%s-%d" % (profile, atlas_id))
        result = generate(profile, atlas_id, out, *extra)
        self.assertEqual(result.returncode, 0, result.stderr)
        return out

    def assertSound(self, folder):
        result = check(folder)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


class MicroAtlases(GeneratorCase):
    def test_every_special_id_and_a_plain_one_passes_the_checker(self):
        for atlas_id in (7, 310, 378, 350, 351, 50000, 35100):
            with self.subTest(atlas_id=atlas_id):
                self.assertSound(self.make("micro", atlas_id))

    def test_grid_sizes_and_bit_depth(self):
        out = self.make("micro", 310)
        space = os.path.join(out, "Spaces", "P56")
        self.assertEqual(os.path.getsize(os.path.join(space, "Annotation")), 24 * 16 * 20)
        self.assertEqual(os.path.getsize(os.path.join(space, "Atlas")), 24 * 16 * 20)
        self.assertEqual(os.path.getsize(os.path.join(space, "Transforms", "Mapping")), 12 * 8 * 10 * 6)
        self.assertEqual(len(os.listdir(os.path.join(space, "AtlasSlices"))), 20)
        series = ET.parse(os.path.join(space, "coronal_images.xml")).getroot()
        z_values = [int(i.findtext("z-value")) for i in series.iter("image")]
        self.assertEqual(z_values, [250 + 500 * k for k in range(24)])

    def test_identity_of_the_special_ids(self):
        info = ET.parse(os.path.join(self.make("micro", 310), "Info.xml")).getroot()
        self.assertEqual([u.get("project") for u in info.findall("urls")], ["0310", "0378"])
        self.assertEqual([s.get("name") for s in info.iter("space")], ["P56"])
        info = ET.parse(os.path.join(self.make("micro", 350), "Info.xml")).getroot()
        self.assertGreaterEqual(int(info.get("version")), 4)
        self.assertGreaterEqual(len(info.findall("space")), 2)
        self.assertNotIn("P56", [s.get("name") for s in info.iter("space")])
        info = ET.parse(os.path.join(self.make("micro", 7), "Info.xml")).getroot()
        self.assertEqual(info.get("project"), "0007")
        self.assertTrue(info.get("name").startswith("Ostrel"))

    def test_templates_expand_to_server_paths_on_the_base_url(self):
        info = ET.parse(os.path.join(self.make("micro", 310), "Info.xml")).getroot()
        block = info.find("urls")
        base = block.get("base")
        self.assertEqual(base, "http://127.0.0.1:8470")
        self.assertEqual(expand_template(block.findtext("grid"), base), base + "/grid/0310/%1%/%2%")
        self.assertEqual(expand_template(block.findtext("geneSearch"), base),
                         base + "/search/0310/gene?start=%1%&num=%2%&term=%3%")
        self.assertEqual(expand_template(block.findtext("imageTile"), base), base + "/tiles/%1%")

    def test_ontology_keeps_values_rows_and_ids_apart_and_has_the_pseudo_structures(self):
        rows = ontology(self.make("micro", 310))
        ids = {int(r["database_id"]) for r in rows}
        self.assertTrue({9999, 10000, 10001} <= ids)
        for row_number, r in enumerate(rows, start=1):
            self.assertNotEqual(int(r["id"]), row_number)
            self.assertNotEqual(int(r["id"]), int(r["database_id"]))
            self.assertNotEqual(int(r["database_id"]), row_number)
        self.assertEqual(sorted(int(r["id"]) for r in rows), list(range(1, len(rows) + 1)))
        self.assertGreaterEqual(len(rows), 8)

    def test_every_structure_with_voxels_has_a_surface(self):
        out = self.make("micro", 310)
        rows = ontology(out)
        by_id = {r["database_id"]: r for r in rows}
        with open(os.path.join(out, "Spaces", "P56", "Annotation"), "rb") as f:
            present = set(f.read()) - {0}
        covered = set()
        for r in rows:
            if int(r["id"]) in present:
                while r is not None:
                    covered.add(r["abbreviation"])
                    r = by_id.get(r["parent"])
        meshes = {os.path.splitext(n)[0] for n in os.listdir(os.path.join(out, "Spaces", "P56", "Meshes"))}
        self.assertEqual(covered - meshes, set())

    def test_brain_surface_matches_the_annotation_extent(self):
        out = self.make("micro", 310)
        with open(os.path.join(out, "Spaces", "P56", "Annotation"), "rb") as f:
            voxels = f.read()
        inside = [(i % 24, (i // 24) % 16, i // (24 * 16)) for i, v in enumerate(voxels) if v]
        with open(os.path.join(out, "Spaces", "P56", "Meshes", "Br.msh"), "rb") as f:
            data = f.read()
        n = struct.unpack_from("<I", data)[0]
        floats = array.array("f", data[4:4 + 24 * n])
        for axis in range(3):
            positions = floats[3 + axis::6]
            lo = min(p[axis] for p in inside)
            hi = max(p[axis] for p in inside) + 1
            # The surface runs between the centres of inside and outside voxels (mesh units = atlas voxels).
            self.assertAlmostEqual(min(positions), lo, delta=0.6)
            self.assertAlmostEqual(max(positions), hi, delta=0.6)

    def test_microarray_files_agree(self):
        out = self.make("micro", 351)
        with open(os.path.join(out, "probe_info.csv")) as f:
            probes = len(f.read().splitlines()) - 1
        for space in ("D351-A", "D351-B"):
            folder = os.path.join(out, "Spaces", space)
            with open(os.path.join(folder, "samples_columns.csv")) as f:
                samples = len(f.read().splitlines()) - 1
            self.assertGreater(samples, 0)
            self.assertEqual(os.path.getsize(os.path.join(folder, "samples.raw")), probes * (samples + 2) * 4)
            with open(os.path.join(folder, "inflated_surface_samples"), "rb") as f:
                magic, version, count = struct.unpack("<IHI", f.read(10))
            self.assertEqual((magic, version), (0x99118822, 1))
            self.assertGreater(count, 0)
            for hemisphere in ("lh", "rh"):
                self.assertTrue(os.path.isfile(os.path.join(folder, "Meshes", hemisphere + ".inflated.amsh")))
        self.assertTrue(any(r["level"] == "100" for r in ontology(out)))


class StructureSets(GeneratorCase):
    """The mouse atlases mark the viewer's two structure presets by level: large divisions (100) and the deep
    structures under them (200), each with a surface to draw; other atlases keep depths."""

    def levels(self, folder):
        return {r["abbreviation"]: int(r["level"]) for r in ontology(folder)}

    def test_presets_select_drawable_structures_and_the_checker_wants_them(self):
        expected = {("tiny", 378): ({"Cx", "CNU", "IB", "MB", "HB", "CBX"},
                                    {"HiF", "STR", "PAL", "TH", "HY", "CBN", "VL", "V3", "V4", "cc", "ac", "int"}),
                    ("micro", 310): ({"Cx", "BS", "CB"}, {"HiF", "STR", "TH", "ac", "VL"}),
                    ("micro", 7): (set(), set())}
        for (profile, atlas_id), (searchable, inner) in expected.items():
            with self.subTest(profile=profile, atlas_id=atlas_id):
                out = self.make(profile, atlas_id)
                levels = self.levels(out)
                self.assertEqual({a for a, l in levels.items() if l == 100}, searchable)
                self.assertEqual({a for a, l in levels.items() if l == 200}, inner)
                space = os.path.join(out, "Spaces", sorted(os.listdir(os.path.join(out, "Spaces")))[0])
                meshes = {os.path.splitext(n)[0] for n in os.listdir(os.path.join(space, "Meshes"))}
                self.assertEqual((searchable | inner) - meshes, set())
                # The outline opens down to the default display level: the root and its divisions.
                self.assertEqual(levels["Br"], 0)
                self.assertEqual(levels["CH"], 1)
                self.assertSound(out)
        # Levels that are only depths, as before, leave both presets empty: the checker says so.
        out = self.make("micro", 310, "depth-levels")
        rows = ontology(out)
        depth = {r["database_id"]: 0 for r in rows if not r["parent"]}
        while len(depth) < len(rows):
            for r in rows:
                if r["parent"] in depth and r["database_id"] not in depth:
                    depth[r["database_id"]] = depth[r["parent"]] + 1
        with open(os.path.join(out, "ontology_v2.csv"), "w", newline="") as f:
            writer = csv.DictWriter(f, fieldnames=list(rows[0].keys()), lineterminator="\n")
            writer.writeheader()
            for r in rows:
                writer.writerow(dict(r, level=depth[r["database_id"]]))
        result = check(out)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn("no structure of level 100", result.stdout)
        self.assertIn("no structure of level 200", result.stdout)


class TinyAtlases(GeneratorCase):
    def test_several_ids_pass_the_checker(self):
        for atlas_id in (310, 351, 4242):
            with self.subTest(atlas_id=atlas_id):
                self.assertSound(self.make("tiny", atlas_id))

    def test_sixteen_bit_annotation_with_about_forty_structures(self):
        out = self.make("tiny", 378)
        space = os.path.join(out, "Spaces", "P56")
        self.assertEqual(os.path.getsize(os.path.join(space, "Annotation")), 133 * 81 * 115 * 2)
        values = array.array("H")
        with open(os.path.join(space, "Annotation"), "rb") as f:
            values.frombytes(f.read())
        present = set(values) - {0}
        rows = ontology(out)
        self.assertGreaterEqual(len(present), 30)
        self.assertGreaterEqual(len(rows), 40)
        self.assertLessEqual(max(present), len(rows))
        self.assertEqual(os.path.getsize(os.path.join(space, "Transforms", "Mapping")), 67 * 41 * 58 * 6)


class Determinism(GeneratorCase):
    def test_same_arguments_give_the_same_bytes(self):
        for profile, atlas_id in (("micro", 351), ("tiny", 310)):
            with self.subTest(profile=profile):
                first = self.make(profile, atlas_id, "first-%s" % profile)
                second = self.make(profile, atlas_id, "second-%s" % profile)
                self.assertTrue(same_tree(first, second))

    def test_rat_atlas_has_its_own_path_on_the_server(self):
        # Its correlation request reads like the mouse atlases' one for P56 but wants another
        # grid: the host of its first block is the only thing that can tell them apart.
        info = ET.parse(os.path.join(self.make("micro", 50000), "Info.xml")).getroot()
        base = info.find("urls").get("base")
        self.assertEqual(base, "http://127.0.0.1:8470/rat")
        self.assertEqual(expand_template(info.find("urls").findtext("grid"), base), base + "/grid/50000/%1%/%2%")
        other = self.make("micro", 378, "rat-other", "--base-url", "http://example.test:9/")
        self.assertEqual(ET.parse(os.path.join(other, "Info.xml")).getroot().find("urls").get("base"),
                         "http://example.test:9")

    def test_base_url_changes_only_the_configuration(self):
        first = self.make("micro", 378, "default-url")
        other = self.make("micro", 378, "other-url", "--base-url", "http://example.test:9/")
        with open(os.path.join(other, "Info.xml")) as f:
            text = f.read()
        self.assertIn('base="http://example.test:9"', text)
        os.remove(os.path.join(first, "Info.xml"))
        os.remove(os.path.join(other, "Info.xml"))
        self.assertTrue(same_tree(first, other))

    def test_a_tilted_space_changes_only_its_transform(self):
        # A turn (an orthonormal 3 x 3 that is not the identity) and a shift of a tenth of the view box,
        # column-major; nothing else in the atlas differs.
        plain = self.make("micro", 42, "square")
        tilted = self.make("micro", 42, "tilted", "--space-transform", "tilted")
        self.assertSound(tilted)
        space = ET.parse(os.path.join(tilted, "Info.xml")).getroot().find("space")
        m = [float(v) for v in space.find("tissue-volume").findtext("transform").split()]
        size = space.find("view-volume").find("size")
        dims = [float(size.get(k)) for k in ("width", "height", "depth")]
        columns = [m[4 * c:4 * c + 3] for c in range(3)]
        for a in range(3):
            for b in range(3):
                dot = sum(x * y for x, y in zip(columns[a], columns[b]))
                self.assertAlmostEqual(dot, 1.0 if a == b else 0.0, places=5)
        self.assertLess(min(columns[a][a] for a in range(3)), 0.9)
        self.assertEqual([m[3], m[7], m[11], m[15]], [0, 0, 0, 1])
        for a, sign in enumerate((1, -1, 1)):
            self.assertAlmostEqual(m[12 + a], sign * 0.1 * dims[a], places=4)
        os.remove(os.path.join(plain, "Info.xml"))
        os.remove(os.path.join(tilted, "Info.xml"))
        self.assertTrue(same_tree(plain, tilted))


class CommandLine(unittest.TestCase):
    def test_bad_arguments_are_refused_without_writing(self):
        out = fresh("refused")
        for args in (["--profile", "huge", "--id", "3", "--out", out],
                     ["--profile", "micro", "--id", "0", "--out", out],
                     ["--profile", "micro", "--id", "12abc", "--out", out],
                     ["--profile", "micro", "--id", "3"],
                     ["--profile", "micro", "--id"],
                     ["--profile", "micro", "--id", "3", "--out", out, "--colour", "red"],
                     ["--profile", "micro", "--id", "3", "--out", out, "--space-transform", "sideways"]):
            with self.subTest(args=args):
                result = subprocess.run([GENERATOR] + args, capture_output=True, text=True, timeout=60)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn("corvane-atlasgen", result.stderr)
                self.assertFalse(os.path.exists(out))

    def test_a_folder_of_other_files_is_left_alone(self):
        out = fresh("occupied")
        os.makedirs(out)
        with open(os.path.join(out, "thesis.txt"), "w") as f:
            f.write("precious")
        result = generate("micro", 5, out)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("refusing", result.stderr)
        self.assertEqual(os.listdir(out), ["thesis.txt"])
        self.assertFalse(os.path.exists(out + ".atlasgen-partial"))

    def test_the_root_folder_is_refused(self):
        result = subprocess.run([GENERATOR, "--profile", "micro", "--id", "5", "--out", "/"],
                                capture_output=True, text=True, timeout=60)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("named folder", result.stderr)

    def test_an_earlier_atlas_is_replaced_whole(self):
        out = fresh("replaced")
        self.assertEqual(generate("micro", 310, out).returncode, 0)
        result = generate("micro", 351, out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(os.path.join(out, "Spaces"))), ["D351-A", "D351-B"])
        self.assertIn(out, result.stdout)
        self.assertRegex(result.stdout, r"in \d+\.\d\d s")


class CheckerRejects(unittest.TestCase):
    """The checker reports each kind of damage as a problem of the right file, never with a traceback."""

    @classmethod
    def setUpClass(cls):
        cls.base = fresh("pristine")
        result = generate("micro", 351, cls.base)
        assert result.returncode == 0, result.stderr

    def damaged(self, name, damage, expected):
        folder = fresh("damaged-" + name)
        shutil.copytree(self.base, folder)
        damage(folder)
        result = check(folder)
        output = result.stdout + result.stderr
        self.assertEqual(result.returncode, 1, output)
        self.assertNotIn("Traceback", output)
        self.assertIn(expected, output)

    @staticmethod
    def edit(path, change):
        with open(path, "rb") as f:
            data = bytearray(f.read())
        data = change(data)
        with open(path, "wb") as f:
            f.write(data)

    def space(self, folder, *parts):
        return os.path.join(folder, "Spaces", "D351-A", *parts)

    def test_truncated_mesh(self):
        self.damaged("truncated", lambda d: self.edit(self.space(d, "Meshes", "Br.msh"), lambda b: b[:-3]),
                     "Br.msh: truncated")

    def test_odd_strip_and_index_beyond_the_vertices(self):
        def strip_offset(data):
            return 4 + 24 * struct.unpack_from("<I", data)[0] + 4

        def odd(b):
            struct.pack_into("<H", b, strip_offset(b), 3)
            return b

        def beyond(b):
            struct.pack_into("<I", b, strip_offset(b) + 2, 0xFFFFFFF0)
            return b

        self.damaged("odd-strip", lambda d: self.edit(self.space(d, "Meshes", "CH.msh"), odd), "CH.msh: strip 0 has 3")
        self.damaged("beyond", lambda d: self.edit(self.space(d, "Meshes", "CH.msh"), beyond), "beyond")

    def test_inverted_normals(self):
        def flip(b):
            n = struct.unpack_from("<I", b)[0]
            vertices = array.array("f", bytes(b[4:4 + 24 * n]))
            for i in range(len(vertices)):
                if i % 6 < 3:
                    vertices[i] = -vertices[i]
            b[4:4 + 24 * n] = vertices.tobytes()
            return b

        self.damaged("normals", lambda d: self.edit(self.space(d, "Meshes", "Br.msh"), flip), "normals disagree")

    def test_colored_mesh_group_of_partial_triangles(self):
        def damage(b):
            n = struct.unpack_from("<I", b, 8)[0]
            struct.pack_into("<H", b, 12 + 36 * n + 4, 4)
            return b

        self.damaged("group", lambda d: self.edit(self.space(d, "Meshes", "Cx.amsh"), damage), "not whole triangles")

    def test_annotation_value_outside_the_ontology(self):
        def damage(b):
            b[len(b) // 2] = 255
            return b

        self.damaged("value", lambda d: self.edit(self.space(d, "Annotation"), damage), "not in the ontology")

    def test_missing_space_folder(self):
        self.damaged("no-space", lambda d: shutil.rmtree(self.space(d)), "folder of an Info.xml space is missing")

    def test_malformed_configuration_and_ontology(self):
        self.damaged("info", lambda d: self.edit(os.path.join(d, "Info.xml"), lambda b: b[:len(b) // 2]), "Info.xml")
        self.damaged("parent", lambda d: self.edit(os.path.join(d, "ontology_v2.csv"),
                                                    lambda b: b.replace(b",2022,", b",77777,", 1)),
                     "that no row defines")
        # The microarray atlas's presets name these structures by database id.
        self.damaged("preset-id", lambda d: self.edit(os.path.join(d, "ontology_v2.csv"),
                                                       lambda b: b.replace(b",4697,", b",4698,", 1)),
                     "HiF has database id 4698, not 4697")

    def test_short_colormap_and_empty_mapping(self):
        self.damaged("colormap", lambda d: self.edit(os.path.join(d, "Colormaps", "Jet.map"), lambda b: b[:-4]),
                     "Jet.map")
        self.damaged("mapping", lambda d: self.edit(self.space(d, "Transforms", "Mapping"), lambda b: b[:0]), "Mapping")

    def test_sample_tables_that_disagree(self):
        def move(b):
            lines = bytes(b).decode().split("\n")
            fields = lines[1].split(",")
            fields[1] = "10000"   # a pseudo-structure that no voxel carries
            lines[1] = ",".join(fields)
            return bytearray("\n".join(lines).encode())

        self.damaged("sample", lambda d: self.edit(self.space(d, "samples_columns.csv"), move),
                     "disagrees with the annotation")
        self.damaged("raw", lambda d: self.edit(self.space(d, "samples.raw"), lambda b: b[:-4]), "samples.raw")


class LocalFiles(GeneratorCase):
    """The files the probe layers read from a space folder, read back by outside readers."""

    @classmethod
    def setUpClass(cls):
        cls.atlases = {}
        for atlas_id in (35100, 310, 50000):
            out = fresh("local-%d" % atlas_id)
            result = generate("micro", atlas_id, out)
            assert result.returncode == 0, result.stderr
            cls.atlases[atlas_id] = out

    def damaged(self, atlas_id, damage, expected):
        folder = fresh("local-damaged-%d" % atlas_id)
        shutil.copytree(self.atlases[atlas_id], folder)
        damage(folder)
        result = check(folder)
        output = result.stdout + result.stderr
        self.assertEqual(result.returncode, 1, output)
        self.assertNotIn("Traceback", output)
        self.assertIn(expected, output)

    def tracts(self, folder):
        root = os.path.join(folder, "Spaces", "DTI", "ProbTrack")
        return sorted(os.path.join(root, sub, name) for sub in os.listdir(root)
                      for name in os.listdir(os.path.join(root, sub)))

    def test_tract_volumes_read_with_nibabel(self):
        try:
            import nibabel
            import numpy
        except ImportError:
            self.skipTest("nibabel is not installed for this interpreter")
        files = self.tracts(self.atlases[35100])
        self.assertTrue(1 <= len(files) <= 8, files)
        for path in files:
            with self.subTest(path=os.path.basename(path)):
                image = nibabel.load(path)
                counts = numpy.asarray(image.dataobj)
                self.assertEqual(counts.shape, (128, 128, 68))
                self.assertEqual(counts.dtype, numpy.uint64)
                self.assertEqual(tuple(float(v) for v in image.header.get_zooms()), (1.0, 1.0, 1.0))
                x, y, z = (int(v) for v in re.findall(r"\d+", os.path.basename(path)))
                self.assertEqual(os.path.basename(os.path.dirname(path)), str(x))
                self.assertGreater(counts[x, y, z], 0)
                # A path, not a cloud: a small part of the grid carries counts.
                self.assertLess(numpy.count_nonzero(counts), counts.size // 100)

    def test_afferent_files_read_with_struct(self):
        space = os.path.join(self.atlases[310], "Spaces", "P56")
        with open(os.path.join(space, "samples_columns.csv"), newline="") as f:
            rows = list(csv.DictReader(f))
        ids = {row["data_set_id"] for row in rows}
        names = set(os.listdir(os.path.join(space, "Afferents")))
        self.assertEqual(names, ids | {"100140756"})
        for name in sorted(names):
            with open(os.path.join(space, "Afferents", name), "rb") as f:
                data = f.read()
            pos, lines = 4, 0
            (sites,) = struct.unpack_from("<I", data)
            self.assertTrue(1 <= sites <= 5)
            for _ in range(sites):
                _, _, count = struct.unpack_from("<III", data, pos)
                pos += 12
                for _ in range(count):
                    line_id, density, points = struct.unpack_from("<IfI", data, pos)
                    pos += 12
                    self.assertIn(str(line_id), ids)
                    self.assertGreater(points, 1)
                    pos += 20 * points
                    lines += 1
            self.assertEqual(pos, len(data), name)
            self.assertGreater(lines, 0)

    def test_rat_transform_files(self):
        folder = os.path.join(self.atlases[50000], "Spaces", "P56", "Transforms")
        for name in ("PermuteAndFlipTransform.meta", "AffineTransform.meta", "BSplineTransform.meta"):
            self.assertTrue(os.path.isfile(os.path.join(folder, name)), name)

    def test_checker_rejects_damaged_local_files(self):
        def edit(path, change):
            with open(path, "rb") as f:
                data = change(f.read())
            with open(path, "wb") as f:
                f.write(data)

        def afferent(d):
            return os.path.join(d, "Spaces", "P56", "Afferents", "100140756")

        def tract_of_other_size(d):
            path = self.tracts(d)[0]
            edit(path, lambda b: gzip.compress(gzip.decompress(b)[:42] + struct.pack("<h", 64) +
                                               gzip.decompress(b)[44:]))

        def meta(d, name):
            return os.path.join(d, "Spaces", "P56", "Transforms", name)

        cases = [
            (310, lambda d: edit(afferent(d), lambda b: b[:-6]), "Afferents/100140756: "),
            (310, lambda d: edit(afferent(d), lambda b: struct.pack("<I", 0xFFFFFFFF) + b[4:]), "do not fit"),
            (310, lambda d: os.remove(afferent(d)), "Afferents: missing"),
            (35100, tract_of_other_size, "dimensions"),
            (35100, lambda d: edit(self.tracts(d)[0], lambda b: b[:len(b) // 2]), "not gzip"),
            (50000, lambda d: edit(meta(d, "AffineTransform.meta"), lambda b: b.replace(b"Translation", b"Shift")),
             "Translation missing"),
            (50000, lambda d: edit(meta(d, "BSplineTransform.meta"), lambda b: b.rstrip() + b" 1\n"),
             "Coefficients do not match"),
            (50000, lambda d: edit(meta(d, "PermuteAndFlipTransform.meta"),
                                   lambda b: b.replace(b"Permutation = 0 1 2", b"Permutation = 0 0 2")),
             "Permutation"),
        ]
        for atlas_id, damage, expected in cases:
            with self.subTest(expected=expected):
                self.damaged(atlas_id, damage, expected)


def main():
    global GENERATOR, CHECKER, WORK
    parser = argparse.ArgumentParser()
    parser.add_argument("--generator", required=True)
    parser.add_argument("--checker", required=True)
    parser.add_argument("--work", required=True)
    args, rest = parser.parse_known_args()
    GENERATOR, CHECKER, WORK = args.generator, args.checker, os.path.abspath(args.work)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
