"""A local stand-in for the JSOC near-real-time AIA synoptic source: synthetic FITS files written with astropy
in the source's layout, served over HTTPS with directory listings and ETags, logging every request.
Used by the tests and by bench/bench-publish."""

import datetime
import email.utils
import html
import http.server
import math
import os
import re
import shutil
import socketserver
import ssl
import subprocess
import threading
import urllib.parse
import warnings

import numpy
from astropy.io import fits
from astropy.utils.exceptions import AstropyWarning

CHANNELS = (94, 131, 171, 193, 211, 304, 335, 1600, 1700)
REAL_AIA = "/usr/lib/python3/dist-packages/sunpy/data/test/aia_171_level1.fits"
# Typical disc brightness per channel (DN/s), so each channel has its own range.
LEVEL = {94: 2.0, 131: 8.0, 171: 300.0, 193: 500.0, 211: 150.0, 304: 60.0, 335: 6.0, 1600: 80.0, 1700: 900.0}


def name_for(when, channel):
    return "AIA%s_%04d.fits" % (when.strftime("%Y%m%d_%H%M%S"), channel)


def folder_for(root, when):
    return os.path.join(root, when.strftime("%Y/%m/%d"), "H%s00" % when.strftime("%H"))


def synthetic_image(when, channel, size, flare=0.0):
    """A limb-brightened disc with three bright points that move with time; values in DN for 2 s exposure.
    `flare` > 0 adds a compact region that many times outshines the disc."""
    y, x = numpy.indices((size, size), dtype=numpy.float64)
    centre, radius = (size - 1) / 2.0, size * 0.39
    r = numpy.hypot(x - centre, y - centre) / radius
    disc = numpy.where(r < 1, 0.7 + 0.3 * r ** 2, 0.3 * numpy.exp(-(r - 1) * 8))
    hours = when.timestamp() / 3600.0
    for k in range(3):
        angle = hours * 0.6 + k * 2.1
        px, py = centre + 0.6 * radius * math.cos(angle), centre + 0.6 * radius * math.sin(angle)
        disc += 3.0 * numpy.exp(-((x - px) ** 2 + (y - py) ** 2) / (2 * (size * 0.03) ** 2))
    if flare:
        px, py = centre - 0.4 * radius, centre + 0.3 * radius
        disc += flare * numpy.exp(-((x - px) ** 2 + (y - py) ** 2) / (2 * (size * 0.05) ** 2))
    return (disc * LEVEL[channel] * 2.0).astype(numpy.float32)


def level1_header():
    """The keys of a real AIA level-1 header (from sunpy's test file), without its layout keys."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", AstropyWarning)
        with fits.open(REAL_AIA) as hdus:
            header = hdus[0].header.copy()
    for key in ("SIMPLE", "BITPIX", "NAXIS", "NAXIS1", "NAXIS2", "EXTEND", "BSCALE", "BZERO", "BLANK", "CHECKSUM",
                "DATASUM"):
        header.remove(key, ignore_missing=True, remove_all=True)
    return header


_TEMPLATE = []


def write_fits(path, data, when, channel, size, exposure=2.0, quality=0, img_type="LIGHT", compressed=True):
    """A level-1.5 file as the synoptic feed has them: a full level-1 header and, by default, RICE-compressed
    scaled 16-bit integers (BSCALE 1/16) in an extension."""
    if not _TEMPLATE:
        _TEMPLATE.append(level1_header())
    header = _TEMPLATE[0].copy()
    header["T_OBS"] = when.strftime("%Y-%m-%dT%H:%M:%S.00Z")
    header["DATE-OBS"] = (when - datetime.timedelta(seconds=exposure / 2)).strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3]
    header["WAVELNTH"] = channel
    header["EXPTIME"] = exposure
    header["QUALITY"] = quality
    header["IMG_TYPE"] = img_type
    header["CRPIX1"] = header["CRPIX2"] = (size + 1) / 2.0
    header["CDELT1"] = header["CDELT2"] = 2.4 * 1024 / size
    header["RSUN_OBS"] = 0.39 * size * header["CDELT1"]
    header["R_SUN"] = 0.39 * size
    os.makedirs(os.path.dirname(path), exist_ok=True)
    counts = data * (exposure / 2.0)
    if not compressed:
        fits.PrimaryHDU(counts.astype(numpy.float32), header).writeto(path, overwrite=True)
        return
    header["BSCALE"], header["BZERO"] = 0.0625, 0.0
    scaled = numpy.clip(numpy.round(counts / 0.0625), -32768, 32767).astype(numpy.int16)
    image = fits.CompImageHDU(scaled, header=header, compression_type="RICE_1", do_not_scale_image_data=True)
    fits.HDUList([fits.PrimaryHDU(), image]).writeto(path, overwrite=True)


def observation_times(start, end, step_minutes=3):
    times, when = [], start
    while when <= end:
        times.append(when)
        when += datetime.timedelta(minutes=step_minutes)
    return times


def make_source(root, start, end, size=64, gaps=(), stops=(), corrupt=(), real_171=None, eclipse=None, odd=None,
                flares=(), late=()):
    """Writes one file per channel every 3 minutes from `start` to `end`. `gaps`: (channel, from, to) with no
    files; `stops`: (channel, time) after which a channel has none; `corrupt`: (channel, time) truncated files;
    `real_171`: a time whose 171 file is the real AIA frame of sunpy's test data; `eclipse`: (from, to) when every
    channel's frames are dark and flagged in QUALITY; `odd`: {(channel, time): header keys} for frames the feed
    marks (IMG_TYPE, EXPTIME, QUALITY); `flares`: (channel, from, to) when a region flares; `late`: (channel,
    time) files held back (the test writes them later with `write_one`). Returns {channel: [good times]}."""
    written = {c: [] for c in CHANNELS}
    odd = odd or {}
    for when in observation_times(start, end):
        for channel in CHANNELS:
            if any(c == channel and a <= when <= b for c, a, b in gaps):
                continue
            if any(c == channel and when > t for c, t in stops):
                continue
            if (channel, when) in late:
                continue
            path = os.path.join(folder_for(root, when), name_for(when, channel))
            if channel == 171 and when == real_171:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                shutil.copyfile(REAL_AIA, path)
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore", AstropyWarning)
                    fits.setval(path, "T_OBS", value=when.strftime("%Y-%m-%dT%H:%M:%S.00Z"))
                written[channel].append(when)
                continue
            keys = dict(odd.get((channel, when), {}))
            flare = 40.0 if any(c == channel and a <= when <= b for c, a, b in flares) else 0.0
            data = synthetic_image(when, channel, size, flare)
            if eclipse and eclipse[0] <= when <= eclipse[1]:
                data *= 0.03
                keys.setdefault("quality", 0x00000800)
            write_fits(path, data, when, channel, size, **keys)
            if (channel, when) in corrupt:
                with open(path, "rb") as f:
                    head = f.read(1500)
                with open(path, "wb") as f:
                    f.write(head)
            elif not keys or keys == {"exposure": 2.0}:
                written[channel].append(when)
    write_image_times(root, end)
    return written


def write_one(root, when, channel, size=64):
    """One good file written now, into its hour folder (a file the source produces out of time order)."""
    write_fits(os.path.join(folder_for(root, when), name_for(when, channel)), synthetic_image(when, channel, size),
               when, channel, size)


def write_image_times(root, newest):
    lines = ["Time %s" % newest.strftime("%Y%m%d_%H%M%S")]
    for channel in CHANNELS:
        lines.append("%04d %s/%s" % (channel, folder_for("", newest).lstrip("/"), name_for(newest, channel)))
    with open(os.path.join(root, "image_times.part"), "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(os.path.join(root, "image_times.part"), os.path.join(root, "image_times"))


def make_movie(path, seconds=8, size=64):
    """A stand-in for NASA's 48-hour movie."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=%dx%d:rate=24:duration=%d" % (size, size, seconds), "-c:v", "libx264",
                    "-pix_fmt", "yuv420p", path], check=True)


