"""The server over atlases of the real generator (micro profile), when its path is given.

CMake passes the generator as CORVANE_ATLASGEN; without it these tests are skipped.
"""

import io
import json
import os
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ET
import zipfile

import support

GENERATOR = os.environ.get("CORVANE_ATLASGEN", "")
IDS = (310, 350, 351, 50000, 35100)

server = None
folder = None


def setUpModule():
    global server, folder
    if not GENERATOR:
        raise unittest.SkipTest("CORVANE_ATLASGEN not set")
    folder = support.temporary_folder()
    for atlas_id in IDS:
        subprocess.run([GENERATOR, "--profile", "micro", "--id", str(atlas_id), "--out",
                        os.path.join(folder.name, str(atlas_id))], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
    server = support.RunningServer([folder.name])


def tearDownModule():
    if server is not None:
        server.stop()
    if folder is not None:
        folder.cleanup()


def info(atlas_id):
    return ET.parse(os.path.join(folder.name, str(atlas_id), "Info.xml")).getroot()


def view_count(atlas_id, space_index=0):
    size = list(info(atlas_id).iter("space"))[space_index].find("view-volume/size")
    return int(size.get("width")) * int(size.get("height")) * int(size.get("depth"))


class GeneratedAtlasTest(unittest.TestCase):
    def test_catalogue_offers_every_generated_atlas(self):
        root = ET.fromstring(server.get("/Corvane2/atlases.xml")[2])
        self.assertEqual(sorted(int(a.get("id")) for a in root.iter("atlas")), sorted(IDS))
        entry = next(a for a in root.iter("atlas") if a.get("id") == "310")
        self.assertEqual(entry.get("name"), info(310).get("name"))
        package = server.get(entry.get("url").split(str(server.port), 1)[1])[2]
        names = zipfile.ZipFile(io.BytesIO(package)).namelist()
        self.assertIn("Spaces/P56/Annotation", names)
        self.assertNotIn("Spaces/P56/Atlas", names)  # rebuilt from its slices when installed

    def test_packages_carry_the_local_files_of_the_probe_layers(self):
        root = ET.fromstring(server.get("/Corvane2/atlases.xml")[2])
        expected = {
            35100: "Spaces/DTI/ProbTrack/",
            310: "Spaces/P56/Afferents/",
            50000: "Spaces/P56/Transforms/",
        }
        for atlas_id, prefix in expected.items():
            with self.subTest(atlas_id=atlas_id):
                entry = next(a for a in root.iter("atlas") if a.get("id") == str(atlas_id))
                package = zipfile.ZipFile(io.BytesIO(server.get(entry.get("url").split(str(server.port), 1)[1])[2]))
                names = [n for n in package.namelist() if n.startswith(prefix) and not n.endswith("/")]
                on_disk = []
                for base, _, files in os.walk(os.path.join(folder.name, str(atlas_id), *prefix.split("/"))):
                    on_disk += [os.path.relpath(os.path.join(base, f), os.path.join(folder.name, str(atlas_id)))
                                for f in files]
                self.assertEqual(sorted(names), sorted(n.replace(os.sep, "/") for n in on_disk))
                self.assertTrue(names)
                for name in names:
                    with open(os.path.join(folder.name, str(atlas_id), name), "rb") as f:
                        self.assertEqual(package.read(name), f.read(), name)
        meta = {"Spaces/P56/Transforms/%s.meta" % n for n in ("PermuteAndFlipTransform", "AffineTransform",
                                                             "BSplineTransform")}
        package = zipfile.ZipFile(io.BytesIO(server.get("/Corvane2/packages/50000-1.zip")[2]))
        self.assertTrue(meta <= set(package.namelist()))
        self.assertIn("Spaces/P56/Afferents/100140756", zipfile.ZipFile(io.BytesIO(
            server.get("/Corvane2/packages/310-3.zip")[2])).namelist())

    def test_search_and_download_through_the_atlas_templates(self):
        templates = {e.tag: e.text for e in info(310).find("urls")}
        self.assertTrue(templates["geneSearch"].startswith("%1%/"))
        body = server.get("/search/0310/gene?start=0&num=10&term=")[2]
        series = ET.fromstring(body).find("gene/image-series/image-series")
        archive = zipfile.ZipFile(io.BytesIO(server.get("/grid/0310/%s/visualize" % series.findtext("id"))[2]))
        self.assertEqual(len(archive.read("intensity.raw")), view_count(310))
        self.assertEqual(len(archive.read("density.raw")), 2 * view_count(310))

    def test_section_tiles_of_generated_images(self):
        images = ET.parse(os.path.join(folder.name, "310", "Spaces", "P56", "coronal_images.xml")).getroot()
        image = images.findall(".//image")[len(images.findall(".//image")) // 2]
        path = image.findtext("imagepath")
        props = ET.fromstring(server.get("/tiles/%s/ImageProperties.xml" % path)[2])
        self.assertEqual(props.get("WIDTH"), image.findtext("parentimagewidth"))
        width, height, pixels = support.decode_jpeg(server.get("/tiles/%s/TileGroup/0-0-0.jpg" % path)[2])
        self.assertEqual((width, height), (int(image.findtext("width")), int(image.findtext("height"))))
        self.assertLess(min(pixels), 200)   # tissue
        self.assertGreater(max(pixels), 230)  # paper around it

    def test_microarray_uses_the_installed_probes_and_samples(self):
        with open(os.path.join(folder.name, "351", "probe_info.csv"), encoding="utf-8") as stream:
            probe = int(stream.read().splitlines()[1].split(",")[0])
        document = json.loads(server.get("/demo/microarray?atlas=351&probes=%d" % probe)[2])
        self.assertEqual([p["id"] for p in document["probes"]], [probe])
        wells = set()
        for name in ("D351-A", "D351-B"):
            with open(os.path.join(folder.name, "351", "Spaces", name, "samples_columns.csv")) as stream:
                wells |= {int(line.split(",")[0]) for line in stream.read().splitlines()[1:]}
        self.assertEqual({s["sample"]["well"] for s in document["samples"]}, wells)

    def test_correlation_grid_sizes(self):
        archive = zipfile.ZipFile(io.BytesIO(server.get("/kest/data/P56/download?seed=1000,1000,1000&age=P56")[2]))
        data = archive.read(archive.namelist()[0])
        self.assertEqual(len(data), 4 * view_count(310))
        struct.unpack("<%df" % view_count(310), data)


if __name__ == "__main__":
    unittest.main()
