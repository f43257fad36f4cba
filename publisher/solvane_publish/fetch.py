"""Conditional HTTP(S) downloads with retries and backoff, safe to interrupt at any moment.

A file is written to a ".part" name and renamed only when complete, so a killed run leaves either the old file
or none; its validators (ETag, Last-Modified) sit beside it in a ".meta" JSON file and go out as
If-None-Match / If-Modified-Since on the next request.

Every source is treated as untrusted: a download has an overall deadline (a server that trickles bytes cannot
hold a run), a body stops at a size cap, and redirects are followed only to https.
"""

import email.utils
import http.client
import json
import os
import random
import socket
import ssl
import threading
import time
import urllib.parse

from . import log

USER_AGENT = "solvane-publish/1"
MAX_REDIRECTS = 5
# A body larger than this is refused unless the caller names its own cap.
DEFAULT_CAP = 64 << 20


class Refused(Exception):
    """An answer we will not take (too big, a redirect off https); not worth another try."""


class Fetcher:
    def __init__(self, retries=3, backoff=1.0, timeout=30, deadline=300):
        self.retries = retries
        self.backoff = backoff
        self.timeout = timeout  # for one connect or one read
        self.deadline = deadline  # for a whole download, redirects included
        # The default context honours SSL_CERT_FILE, which a test source or a private CA needs.
        self.context = ssl.create_default_context()
        self.lock = threading.Lock()
        self.downloads = 0
        self.requests = 0
        self.received = 0

    def _count(self, requests=0, received=0):
        with self.lock:
            self.requests += requests
            self.received += received

    def _open(self, url, headers, until):
        """(connection, response) for `url`, following redirects that stay on https. Raises Refused, OSError or
        http.client.HTTPException."""
        for _ in range(MAX_REDIRECTS + 1):
            parts = urllib.parse.urlsplit(url)
            if parts.scheme not in ("https", "http") or not parts.hostname:
                raise Refused("not an http(s) address")
            left = until - time.monotonic()
            if left <= 0:
                raise socket.timeout("no answer within the deadline")
            timeout = min(self.timeout, left)
            if parts.scheme == "https":
                connection = http.client.HTTPSConnection(parts.hostname, parts.port, timeout=timeout,
                                                         context=self.context)
            else:
                connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=timeout)
            target = (parts.path or "/") + ("?" + parts.query if parts.query else "")
            connection.connect()
            _Watchdog.arm(connection, until)
            self._count(requests=1)
            connection.request("GET", target, headers=dict(headers, **{"User-Agent": USER_AGENT}))
            response = connection.getresponse()
            if response.status in (301, 302, 303, 307, 308):
                location = response.getheader("Location") or ""
                response.close()
                _Watchdog.disarm(connection)
                connection.close()
                url = urllib.parse.urljoin(url, location)
                if urllib.parse.urlsplit(url).scheme != "https":
                    raise Refused("redirected off https to %s" % url.split("?")[0])
                continue
            return connection, response
        raise Refused("more than %d redirects" % MAX_REDIRECTS)

    def fetch(self, url, path, conditional=True, check=None, cap=DEFAULT_CAP):
        """Downloads `url` to `path`. Returns "changed", "unchanged" (304), "missing" (404/410), "refused" or
        "failed". `check(part_path)` may refuse the bytes (returns a reason); the refused file is not kept. A
        body over `cap` bytes is refused, and so is a download that passes the deadline on every try."""
        meta_path = path + ".meta"
        headers = {}
        if conditional and os.path.exists(path):
            meta = read_json(meta_path) or {}
            if meta.get("etag"):
                headers["If-None-Match"] = meta["etag"]
            if meta.get("last_modified"):
                headers["If-Modified-Since"] = meta["last_modified"]
        part = path + ".part"
        os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
        failure = "no answer"
        for attempt in range(self.retries + 1):
            if attempt:
                time.sleep(self.backoff * (2 ** (attempt - 1)) * (0.5 + random.random()))
            connection = None
            try:
                until = time.monotonic() + self.deadline
                connection, response = self._open(url, headers, until)
                status = response.status
                if status == 304:
                    return "unchanged"
                if status in (404, 410):
                    return "missing"
                if status != 200:
                    failure = "HTTP %d" % status
                    if status < 500 and status != 429:
                        log.line("fetch %s: %s" % (url, failure))
                        return "failed"
                    continue
                declared = response.getheader("Content-Length")
                if declared and declared.isdigit() and int(declared) > cap:
                    raise Refused("%s bytes is over the %d MiB cap" % (declared, cap >> 20))
                size = 0
                with open(part, "wb") as out:
                    while True:
                        block = response.read1(1 << 20)
                        if not block:
                            break
                        size += len(block)
                        self._count(received=len(block))
                        if size > cap:
                            raise Refused("the body passes the %d MiB cap" % (cap >> 20))
                        if time.monotonic() > until:
                            raise socket.timeout("not complete within %d s" % self.deadline)
                        out.write(block)
                if time.monotonic() > until:  # the watchdog cut it short: what came is not the whole answer
                    raise socket.timeout("not complete within %d s" % self.deadline)
                if declared and declared.isdigit() and size != int(declared):
                    raise OSError("the body ended after %d of %s bytes" % (size, declared))
                validators = {"etag": response.getheader("ETag"), "last_modified": response.getheader("Last-Modified")}
                reason = check(part) if check else None
                if reason:
                    log.line("fetch %s: refused: %s" % (url, reason))
                    return "refused"
                os.replace(part, path)
                write_json(meta_path, validators)
                with self.lock:
                    self.downloads += 1
                return "changed"
            except Refused as error:
                log.line("fetch %s: refused: %s" % (url, error))
                return "refused"
            except (OSError, http.client.HTTPException, ssl.SSLError, ValueError) as error:
                failure = str(error) or type(error).__name__
                if time.monotonic() > until:
                    failure = "not complete within %d s" % self.deadline
            finally:
                if connection is not None:
                    _Watchdog.disarm(connection)
                    connection.close()
                if os.path.exists(part):
                    os.unlink(part)
        log.line("fetch %s: %s after %d tries" % (url, failure, self.retries + 1))
        return "failed"


class _Watchdog:
    """Shuts a connection's socket when its download's deadline passes, wherever the download is waiting
    (a header that never ends, a body that trickles)."""

    _timers = {}
    _lock = threading.Lock()

    @classmethod
    def arm(cls, connection, until):
        def expire():
            try:
                connection.sock.shutdown(socket.SHUT_RDWR)
            except (OSError, AttributeError):
                pass

        timer = threading.Timer(max(0.0, until - time.monotonic()), expire)
        timer.daemon = True
        with cls._lock:
            old = cls._timers.pop(id(connection), None)
            cls._timers[id(connection)] = timer
        if old:
            old.cancel()
        timer.start()

    @classmethod
    def disarm(cls, connection):
        with cls._lock:
            timer = cls._timers.pop(id(connection), None)
        if timer:
            timer.cancel()


def read_json(path):
    try:
        with open(path, "rb") as f:
            return json.loads(f.read())
    except (OSError, ValueError):
        return None


def write_json(path, value):
    write_atomic(path, json.dumps(value, ensure_ascii=False, indent=1).encode())


def write_atomic(path, data):
    """Writes `data` beside `path` and renames it into place: readers see the old file or the new one."""
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    part = "%s.%d.part" % (path, os.getpid())
    with open(part, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.chmod(part, 0o644)
    os.replace(part, path)


def http_date(when):
    return email.utils.format_datetime(when, usegmt=True)
