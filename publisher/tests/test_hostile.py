"""Sources that stall, flood, redirect away from https or send a decompression bomb cannot hold or sink a run."""

import http.server
import os
import resource
import socketserver
import ssl
import threading
import time
import warnings

import numpy
import pytest
from astropy.io import fits

import jsoc_source
from solvane_publish import fitsfile, images
from solvane_publish.fetch import Fetcher


class Hostile(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        port = self.server.server_address[1]
        if self.path == "/trickle":  # one byte now and then, for ever
            self.send_response(200)
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            try:
                for _ in range(200):
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(0.3)
            except OSError:
                pass
            return
        if self.path == "/slow-headers":  # a header that never ends
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            try:
                for _ in range(200):
                    self.wfile.write(b"X")
                    self.wfile.flush()
                    time.sleep(0.3)
            except OSError:
                pass
            return
        if self.path.startswith("/to-"):
            target = {"/to-http": "http://127.0.0.1:%d/small" % port, "/to-ftp": "ftp://127.0.0.1/small",
                      "/to-https": "https://127.0.0.1:%d/small" % port}[self.path]
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        body = {"/small": b"fine", "/flood": b"y" * (3 << 20)}.get(self.path)
        if self.path == "/bomb.fits":
            with open(self.server.bomb, "rb") as f:
                body = f.read()
        self.send_response(200 if body is not None else 404)
        if self.path == "/flood":
            self.send_header("Connection", "close")  # no length: the body just goes on
        else:
            self.send_header("Content-Length", str(len(body or b"")))
        self.end_headers()
        self.wfile.write(body or b"")


class HostileServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    block_on_close = False


@pytest.fixture(scope="module")
def hostile(tmp_path_factory):
    folder = str(tmp_path_factory.mktemp("hostile"))
    cert, key = jsoc_source.make_certificate(folder)
    server = HostileServer(("127.0.0.1", 0), Hostile)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    # 1.4 MB of RICE-compressed zeros that unpack to 256 MiB.
    server.bomb = os.path.join(folder, "bomb.fits")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(numpy.zeros((8192, 8192), dtype=numpy.int32),
                                                           compression_type="RICE_1")]).writeto(server.bomb)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    os.environ["SSL_CERT_FILE"] = cert
    yield "https://127.0.0.1:%d" % server.server_address[1], folder
    server.shutdown()
    del os.environ["SSL_CERT_FILE"]


@pytest.mark.parametrize("path, outcome, cap", [
    ("/small", "changed", 1 << 20),
    ("/trickle", "failed", 1 << 20),  # the deadline ends it, though bytes keep coming
    ("/slow-headers", "failed", 1 << 20),
    ("/flood", "refused", 1 << 20),  # stops at the cap on disk
    ("/to-https", "changed", 1 << 20),
    ("/to-http", "refused", 1 << 20),
    ("/to-ftp", "refused", 1 << 20),
    ("/bomb.fits", "refused", 64 << 20),  # refused from its header, before its pixels are unpacked
])
def test_a_download_is_bounded_in_time_size_and_where_it_goes(hostile, path, outcome, cap):
    base, folder = hostile
    fetcher = Fetcher(retries=0, backoff=0.01, timeout=1, deadline=2)
    target = os.path.join(folder, "got" + path.replace("/", "-"))
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    started = time.monotonic()
    check = fitsfile.problem if path.endswith(".fits") else None
    assert fetcher.fetch(base + path, target, conditional=False, check=check, cap=cap) == outcome
    assert time.monotonic() - started < 4.0
    assert os.path.exists(target) == (outcome == "changed")
    assert not os.path.exists(target + ".part")
    assert (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) < 100 << 10  # KiB: under 100 MiB
    if path == "/bomb.fits":
        with pytest.raises(fitsfile.TooLarge):
            images.read_frame(os.path.join(folder, "..", os.path.basename(folder), "bomb.fits"), 64)
