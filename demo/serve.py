#!/usr/bin/env python3
"""Serves the demo's banner and lesson videos on loopback, with byte ranges so the
player can seek."""
import errno
import http.server
import os
import re
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_head(self):
        path = self.translate_path(self.path)
        match = re.match(r"bytes=(\d*)-(\d*)$", self.headers.get("Range", ""))
        if not match or not os.path.isfile(path):
            return super().send_head()
        size = os.path.getsize(path)
        first = int(match.group(1)) if match.group(1) else max(0, size - int(match.group(2) or 0))
        last = int(match.group(2)) if match.group(1) and match.group(2) else size - 1
        last = min(last, size - 1)
        if first > last:
            self.send_error(416)
            return None
        f = open(path, "rb")
        f.seek(first)
        self.send_response(206)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        self.remaining = last - first + 1
        return f

    def copyfile(self, source, outputfile):
        remaining = getattr(self, "remaining", None)
        if remaining is None:
            return super().copyfile(source, outputfile)
        while remaining > 0:
            chunk = source.read(min(65536, remaining))
            if not chunk:
                break
            outputfile.write(chunk)
            remaining -= len(chunk)


if __name__ == "__main__":
    root, port = sys.argv[1], int(sys.argv[2])
    os.chdir(root)
    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    except OSError as e:
        if e.errno == errno.EADDRINUSE:
            sys.exit(f"run-demo.sh: port {port} (web server) is taken on 127.0.0.1; "
                     "set DEMO_HTTP_PORT to a free port")
        sys.exit(f"run-demo.sh: the web server cannot listen on 127.0.0.1:{port}: {e.strerror}")
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
