"""The atlas catalogue under a path prefix, with faults, and the hostile catalogue with its packages."""

import io
import unittest
import xml.etree.ElementTree as ET
import zipfile

import fixture
import support
from demoserver import hostile

server = None
folder = None


def setUpModule():
    global server, folder
    folder = support.temporary_folder()
    fixture.write_atlases(folder.name)
    server = support.RunningServer([folder.name])


def tearDownModule():
    server.stop()
    folder.cleanup()


def entries(body):
    return [dict(e.attrib) for e in ET.fromstring(body).iter("atlas")]


class PrefixTest(unittest.TestCase):
    def test_prefix_serves_the_catalogue_with_packages_under_it(self):
        root = entries(server.get("/Corvane2/atlases.xml")[2])
        for prefix in ("/mirror", "/a/b"):
            status, _, body = server.get(prefix + "/Corvane2/atlases.xml")
            self.assertEqual(status, 200)
            listed = entries(body)
            self.assertEqual([e["id"] for e in listed], [e["id"] for e in root])
            for entry, plain in zip(listed, root):
                self.assertEqual(entry["url"], plain["url"].replace("/Corvane2/", prefix + "/Corvane2/"))
                self.assertEqual(server.get(entry["url"][len(server.base):])[2],
                                 server.get(plain["url"][len(server.base):])[2])

    def test_fault_piece_in_the_prefix(self):
        body = server.get("/fault-malformed/Corvane2/atlases.xml")[2]
        with self.assertRaises(ET.ParseError):
            ET.fromstring(body)
        self.assertEqual(server.get("/fault-404/Corvane2/atlases.xml")[0], 404)
        # A fault that keeps the bytes whole carries over to the packages.
        url = entries(server.get("/fault-chunked/Corvane2/atlases.xml")[2])[0]["url"]
        self.assertIn("/fault-chunked/Corvane2/packages/", url)

    def test_unknown_packages(self):
        for path in ("/x/Corvane2/packages/310-99.zip", "/x/Corvane2/packages/nothing.zip",
                     "/hostile/Corvane2/packages/310-3.zip", "/hostile/Corvane2/packages/nothing.zip"):
            self.assertEqual(server.get(path)[0], 404, path)


class HostileTest(unittest.TestCase):
    def setUp(self):
        status, _, body = server.get("/hostile/Corvane2/atlases.xml")
        self.assertEqual(status, 200)
        self.entries = entries(body)

    def package(self, key):
        status, headers, body = server.get("/hostile/Corvane2/packages/%s.zip" % key)
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "application/zip")
        return body

    def test_catalogue_rules(self):
        names = [e["name"] for e in self.entries]
        for name in ("..", "../x", "a/b", ""):
            self.assertIn(name, names)
        versions = [(e["id"], e["version"]) for e in self.entries if e["id"] in ("5", "6")]
        self.assertEqual(versions, [("5", "2"), ("6", "3"), ("5", "3"), ("6", "2")])
        self.assertIn("0", [e["id"] for e in self.entries])
        self.assertIn("0", [e["version"] for e in self.entries])
        self.assertTrue(any(int(e["minAppVersion"]) > 10 ** 8 for e in self.entries))
        self.assertEqual(["Hostile Undated"], [e["name"] for e in self.entries if "datePublished" not in e])

    def test_every_package_url_is_served_with_its_size(self):
        for entry in self.entries:
            path = entry["url"][len(server.base):]
            self.assertTrue(path.startswith("/hostile/Corvane2/packages/"), path)
            status, _, body = server.get(path)
            self.assertEqual(status, 200)
            self.assertEqual(int(entry["size"]), len(body), entry["name"])

    def names(self, key):
        with zipfile.ZipFile(io.BytesIO(self.package(key))) as archive:
            return archive.namelist()

    def test_escaping_entries(self):
        self.assertIn("../../escape.txt", self.names("parent-escape"))
        self.assertIn("/abs.txt", self.names("absolute"))
        self.assertIn("Spaces/../../x", self.names("spaces-escape"))

    def test_info_files(self):
        self.assertNotIn("Info.xml", self.names("no-info"))
        with zipfile.ZipFile(io.BytesIO(self.package("broken-info"))) as archive:
            with self.assertRaises(ET.ParseError):
                ET.fromstring(archive.read("Info.xml"))

    def test_huge_declared_entries(self):
        for key, method in (("huge-stored", zipfile.ZIP_STORED), ("huge-deflated", zipfile.ZIP_DEFLATED)):
            body = self.package(key)
            with zipfile.ZipFile(io.BytesIO(body)) as archive:
                info = archive.getinfo("big.raw")
                self.assertEqual(info.file_size, hostile.HUGE_SIZE)
                self.assertEqual(info.compress_type, method)
                self.assertLess(info.compress_size, 100)
            self.assertLess(len(body), 2000)

    def test_truncated_and_bad_crc(self):
        with self.assertRaises(zipfile.BadZipFile):
            zipfile.ZipFile(io.BytesIO(self.package("truncated")))
        with zipfile.ZipFile(io.BytesIO(self.package("bad-crc"))) as archive:
            self.assertEqual(archive.testzip(), "Spaces/A/data.raw")


if __name__ == "__main__":
    unittest.main()
