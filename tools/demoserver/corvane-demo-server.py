#!/usr/bin/env python3
"""Corvane demo data server: serves generated atlases and synthetic data sets on 127.0.0.1.

The first line of output is the port it listens on (useful with --port 0).
"""

import argparse
import os
import signal
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from demoserver.server import DemoData, DemoServer  # noqa: E402

DEFAULT_PORT = 8470


def _stop(signum, frame):
    raise KeyboardInterrupt()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--atlases", action="append", default=[], metavar="DIR",
                        help="folder holding generated atlas folders (or one atlas folder); repeatable")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT,
                        help="port on 127.0.0.1 (default %d; 0 picks a free one)" % DEFAULT_PORT)
    parser.add_argument("--log", metavar="FILE",
                        help="append one JSON line per request (method, path, query, user_agent)")
    parser.add_argument("--verbose", action="store_true", help="print every request on stderr")
    args = parser.parse_args(argv)
    for folder in args.atlases:
        if not os.path.isdir(folder):
            parser.error("not a folder: " + folder)
    if not 0 <= args.port <= 65535:
        parser.error("port out of range: %d" % args.port)
    data = DemoData(args.atlases, args.log)
    try:
        server = DemoServer(data, args.port, quiet=not args.verbose)
    except OSError as error:
        print("Cannot listen on 127.0.0.1:%d: %s" % (args.port, error.strerror or error), file=sys.stderr)
        return 1
    port = server.server_address[1]
    print(port, flush=True)
    threading.Thread(target=data.warm_up, daemon=True).start()
    print("Serving %d atlas(es) at http://127.0.0.1:%d" % (len(data.atlases), port), flush=True)
    signal.signal(signal.SIGTERM, _stop)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
