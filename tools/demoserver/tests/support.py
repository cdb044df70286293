"""A demo server on a free loopback port for the tests, and small readers of its answers."""

import io
import os
import subprocess
import sys
import tempfile
import threading
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.dirname(HERE)
SCRIPT = os.path.join(TOOL, "corvane-demo-server.py")
sys.path.insert(0, TOOL)
sys.path.insert(0, HERE)

from demoserver.server import DemoData, DemoServer  # noqa: E402

USER_AGENT = "Corvane/2.0.0 (Linux test) CV/200"
TIMEOUT = 20


class RunningServer:
    def __init__(self, folders, log_path=None):
        self.data = DemoData(folders, log_path)
        self.server = DemoServer(self.data, 0)
        self.port = self.server.server_address[1]
        self.base = "http://127.0.0.1:%d" % self.port
        self.thread = threading.Thread(target=self.server.serve_forever, kwargs={"poll_interval": 0.05})
        self.thread.daemon = True
        self.thread.start()

    def get(self, path, user_agent=USER_AGENT):
        """(status, headers, body) of a GET; error statuses are answers, not exceptions."""
        request = urllib.request.Request(self.base + path, headers={"User-Agent": user_agent})
        try:
            with urllib.request.urlopen(request, timeout=TIMEOUT) as response:
                return response.status, response.headers, response.read()
        except urllib.error.HTTPError as error:
            return error.code, error.headers, error.read()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(TIMEOUT)


def decode_jpeg(data):
    """(width, height, gray pixels) through libjpeg's djpeg, independent of the server's encoder."""
    done = subprocess.run(["djpeg", "-grayscale", "-pnm"], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=TIMEOUT, check=True)
    stream = io.BytesIO(done.stdout)
    assert stream.readline().strip() == b"P5"
    width, height = (int(v) for v in stream.readline().split())
    stream.readline()
    return width, height, stream.read()


def temporary_folder():
    return tempfile.TemporaryDirectory(prefix="corvane-demo-")
