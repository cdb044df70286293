"""Injected faults, hostile requests and the command line."""

import http.client
import io
import json
import os
import select
import socket
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET
import zipfile

import fixture
import support
from demoserver import faults
from demoserver.server import DemoServer

server = None
folder = None
SERIES = None


def setUpModule():
    global server, folder, SERIES
    folder = support.temporary_folder()
    fixture.write_atlases(folder.name)
    server = support.RunningServer([folder.name])
    SERIES = min(server.data.catalogue(server.data.by_id[310]).series)


def tearDownModule():
    server.stop()
    folder.cleanup()


class FaultTest(unittest.TestCase):
    def data_path(self, query=""):
        return "/grid/0310/%d/visualize%s" % (SERIES, query)

    def test_error_statuses(self):
        for kind in ("404", "500"):
            status, headers, body = server.get(self.data_path("?fault=" + kind))
            self.assertEqual(status, int(kind))
            self.assertTrue(headers["Content-Type"].startswith("text/html"))
        self.assertEqual(server.get("/grid/0310/9990500/visualize")[0], 500)
        self.assertEqual(server.get("/search/0310/gene?start=0&num=10&term=fault-404")[0], 404)

    def test_html_instead_of_data(self):
        status, headers, body = server.get(self.data_path("?fault=html"))
        self.assertEqual(status, 200)
        self.assertTrue(body.startswith(b"<"))
        self.assertEqual(server.get("/grid/0310/9990001/visualize")[2], body)

    def test_truncated_zip(self):
        for path in (self.data_path("?fault=truncated"), "/grid/0310/9990002/visualize"):
            status, headers, body = server.get(path)
            self.assertEqual(status, 200)
            self.assertEqual(int(headers["Content-Length"]), len(body))
            with self.assertRaises(zipfile.BadZipFile):
                zipfile.ZipFile(io.BytesIO(body)).testzip()

    def test_bad_crc(self):
        for path in (self.data_path("?fault=badcrc"), "/grid/0310/9990003/visualize"):
            body = server.get(path)[2]
            archive = zipfile.ZipFile(io.BytesIO(body))
            # The directory is intact; only an entry's checksum fails.
            self.assertIn("density.raw", archive.namelist())
            self.assertIsNotNone(archive.testzip())

    def test_malformed_documents(self):
        body = server.get("/search/0310/gene?start=0&num=10&term=&fault=malformed")[2]
        with self.assertRaises(ET.ParseError):
            ET.fromstring(body)
        body = server.get("/data/P56/projection_map/target?seedPoint=1,2,3&seedAge=P56&fault=malformed")[2]
        with self.assertRaises(ValueError):
            json.loads(body)
        body = server.get("/demo/microarray?atlas=351&probes=1001&fault=malformed")[2]
        with self.assertRaises(ValueError):
            json.loads(body)

    def test_fault_words_of_a_search_term_keep_its_results(self):
        whole = server.get("/search/0310/gene?start=0&num=10&term=CA1")[2]
        self.assertIn(b"<image-series>", whole)
        for kind, check in (("malformed", lambda body: body.startswith(whole[:len(whole) // 2])),
                            ("html", lambda body: body == faults.HTML_BODY),
                            ("truncated", lambda body: body == whole[:len(whole) // 2])):
            with self.subTest(kind=kind):
                status, _, body = server.get("/search/0310/gene?start=0&num=10&term=CA1%20fault-" + kind)
                self.assertEqual(status, 200)
                self.assertTrue(check(body))
        self.assertEqual(server.get("/search/0310/gene?start=0&num=10&term=CA1%20fault-404")[0], 404)
        # Only whole words count.
        self.assertEqual(server.get("/search/0310/gene?start=0&num=10&term=CA1%20xfault-404")[0], 200)

    def test_chunked_answer_without_length(self):
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=support.TIMEOUT)
        connection.request("GET", self.data_path("?fault=chunked"))
        response = connection.getresponse()
        self.assertEqual(response.getheader("Transfer-Encoding"), "chunked")
        self.assertIsNone(response.getheader("Content-Length"))
        archive = zipfile.ZipFile(io.BytesIO(response.read()))
        self.assertIsNone(archive.testzip())
        connection.close()

    def test_reserved_ids_stand_for_data_the_requesting_atlas_decodes(self):
        # A whole answer under a reserved id is a data set of the atlas and project asked.
        for path, meta, project in (("/grid/0350/9990006/visualize", "image_series.xml", "0350"),
                                    ("/grid/0378/9990006/visualize", "image_series.xml", "0378"),
                                    ("/grid/0310/9990006/visualize", "data_set.xml", "0310")):
            status, _, body = server.get(path)
            self.assertEqual(status, 200)
            archive = zipfile.ZipFile(io.BytesIO(body))
            root = ET.fromstring(archive.read(meta))
            self.assertEqual(root.findtext("project-code") or root.findtext("product/id"), project, path)
        light = zipfile.ZipFile(io.BytesIO(server.get("/grid/0378/9990006/thumbnail")[2]))
        self.assertEqual(sorted(light.namelist()), ["density.mhd", "density.raw"])

    def test_slow_trickle_can_be_abandoned(self):
        with socket.create_connection(("127.0.0.1", server.port), timeout=support.TIMEOUT) as sock:
            sock.sendall(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % self.data_path("?fault=slow").encode())
            received = b""
            while b"\r\n\r\n" not in received:
                received += sock.recv(4096)
            head, _, body = received.partition(b"\r\n\r\n")
            length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length")][0]
                         .split(b":")[1])
            time.sleep(0.3)
            sock.settimeout(0.2)
            try:
                body += sock.recv(65536)
            except socket.timeout:
                pass
            self.assertLess(len(body), length)
        # Leaving in the middle does not harm the server.
        self.assertEqual(server.get("/Corvane2/atlases.xml")[0], 200)


class ArmedFaultTest(unittest.TestCase):
    """Faults armed through "/demo/fault" for requests whose URL the program builds."""

    KEST = "/kest/data/P56/download?seed=3000,5000,5000&age=P56"

    def tearDown(self):
        server.get("/demo/fault?kind=none")

    def test_armed_faults_hit_the_next_matching_requests_only(self):
        good = server.get(self.KEST)[2]
        cases = [
            ("404", lambda status, body: status == 404),
            ("html", lambda status, body: status == 200 and body.startswith(b"<!DOCTYPE")),
            ("truncated", lambda status, body: status == 200 and body == good[:len(good) // 2]),
            ("badcrc", lambda status, body: zipfile.ZipFile(io.BytesIO(body)).testzip() is not None),
        ]
        for kind, check in cases:
            with self.subTest(kind=kind):
                self.assertEqual(server.get("/demo/fault?kind=%s&path=/kest/data/&count=2" % kind)[0], 200)
                # Another path is not touched and does not use the fault up.
                self.assertEqual(server.get("/Corvane2/atlases.xml")[0], 200)
                for _ in range(2):
                    status, _, body = server.get(self.KEST)
                    self.assertTrue(check(status, body), (status, body[:40]))
                self.assertEqual(server.get(self.KEST)[2], good)

    def test_first_armed_first_served_and_disarmed(self):
        server.get("/demo/fault?kind=500&path=/kest/")
        server.get("/demo/fault?kind=404&path=/kest/")
        self.assertEqual([server.get(self.KEST)[0] for _ in range(3)], [500, 404, 200])
        server.get("/demo/fault?kind=500&path=/kest/&count=5")
        server.get("/demo/fault?kind=none")
        self.assertEqual(server.get(self.KEST)[0], 200)

    def test_bad_arming_requests(self):
        for query in ("kind=crash", "kind=404&count=0", "kind=404&count=x", ""):
            self.assertEqual(server.get("/demo/fault?" + query)[0], 400, query)
        self.assertEqual(server.get(self.KEST)[0], 200)

    def test_arming_is_not_logged_and_armed_requests_are(self):
        with tempfile_log() as (path, running):
            running.get("/demo/fault?kind=404&path=/kest/")
            self.assertEqual(running.get(self.KEST)[0], 404)
            with open(path) as stream:
                paths = [json.loads(line)["path"] for line in stream]
            self.assertEqual(paths, ["/kest/data/P56/download"])


class tempfile_log:
    """A second server on the same atlases with a request log."""

    def __enter__(self):
        self.path = os.path.join(folder.name, "armed.log")
        self.running = support.RunningServer([folder.name], self.path)
        return self.path, self.running

    def __exit__(self, *exc):
        self.running.stop()
        os.remove(self.path)


class ZoomifyFaultTest(unittest.TestCase):
    """A Zoomify image path ending in "fault-<kind>" serves the image named by the rest, with that fault."""

    IMAGE = "sections/310/P56/coronal/0"
    TARGETS = {
        "properties": "/tiles/%s/ImageProperties.xml",
        "tile": "/tiles/%s/TileGroup/0-0-0.jpg",
        "region": "/imageservice?path=%s&zoom=0&top=0&left=0&width=20&height=16",
    }

    def test_every_kind_on_every_zoomify_target(self):
        for name, target in self.TARGETS.items():
            status, _, whole = server.get(target % self.IMAGE)
            self.assertEqual(status, 200, name)
            for kind, check in (
                    ("404", lambda s, h, b: s == 404 and h["Content-Type"].startswith("text/html")),
                    ("500", lambda s, h, b: s == 500),
                    ("html", lambda s, h, b: s == 200 and b == faults.HTML_BODY),
                    ("truncated", lambda s, h, b: s == 200 and b == whole[:len(whole) // 2]),
                    ("chunked", lambda s, h, b: s == 200 and b == whole and "Content-Length" not in h)):
                with self.subTest(target=name, kind=kind):
                    status, headers, body = server.get(target % (self.IMAGE + "/fault-" + kind))
                    self.assertTrue(check(status, headers, body), (status, dict(headers), body[:80]))

    def test_malformed_properties_and_unknown_pieces(self):
        status, _, body = server.get(self.TARGETS["properties"] % (self.IMAGE + "/fault-malformed"))
        self.assertEqual(status, 200)
        with self.assertRaises(ET.ParseError):
            ET.fromstring(body)
        # Only a known kind is a fault piece; anything else names no image.
        self.assertEqual(server.get(self.TARGETS["tile"] % (self.IMAGE + "/fault-unknown"))[0], 404)
        self.assertEqual(server.get(self.TARGETS["tile"] % "fault-html")[0], 404)

    def test_split_image_path(self):
        for path, expected in (("a/b/fault-slow", ("a/b", "slow")), ("a/b", ("a/b", None)),
                               ("fault-html", ("fault-html", None)), ("a/fault-nothing", ("a/fault-nothing", None)),
                               ("a/fault-html/b", ("a/fault-html/b", None))):
            self.assertEqual(faults.split_image_path(path), expected, path)


class HostileRequestTest(unittest.TestCase):
    def test_other_methods_are_refused(self):
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=support.TIMEOUT)
        connection.request("POST", "/Corvane2/atlases.xml", body=b"x")
        self.assertEqual(connection.getresponse().status, 405)
        connection.close()
        # A body that is never read must not be taken for the next request on the connection.
        smuggled = b"GET /Corvane2/mac-appcast.xml HTTP/1.1\r\nHost: x\r\n\r\n"
        with socket.create_connection(("127.0.0.1", server.port), timeout=support.TIMEOUT) as sock:
            sock.sendall(b"POST /Corvane2/atlases.xml HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n%s"
                         % (len(smuggled), smuggled))
            received = b""
            while True:
                piece = sock.recv(65536)
                if not piece:
                    break
                received += piece
        self.assertIn(b" 405 ", received)
        self.assertNotIn(b"rss", received)

    def test_garbage_request_line(self):
        with socket.create_connection(("127.0.0.1", server.port), timeout=support.TIMEOUT) as sock:
            sock.sendall(b"\x00\xffNONSENSE\r\n\r\n")
            sock.settimeout(support.TIMEOUT)
            answer = sock.recv(100)
            # Either an error status or a closed connection; never a served page.
            self.assertNotIn(b" 200 ", answer)
            self.assertTrue(answer == b"" or b"rror" in answer, answer)
        self.assertEqual(server.get("/Corvane2/mac-appcast.xml")[0], 200)

    def test_odd_paths(self):
        for path in ("/grid/0310/%d/visualize/../../../etc/passwd" % SERIES, "/%00", "/tiles/" + "a" * 5000,
                     "/tiles/../../Info.xml/ImageProperties.xml", "/demo/microarray?atlas=x"):
            self.assertIn(server.get(path)[0], (400, 404), path)

    def raw_status(self, target):
        """The status line's code for a request target sent as it stands; None when the server hangs up."""
        with socket.create_connection(("127.0.0.1", server.port), timeout=support.TIMEOUT) as sock:
            sock.sendall(b"GET " + target.encode("latin-1") + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            answer = b""
            while True:
                piece = sock.recv(65536)
                if not piece:
                    break
                answer += piece
        return int(answer.split(b" ", 2)[1]) if answer.startswith(b"HTTP/") else None

    def test_unparsable_targets_and_overlong_numbers_are_bad_requests(self):
        huge = "9" * 400
        too_long = "9" * 5000
        targets = [
            "http://[::1/Corvane2/atlases.xml",
            "/kest/data/P56/download?seed=%s,5000,5000&age=P56" % huge,
            "/kest/data/P56/download?seed=3000,%s,5000&age=P56" % too_long,
            "/kest/data/P56/download?seed=3000,5000,-%s&age=P56" % huge,
            "/data/P56/projection_map/target?seedPoint=%s,5000,5000&seedAge=P56" % huge,
            "/data/P56/projection_map/target?seedPoint=3000,%s,5000&seedAge=P56" % too_long,
            "/imageservice?path=sections/310/P56/coronal/0&zoom=0&top=%s&left=0&width=10&height=10" % huge,
            "/imageservice?path=sections/310/P56/coronal/0&zoom=0&top=%s&left=0&width=10&height=10" % too_long,
        ]
        for target in targets:
            self.assertEqual(self.raw_status(target), 400, target[:120])
        self.assertEqual(server.get("/Corvane2/atlases.xml")[0], 200)

    def test_listens_on_loopback_only(self):
        self.assertEqual(server.server.server_address[0], "127.0.0.1")

    def test_a_burst_of_connections_waits_to_be_accepted(self):
        """A page of thumbnails connects all at once: the kernel queues the connections of a server that
        has not accepted them yet instead of dropping them (which costs a client a second per retry)."""
        idle = DemoServer(server.data, 0)  # listening, accepting nothing
        sockets = [socket.socket() for _ in range(20)]
        try:
            for sock in sockets:
                sock.setblocking(False)
                sock.connect_ex(("127.0.0.1", idle.server_address[1]))
            pending = list(sockets)
            deadline = time.monotonic() + 10
            while pending and time.monotonic() < deadline:
                _, connected, _ = select.select([], pending, [], 0.1)
                pending = [sock for sock in pending if sock not in connected]
            self.assertEqual(len(pending), 0)
        finally:
            for sock in sockets:
                sock.close()
            idle.server_close()


class AtlasFolderTest(unittest.TestCase):
    def test_broken_atlases_are_skipped_and_missing_volumes_tolerated(self):
        with support.temporary_folder() as root:
            fixture.write_atlas(os.path.join(root, "good"), 310, "0310", "Good", ["P56"], ["0310"])
            os.remove(os.path.join(root, "good", "Spaces", "P56", "Annotation"))
            os.remove(os.path.join(root, "good", "Spaces", "P56", "Atlas"))
            for name, text in (("broken", "<atlas name=\"x\" id=\"7\""), ("no-id", "<atlas name=\"y\"/>")):
                os.makedirs(os.path.join(root, name))
                with open(os.path.join(root, name, "Info.xml"), "w") as out:
                    out.write(text)
            local = support.RunningServer([root])
            try:
                self.assertEqual([a.id for a in local.data.atlases], [310])
                body = local.get("/search/0310/gene?start=0&num=1&term=")[2]
                sid = ET.fromstring(body).findtext("gene/image-series/image-series/id")
                archive = zipfile.ZipFile(io.BytesIO(local.get("/grid/0310/%s/visualize" % sid)[2]))
                self.assertEqual(len(archive.read("intensity.raw")), 12 * 8 * 10)
                status, _, tile = local.get("/tiles/sections/310/P56/coronal/0/TileGroup/0-0-0.jpg")
                self.assertEqual(status, 200)
                self.assertEqual(max(support.decode_jpeg(tile)[2]) > 200, True)
            finally:
                local.stop()


class CommandLineTest(unittest.TestCase):
    def test_port_zero_prints_the_port_first(self):
        process = subprocess.Popen([sys.executable, support.SCRIPT, "--atlases", folder.name, "--port", "0"],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            port = int(process.stdout.readline())
            self.assertGreater(port, 0)
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=support.TIMEOUT)
            connection.request("GET", "/Corvane2/atlases.xml")
            self.assertEqual(connection.getresponse().status, 200)
            connection.close()
        finally:
            process.terminate()
            process.wait(support.TIMEOUT)
            process.stdout.close()
            process.stderr.close()

    def test_bad_arguments(self):
        done = subprocess.run([sys.executable, support.SCRIPT, "--atlases", os.path.join(folder.name, "none")],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=support.TIMEOUT)
        self.assertEqual(done.returncode, 2)
        done = subprocess.run([sys.executable, support.SCRIPT, "--port", str(server.port)],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=support.TIMEOUT)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"Cannot listen", done.stderr)


if __name__ == "__main__":
    unittest.main()
