"""Publishing to object storage: a real S3 API server (s3rver, from npm) on loopback over TLS, filled by the
publisher, read by plain HTTPS as a CDN would, and primed from by the client. Runs after test_realfeed.py."""

import datetime
import os
import plistlib
import re
import shutil
import socket
import subprocess
import sys
import time
import urllib.request
import ssl

import pytest

import jsoc_source
from conftest import END, PUBLISHER
from test_publish import free_port

HERE = os.path.dirname(os.path.abspath(__file__))
S3RVER = os.path.join(HERE, "s3", "node_modules", "s3rver", "bin", "s3rver.js")
IDS = ["rainbow", "171", "193", "211", "304", "335", "94", "131", "1600", "1700", "composite_uv"]


@pytest.fixture(scope="module")
def store(world, tmp_path_factory):
    if not (shutil.which("node") and os.path.exists(S3RVER)):
        pytest.skip("s3rver is not installed (scripts/bootstrap installs it under publisher/tests/s3)")
    folder = str(tmp_path_factory.mktemp("s3"))
    for attempt in range(5):
        port = free_port()
        server = subprocess.Popen(["node", S3RVER, "-d", folder + "/data", "-a", "127.0.0.1", "-p", str(port),
                                   "--key", world.key, "--cert", world.cert, "--configure-bucket", "mirror"],
                                  stdout=open(folder + "/s3rver.log", "w"), stderr=subprocess.STDOUT)
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                if server.poll() is not None:
                    break
                time.sleep(0.05)
        if server.poll() is None:
            break
    credentials = os.path.join(folder, "credentials")
    with open(credentials, "w") as f:
        f.write("[default]\naws_access_key_id = S3RVER\naws_secret_access_key = S3RVER\n")
    yield {"endpoint": "https://127.0.0.1:%d" % port, "log": folder + "/s3rver.log", "work": folder + "/work",
           "credentials": credentials}
    server.terminate()
    server.wait(timeout=30)


def publish_to(world, store, *extra):
    environment = dict(os.environ, SSL_CERT_FILE=world.cert, AWS_CA_BUNDLE=world.cert,
                       AWS_SHARED_CREDENTIALS_FILE=store["credentials"])
    for name in ("AWS_ACCESS_KEY_ID", "AWS_SECRET_ACCESS_KEY", "AWS_PROFILE"):
        environment.pop(name, None)
    arguments = [sys.executable, PUBLISHER, "--once", "--source", world.server.url + "/nrt", "--fallback",
                 world.server.url + "/movies", "--out", "s3://mirror/solvane", "--endpoint", store["endpoint"],
                 "--work", store["work"], "--hours", "5", "--size", "128", "--retention", "1"] + list(extra)
    return subprocess.run(arguments, env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600,
                          universal_newlines=True)


def stored_order(store):
    with open(store["log"]) as f:
        return re.findall(r'Stored object "solvane/([^"]+)"', f.read())


def get(store, key, context):
    with urllib.request.urlopen("%s/mirror/solvane/%s" % (store["endpoint"], key), context=context,
                                timeout=30) as answer:
        return answer.read(), answer.headers


def test_a_store_gets_versions_first_the_index_last_and_keeps_only_what_the_index_names(world, store):
    import json

    done = publish_to(world, store)
    assert done.returncode == 0, done.stderr
    assert re.search(r"object store s3://mirror/solvane: \d+ files uploaded, 0 old versions removed", done.stderr)
    order = stored_order(store)
    kinds = [0 if k.startswith("v/") else 3 if k == "manifest/index.json" else 2 if k.startswith("manifest/")
             else 1 for k in order]
    assert kinds == sorted(kinds) and order[-1] == "manifest/index.json", order
    context = ssl.create_default_context(cafile=world.cert)
    body, headers = get(store, "manifest/index.json", context)
    index = json.loads(body)
    assert [e["id"] for e in index["products"]] == IDS and index["failed"] == ["dem"]
    assert (headers["Content-Type"], headers["Cache-Control"]) == ("application/json", "no-cache")
    entry = index["products"][1]
    for key, kind, caching in ((entry["video_v"], "video/mp4", "public, max-age=31536000, immutable"),
                               (entry["still_v"], "image/png", "public, max-age=31536000, immutable"),
                               (entry["video"], "video/mp4", "no-cache"),
                               ("manifest/171.json", "application/json", "no-cache")):
        _, headers = get(store, key, context)
        assert (headers["Content-Type"], headers["Cache-Control"]) == (kind, caching), key
    first = {e["id"]: e for e in index["products"]}

    # The next run uploads what changed only, and then removes the versions the new index no longer names.
    nrt = os.path.join(world.root, "nrt")
    jsoc_source.make_source(nrt, END + datetime.timedelta(minutes=41), END + datetime.timedelta(minutes=60),
                            stops=[(335, END)])
    before = len(stored_order(store))
    again = publish_to(world, store)
    assert again.returncode == 0, again.stderr
    order = stored_order(store)[before:]
    assert order[-1] == "manifest/index.json" and "v/335/" not in " ".join(order)
    removed = re.findall(r"object store: removed old version (\S+)", again.stderr)
    assert sorted(removed) == sorted(first[p][k] for p in IDS if p != "335" for k in ("video_v", "still_v"))
    body, _ = get(store, "manifest/index.json", context)
    for entry in json.loads(body)["products"]:
        for key in ("video_v", "still_v", "video", "img1k"):
            assert get(store, entry[key], context)[0], key
    with pytest.raises(urllib.error.HTTPError):
        get(store, first["171"]["video_v"], context)