def make_certificate(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                    "subjectAltName=IP:127.0.0.1,DNS:localhost"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    os.chmod(key, 0o644)
    return cert, key


def stamp_time(body, name):
    """The FITS bytes with T_OBS set to the time in the file's name (the card keeps its width)."""
    match = re.match(r"AIA(\d{4})(\d\d)(\d\d)_(\d\d)(\d\d)(\d\d)_", name)
    card = body.find(b"T_OBS   = '")
    if not match or card < 0:
        return body
    text = "%s-%s-%sT%s:%s:%s.00Z" % match.groups()
    return body[:card + 11] + text.encode() + body[card + 11 + len(text):]


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        local = os.path.normpath(os.path.join(server.root, path.lstrip("/")))
        with server.lock:
            failing = server.faults.get(path, 0)
            if failing:
                server.faults[path] = failing - 1
        if failing:
            return self._answer(503, b"busy", path)
        if not local.startswith(server.root) or not os.path.exists(local):
            return self._answer(404, b"not found", path)
        if os.path.isdir(local):
            if not path.endswith("/"):
                return self._answer(404, b"not found", path)
            names = sorted(os.listdir(local))
            body = "<html><body><h1>Index of %s</h1><pre>\n%s</pre></body></html>\n" % (
                html.escape(path), "\n".join('<a href="%s">%s</a>' % (n, n) for n in names))
            body = body.encode()
            stat = os.stat(local)
            tag = '"d%x-%x"' % (len(body), hash(body) & 0xffffffff)
        else:
            stat = os.stat(local)
            tag = '"%x-%x"' % (stat.st_size, stat.st_mtime_ns)
            body = None
        if self.headers.get("If-None-Match") == tag:
            return self._answer(304, b"", path, tag)
        if body is None:
            with open(local, "rb") as f:
                body = f.read()
            if server.stamp_times and local.endswith(".fits"):
                body = stamp_time(body, os.path.basename(local))
        self._answer(200, body, path, tag, email.utils.formatdate(stat.st_mtime, usegmt=True))

    def _answer(self, status, body, path, tag=None, modified=None):
        with self.server.lock:
            self.server.requests.append((path, status))
            self.server.sent += len(body) if status == 200 else 0
        self.send_response(status)
        if tag:
            self.send_header("ETag", tag)
        if modified:
            self.send_header("Last-Modified", modified)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if status != 304:
            self.wfile.write(body)


class SourceServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    """HTTPS on a free loopback port, serving `root`; `requests` lists (path, status) in order; `faults` maps a
    path to how many of its next requests get 503."""
    daemon_threads = True

    def __init__(self, root, cert, key):
        super().__init__(("127.0.0.1", 0), _Handler)
        self.root = os.path.abspath(root)
        self.requests = []
        self.sent = 0
        self.faults = {}
        self.stamp_times = False  # files shared by many times get each name's time in T_OBS as they go out
        self.lock = threading.Lock()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        self.socket = context.wrap_socket(self.socket, server_side=True)
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()

    @property
    def url(self):
        return "https://127.0.0.1:%d" % self.server_address[1]

    def stop(self):
        self.shutdown()
        self.server_close()

    def taken(self):
        with self.lock:
            done = list(self.requests)
            self.requests.clear()
        return done
