"""Conditional HTTP(S) downloads with retries and backoff, safe to interrupt at any moment.

A file is written to a ".part" name and renamed only when complete, so a killed run leaves either the old file
or none; its validators (ETag, Last-Modified) sit beside it in a ".meta" JSON file and go out as
If-None-Match / If-Modified-Since on the next request.
"""

import email.utils
import json
import os
import random
import ssl
import time
import urllib.error
import urllib.request

from . import log

USER_AGENT = "solvane-publish/1"


class Fetcher:
    def __init__(self, retries=3, backoff=1.0, timeout=60):
        self.retries = retries
        self.backoff = backoff
        self.timeout = timeout
        # The default context honours SSL_CERT_FILE, which a test source or a private CA needs.
        self.context = ssl.create_default_context()
        self.downloads = 0

    def _request(self, url, headers):
        request = urllib.request.Request(url, headers=dict(headers, **{"User-Agent": USER_AGENT}))
        return urllib.request.urlopen(request, timeout=self.timeout, context=self.context)

    def fetch(self, url, path, conditional=True, check=None):
        """Downloads `url` to `path`. Returns "changed", "unchanged" (304), "missing" (404/410) or "failed".
        `check(part_path)` may refuse the bytes (returns a reason); the refused file is not kept."""
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
        for attempt in range(self.retries + 1):
            if attempt:
                time.sleep(self.backoff * (2 ** (attempt - 1)) * (0.5 + random.random()))
            try:
                with self._request(url, headers) as response:
                    with open(part, "wb") as out:
                        while True:
                            block = response.read(1 << 20)
                            if not block:
                                break
                            out.write(block)
                    validators = {"etag": response.headers.get("ETag"),
                                  "last_modified": response.headers.get("Last-Modified")}
                reason = check(part) if check else None
                if reason:
                    os.unlink(part)
                    log.line("fetch %s: refused: %s" % (url, reason))
                    return "refused"
                os.replace(part, path)
                write_json(meta_path, validators)
                self.downloads += 1
                return "changed"
            except urllib.error.HTTPError as error:
                if error.code == 304:
                    return "unchanged"
                if error.code in (404, 410):
                    return "missing"
                failure = "HTTP %d" % error.code
                if error.code < 500 and error.code != 429:
                    log.line("fetch %s: %s" % (url, failure))
                    return "failed"
            except (urllib.error.URLError, OSError, ssl.SSLError) as error:
                failure = str(getattr(error, "reason", error))
            finally:
                if os.path.exists(part):
                    os.unlink(part)
        log.line("fetch %s: %s after %d tries" % (url, failure, self.retries + 1))
        return "failed"


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