def test_the_client_primes_from_the_store(world, store):
    solvane = os.environ.get("SOLVANE_BIN")
    if not solvane or not os.access(solvane, os.X_OK):
        pytest.skip("SOLVANE_BIN names no built solvane (scripts/test sets it)")
    index_url = "%s/mirror/solvane/manifest/index.json" % store["endpoint"]
    home = os.path.join(store["work"], "..", "home")
    os.makedirs(home + "/.config", exist_ok=True)
    host = store["endpoint"][len("https://"):] + "/mirror/solvane"
    with open(home + "/.config/example.tessly.solvane.plist", "wb") as f:
        plistlib.dump({"imageryHost": host}, f)
    environment = dict(os.environ, HOME=home, XDG_CACHE_HOME=home + "/.cache", XDG_CONFIG_HOME=home + "/.config",
                       XDG_DATA_HOME=home + "/.local/share", SSL_CERT_FILE=world.cert,
                       SOLVANE_ORIGIN_HOST="127.0.0.1:%d" % free_port())
    checked = subprocess.run([solvane, "--check-index", index_url], env=environment, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, universal_newlines=True, timeout=120)
    assert checked.returncode == 0, checked.stderr
    lines = checked.stdout.splitlines()
    assert [line.split()[:2] for line in lines] == [["ok", p] for p in IDS], lines
    primed = subprocess.run([solvane, "--prime"], cwd=home, env=environment, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, universal_newlines=True, timeout=300)
    assert primed.returncode == 0, primed.stderr
    context = ssl.create_default_context(cafile=world.cert)
    for line in lines:
        _, pid, key = line.split()
        with open(os.path.join(home, ".cache", "Solvane", pid + ".mp4"), "rb") as f:
            assert f.read() == get(store, key, context)[0], pid


def test_an_old_version_the_store_refuses_to_delete_is_kept_and_tried_again(world, store, tmp_path, capsys,
                                                                             monkeypatch):
    from solvane_publish.store import ObjectStore

    monkeypatch.setenv("AWS_SHARED_CREDENTIALS_FILE", store["credentials"])
    monkeypatch.setenv("AWS_CA_BUNDLE", world.cert)
    for name in ("AWS_ACCESS_KEY_ID", "AWS_SECRET_ACCESS_KEY", "AWS_PROFILE"):
        monkeypatch.delenv(name, raising=False)
    tree = tmp_path / "tree"
    for key in ("v/171/a.mp4", "v/171/b.mp4", "v/171/c.mp4"):
        (tree / key).parent.mkdir(parents=True, exist_ok=True)
        (tree / key).write_bytes(key.encode())
    ObjectStore("s3://mirror/refusals", store["endpoint"]).sync(str(tree))
    for key in ("v/171/a.mp4", "v/171/b.mp4"):
        (tree / key).unlink()

    refusing = ObjectStore("s3://mirror/refusals", store["endpoint"])
    deliver = refusing.client.delete_objects

    def refuse_a(**arguments):
        objects = arguments["Delete"]["Objects"]
        answer = deliver(**dict(arguments, Delete=dict(arguments["Delete"],
                                                       Objects=[o for o in objects if not o["Key"].endswith("a.mp4")])))
        return dict(answer, Errors=[{"Key": o["Key"], "Code": "AccessDenied", "Message": "Access Denied"}
                                    for o in objects if o["Key"].endswith("a.mp4")])

    monkeypatch.setattr(refusing.client, "delete_objects", refuse_a)
    assert refusing.sync(str(tree)) == (0, 1, 1)
    said = capsys.readouterr().err
    assert "object store: removed old version v/171/b.mp4" in said
    assert "removed old version v/171/a.mp4" not in said
    assert ("object store: could not remove old version v/171/a.mp4 (AccessDenied: Access Denied); "
            "trying again next run") in said
    # The next run finds it still there and removes it.
    assert ObjectStore("s3://mirror/refusals", store["endpoint"]).sync(str(tree)) == (0, 1, 0)
    assert "object store: removed old version v/171/a.mp4" in capsys.readouterr().err
