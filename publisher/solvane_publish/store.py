"""Publishing the tree to object storage through the S3 API (boto3), for a mirror served by any CDN.

The run builds the tree in a local folder exactly as for a web server, then brings the bucket in line with it in
the order a reader can live with: the versioned files first, then the fixed names, then the fragments, and
`manifest/index.json` last, so no index ever names an object that is not there yet. Objects the index no longer
names go only after the new index is up. Credentials come from boto3's usual places (the environment, or the
file AWS_SHARED_CREDENTIALS_FILE names), never from the command line."""

import hashlib
import json
import os
import urllib.parse

from . import log

IMMUTABLE = "public, max-age=31536000, immutable"
TYPES = {".json": "application/json", ".mp4": "video/mp4", ".png": "image/png"}


class StoreError(Exception):
    pass


def is_store(out):
    return out.startswith("s3://")


def headers_for(key):
    """(Content-Type, Cache-Control) of an object: versioned files never change; everything else is
    revalidated on every use."""
    kind = TYPES.get(os.path.splitext(key)[1], "application/octet-stream")
    return kind, IMMUTABLE if key.startswith("v/") else "no-cache"


def upload_order(keys):
    """The order that keeps every published state whole: versioned files, fixed names, fragments, the index."""
    def rank(key):
        if key.startswith("v/"):
            return 0
        if key == "manifest/index.json":
            return 3
        return 2 if key.startswith("manifest/") else 1
    return sorted(keys, key=lambda k: (rank(k), k))


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


class ObjectStore:
    def __init__(self, url, endpoint=None):
        parts = urllib.parse.urlsplit(url)
        if parts.scheme != "s3" or not parts.netloc:
            raise StoreError("an object store is named s3://BUCKET/PREFIX, not %s" % url)
        self.bucket = parts.netloc
        self.prefix = parts.path.strip("/")
        self.endpoint = endpoint
        self.url = url
        import boto3
        import botocore.config

        config = botocore.config.Config(connect_timeout=30, read_timeout=120,
                                        retries={"max_attempts": 5, "mode": "standard"},
                                        s3={"addressing_style": "path"} if endpoint else None)
        session = boto3.session.Session()
        self.client = session.client("s3", endpoint_url=endpoint or None, config=config,
                                     region_name=session.region_name or "us-east-1")

    def _key(self, key):
        return "%s/%s" % (self.prefix, key) if self.prefix else key

    def listing(self):
        """{key relative to the prefix: ETag without quotes} of what the bucket holds under the prefix."""
        held = {}
        paginator = self.client.get_paginator("list_objects_v2")
        start = self._key("")
        for page in paginator.paginate(Bucket=self.bucket, Prefix=start):
            for item in page.get("Contents", []):
                held[item["Key"][len(start):]] = item.get("ETag", "").strip('"')
        return held

    def sync(self, folder):
        """Brings the bucket in line with the tree in `folder`. Returns (uploaded, removed, not removed); raises
        StoreError with the reason when the store cannot be brought in line (the index then stays the old one)."""
        import botocore.exceptions

        try:
            held = self.listing()
            local = {}
            for top, _, names in os.walk(folder):
                for name in names:
                    if name.endswith(".part"):
                        continue
                    path = os.path.join(top, name)
                    local[os.path.relpath(path, folder).replace(os.sep, "/")] = path
            changed = [k for k in local if held.get(k) != md5_of(local[k])]
            for key in upload_order(changed):
                kind, caching = headers_for(key)
                with open(local[key], "rb") as body:
                    self.client.put_object(Bucket=self.bucket, Key=self._key(key), Body=body, ContentType=kind,
                                           CacheControl=caching)
            named = set()
            index_path = local.get("manifest/index.json")
            if index_path:
                with open(index_path, "rb") as f:
                    for entry in json.loads(f.read()).get("products", []):
                        named.update(str(entry.get(k)) for k in ("video_v", "still_v"))
            # Only versioned files that left the local tree (its retention) and that the index does not name.
            gone = sorted(k for k in held if k.startswith("v/") and k not in local and k not in named)
            removed, kept = self._remove(gone)
            return len(changed), removed, kept
        except (botocore.exceptions.BotoCoreError, botocore.exceptions.ClientError, OSError, ValueError) as error:
            raise StoreError(str(error))

    def _remove(self, gone):
        """Deletes old versions after the new index is up. A key the store refuses to delete stays in the bucket,
        so the next run finds it again and retries; it is logged as kept, never as removed. Returns (removed, kept)."""
        import botocore.exceptions

        removed = kept = 0
        for start in range(0, len(gone), 1000):
            batch = gone[start:start + 1000]
            try:
                answer = self.client.delete_objects(Bucket=self.bucket, Delete={
                    "Objects": [{"Key": self._key(k)} for k in batch], "Quiet": True})
                refused = {str(e.get("Key", "")): "%s: %s" % (e.get("Code", "?"), e.get("Message", ""))
                           for e in answer.get("Errors", []) or []}
            except (botocore.exceptions.BotoCoreError, botocore.exceptions.ClientError) as error:
                refused = {self._key(k): str(error) for k in batch}
            for key in batch:
                reason = refused.get(self._key(key))
                if reason is None:
                    removed += 1
                    log.line("object store: removed old version %s" % key)
                else:
                    kept += 1
                    log.line("object store: could not remove old version %s (%s); trying again next run"
                             % (key, reason))
        return removed, kept
