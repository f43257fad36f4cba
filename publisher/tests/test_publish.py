"""A publish from a synthetic JSOC source over HTTPS, judged the way the client and a reader of the mirror see it.
The tests share one source and one first publish, and run in file order: the last one moves the source on."""

import datetime
import json
import os
import plistlib
import random
import re
import signal
import socket
import struct
import subprocess
import time
import urllib.request
import ssl
import zlib

import numpy
import pytest

import jsoc_source
from conftest import END, HOURS

SLOTS = HOURS * 3
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
IDS = ["rainbow", "171", "193", "211", "304", "335", "94", "131", "1600", "1700", "composite_uv"]


def index_of(out):
    with open(os.path.join(out, "manifest", "index.json"), "rb") as f:
        return json.loads(f.read())


def snapshot(out):
    seen = {}
    for folder, _, names in os.walk(out):
        for name in names:
            stat = os.stat(os.path.join(folder, name))
            seen[os.path.relpath(os.path.join(folder, name), out)] = (stat.st_mtime_ns, stat.st_size)
    return seen


def gray_frames(clip, side=32):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", clip, "-vf", "scale=%d:%d" % (side, side), "-f", "rawvideo",
                          "-pix_fmt", "gray", "-"], stdout=subprocess.PIPE, check=True).stdout
    return numpy.frombuffer(raw, dtype=numpy.uint8).reshape(-1, side, side).astype(numpy.float64)


def test_first_publish_lists_every_product_and_fails_dem_with_its_reason(world):
    assert world.first.returncode == 0, world.first.stderr
    index = index_of(world.out)
    assert [p["id"] for p in index["products"]] == IDS
    assert index["failed"] == ["dem"]
    assert "dem: failed: no AIA temperature response table" in world.first.stderr
    movie = datetime.datetime.fromtimestamp(world.movie_time, datetime.timezone.utc)
    for entry in index["products"]:
        pid = entry["id"]
        # Each product's time is its newest real observation; the NASA movie's is its own Last-Modified time.
        stem = (movie if pid == "335" else END).strftime("%Y%m%dT%H%M%S")
        assert entry["updated"] == (movie if pid == "335" else END).strftime("%Y-%m-%dT%H:%M:%SZ"), entry
        # The rainbow goes on with its current channels; its 335 part holds, and `through` says since when.
        assert entry["through"] == ("2026-10-01T04:00:00Z" if pid == "rainbow" else entry["updated"]), entry
        assert entry["video_v"] == "v/%s/%s.mp4" % (pid, stem) and entry["still_v"] == "v/%s/%s.png" % (pid, stem)
        assert "Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams" == entry["credit"]
        for key in ("video", "video_v", "img1k", "still_v"):
            assert os.path.getsize(os.path.join(world.out, entry[key])) > 0
        with open(os.path.join(world.out, "manifest", pid + ".json"), "rb") as f:
            assert json.loads(f.read()) == entry
        assert "%s: published v/%s/" % (pid, pid) in world.first.stderr
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-count_frames", "-show_entries",
                            "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames", "-of", "json",
                            os.path.join(world.out, index["products"][1]["video_v"])],
                           stdout=subprocess.PIPE, check=True).stdout
    stream = json.loads(probe)["streams"][0]
    assert stream == {"codec_name": "h264", "width": 128, "height": 128, "pix_fmt": "yuv420p",
                      "r_frame_rate": "18/1", "nb_read_frames": str(SLOTS)}
    with open(os.path.join(world.out, index["products"][1]["video_v"]), "rb") as f:
        head = f.read(4096)
    assert head.find(b"moov") < head.find(b"mdat") or b"mdat" not in head  # the index is at the front


def test_gaps_stops_and_damaged_files_show_in_counts_and_frames(world):
    entries = {p["id"]: p for p in index_of(world.out)["products"]}
    # 193 has no files from 03:00 to 04:59: the slots 03:20 ... 04:40 hold the 03:00 frame; the eclipse slot
    # 02:00 (all its frames flagged) holds 01:40's and does not count.
    assert entries["193"]["frame_count"] == SLOTS - 6
    frames = gray_frames(os.path.join(world.out, entries["193"]["video_v"]))
    held = [abs(frames[i] - frames[5]).mean() for i in range(6, 11)] + [abs(frames[2] - frames[1]).mean()]
    moving = [abs(frames[i] - frames[i - 1]).mean() for i in (4, 12, 13)]
    assert max(held) < 0.4 < min(moving), (held, moving)
    # The damaged 171 file nearest its slot's end is skipped once, by name; the slot takes the next one.
    assert entries["171"]["frame_count"] == SLOTS - 1
    assert entries["171"]["integration"] == {"frames": 1, "method": "mean"}
    assert re.search(r"AIA20261001_053900_0171\.fits skipped: damaged", world.first.stderr)
    # A file that answers 503 twice comes on the third try.
    assert [status for path, status in world.first_requests if path == world.flaky] == [503, 503, 200]
    assert entries["211"]["frame_count"] == SLOTS - 1
    # 335 stopped two hours ago: its clip comes from the NASA movie and says so.
    assert "335: files stopped at 2026-10-01T04:00:00Z; using the NASA SDO movie" in world.first.stderr
    assert entries["335"]["label"] == "AIA 335 \u00c5 (NASA SDO movie)"
    assert entries["335"]["integration"]["method"] == "resampled NASA SDO 48-hour movie"
    # A composite counts only slots where every channel it combines has its own observation.
    assert entries["rainbow"]["frame_count"] < entries["171"]["frame_count"]


def test_without_a_movie_a_stopped_channel_publishes_a_clip_that_ends_with_its_files(world, tmp_path):
    done = world.publish("--products", "335", "--fallback", "", out=str(tmp_path / "out"),
                         work=str(tmp_path / "work"))
    assert done.returncode == 0, done.stderr
    assert "335: files stopped at 2026-10-01T04:00:00Z and no NASA SDO movie; its clip ends there" in done.stderr
    entry = index_of(str(tmp_path / "out"))["products"][0]
    assert entry["label"] == "AIA 335 \u00c5"
    # Its clip ends at its last observation and says so, not at the other channels' 06:00. Of its slots from
    # 01:20 (where the window's files start) to 04:00, the eclipse slot has no frame of its own.
    assert entry["updated"] == entry["through"] == "2026-10-01T04:00:00Z"
    assert entry["video_v"] == "v/335/20261001T040000.mp4" and entry["frame_count"] == 8


def test_with_a_response_table_the_temperature_map_is_published(world, tmp_path):
    from test_dem import LOGT, made_up_responses

    table = made_up_responses()
    path = tmp_path / "responses.csv"
    path.write_text("# made up for this test only\nlogT,94,131,171,193,211,335\n" + "\n".join(
        "%.2f,%s" % (t, ",".join("%.4e" % v for v in table.table[:, i])) for i, t in enumerate(LOGT)))
    done = world.publish("--products", "dem", "--responses", str(path), "--hours", "4",
                         out=str(tmp_path / "out"), work=str(tmp_path / "work"))
    assert done.returncode == 0, done.stderr
    assert "dem: temperature responses from made up for this test only" in done.stderr
    entry = index_of(str(tmp_path / "out"))["products"][0]
    # 335 stopped and 193 has a gap: only the early slots have all six channels of their own.
    assert entry["id"] == "dem" and entry["frame_count"] == 3  # 02:20, 02:40 and 03:00
    still = gray_frames(os.path.join(str(tmp_path / "out"), entry["video_v"]))[-1]
    assert still[16, 16] > 20 and still[0, 0] < still[16, 16]  # a lit disc on a darker sky


def nginx_site(port, cert, key, root, prefix):
    """The sample site of infra/publisher with our port, certificate and root, inside a minimal main config."""
    with open(os.path.join(REPO, "infra", "publisher", "nginx.conf")) as f:
        site = f.read()
    site = re.sub(r"(?m)^\s*listen \[::\].*\n", "", site)
    site = re.sub(r"(?m)^(\s*)listen .*$", r"\1listen 127.0.0.1:%d ssl;" % port, site)
    site = re.sub(r"(?m)^(\s*)ssl_certificate .*$", r"\1ssl_certificate %s;" % cert, site)
    site = re.sub(r"(?m)^(\s*)ssl_certificate_key .*$", r"\1ssl_certificate_key %s;" % key, site)
    site = re.sub(r"(?m)^(\s*)root .*$", r"\1root %s;" % root, site)
    return """user root root; daemon off; worker_processes 1; pid %(p)s/nginx.pid; error_log %(p)s/error.log;
events { worker_connections 64; }
http { access_log off; client_body_temp_path %(p)s/body; proxy_temp_path %(p)s/proxy;
fastcgi_temp_path %(p)s/fastcgi; uwsgi_temp_path %(p)s/uwsgi; scgi_temp_path %(p)s/scgi;
%(site)s }
""" % {"p": prefix, "site": site}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def png_texts(path):
    with open(path, "rb") as f:
        data = f.read()
    at, texts = 8, {}
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"iTXt":
            keyword, rest = body.split(b"\0", 1)
            texts[keyword.decode()] = rest[2:].split(b"\0", 2)[2].decode()
        at += 12 + length
    return texts


def test_the_client_checks_primes_and_exports_through_nginx(world, tmp_path):
    solvane = os.environ.get("SOLVANE_BIN")
    if not solvane or not os.access(solvane, os.X_OK):
        pytest.skip("SOLVANE_BIN names no built solvane (scripts/test sets it)")
    checked = subprocess.run([solvane, "--check-index", os.path.join(world.out, "manifest", "index.json")],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True, timeout=120)
    index = index_of(world.out)
    assert checked.stdout.splitlines() == ["ok %s %s" % (e["id"], e["video_v"]) for e in index["products"]], \
        checked.stderr
    assert checked.returncode == 0

    prefix = str(tmp_path / "nginx")
    os.makedirs(prefix)
    for attempt in range(5):
        port = free_port()
        with open(os.path.join(prefix, "nginx.conf"), "w") as f:
            f.write(nginx_site(port, world.cert, world.key, world.out, prefix))
        nginx = subprocess.Popen(["/usr/sbin/nginx", "-e", prefix + "/error.log", "-p", prefix, "-c",
                                  prefix + "/nginx.conf"])
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                if nginx.poll() is not None:
                    break
                time.sleep(0.05)
        if nginx.poll() is None:
            break
    try:
        context = ssl.create_default_context(cafile=world.cert)
        base = "https://127.0.0.1:%d/" % port
        index = index_of(world.out)
        caching = {}
        for key in ("manifest/index.json", index["products"][1]["video_v"], index["products"][1]["video"]):
            with urllib.request.urlopen(base + key, context=context, timeout=30) as answer:
                caching[key.split("/")[0]] = answer.headers.get("Cache-Control")
        assert caching == {"manifest": "no-cache", "v": "public, max-age=31536000, immutable", "video": "no-cache"}

        home = str(tmp_path / "home")
        os.makedirs(home + "/.config")
        with open(home + "/.config/example.tessly.solvane.plist", "wb") as f:
            plistlib.dump({"imageryHost": "127.0.0.1:%d" % port}, f)
        environment = dict(os.environ, HOME=home, XDG_CACHE_HOME=home + "/.cache",
                           XDG_CONFIG_HOME=home + "/.config", XDG_DATA_HOME=home + "/.local/share",
                           SSL_CERT_FILE=world.cert, SOLVANE_ORIGIN_HOST="127.0.0.1:%d" % free_port())
        primed = subprocess.run([solvane, "--prime"], cwd=home, env=environment, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, universal_newlines=True, timeout=300)
        assert primed.returncode == 0, primed.stderr
        cache = home + "/.cache/Solvane"
        for pid in IDS:
            with open(os.path.join(cache, pid + ".mp4"), "rb") as f, \
                    open(os.path.join(world.out, index["products"][IDS.index(pid)]["video_v"]), "rb") as g:
                assert f.read() == g.read(), pid
        exported = subprocess.run([solvane, "--export-frame", "171", "out.png"], cwd=home, env=environment,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
                                  timeout=120)
        assert exported.returncode == 0, exported.stderr
        assert exported.stdout == "wrote out.png\n"
        texts = png_texts(home + "/out.png")
        assert texts["Title"] == "Solvane 171 2026-10-01 0600 UTC"
        lines = texts["Description"].split("\n")
        assert lines[2] == "Frame OCT 1  06:00 UTC"
        assert lines[3] == "%d of %d frames are new observations; the rest hold the one before" % (SLOTS - 1, SLOTS)
        assert lines[4] == "Each frame combines 1 observations (mean)"
        assert json.loads(texts["Orvelle-Provenance"])["observed"] == "2026-10-01T06:00:00Z"
    finally:
        nginx.terminate()
        nginx.wait(timeout=30)


def test_a_second_run_with_nothing_new_downloads_and_rewrites_nothing(world):
    before = snapshot(world.out)
    world.server.taken()
    again = world.publish()
    assert again.returncode == 0, again.stderr
    assert "index unchanged: nothing new" in again.stderr
    asked = world.server.taken()
    assert asked and all(status == 304 for _, status in asked), asked
    assert not any(path.endswith(".fits") for path, _ in asked)
    assert snapshot(world.out) == before


def test_an_unreachable_source_with_nothing_held_publishes_nothing(world, tmp_path):
    done = world.publish("--retries", "1", out=str(tmp_path / "out"), work=str(tmp_path / "work"),
                         source="https://127.0.0.1:%d/nrt" % free_port())
    assert done.returncode == 3
    assert "nothing to publish: the source" in done.stderr
    assert not os.path.exists(str(tmp_path / "out" / "manifest" / "index.json"))


def test_a_killed_publish_leaves_the_last_index_whole_and_the_next_run_finishes(world):
    newer = END + datetime.timedelta(minutes=20)
    jsoc_source.make_source(os.path.join(world.root, "nrt"), END + datetime.timedelta(minutes=3), newer,
                            stops=[(335, END)])
    with open(os.path.join(world.out, "manifest", "index.json"), "rb") as f:
        old_index = f.read()
    named = {}
    for entry in json.loads(old_index)["products"]:
        for key in ("video_v", "still_v"):
            with open(os.path.join(world.out, entry[key]), "rb") as f:
                named[entry[key]] = f.read()
    new_clip = os.path.join(world.out, "v", "171", newer.strftime("%Y%m%dT%H%M%S") + ".mp4")
    # Once at a random moment, once just as the first new clip lands (the middle of publishing).
    for moment in (random.uniform(0.2, 3.0), new_clip):
        running = world.publish(wait=False)
        deadline = time.monotonic() + (moment if isinstance(moment, float) else 300)
        while time.monotonic() < deadline and running.poll() is None:
            if isinstance(moment, str) and os.path.exists(moment):
                break
            time.sleep(0.01)
        try:
            os.killpg(running.pid, signal.SIGKILL)  # the whole group, as systemd stops a unit
        except ProcessLookupError:
            pass  # it had finished
        running.communicate(timeout=60)
        index = index_of(world.out)
        for entry in index["products"]:
            for key in ("video", "video_v", "img1k", "still_v"):
                with open(os.path.join(world.out, entry[key]), "rb") as f:
                    data = f.read()
                assert data[4:8] == b"ftyp" if key.startswith("video") else data[:4] == b"\x89PNG", key
                if entry[key] in named:
                    assert data == named[entry[key]], entry[key]
    done = world.publish()
    assert done.returncode == 0, done.stderr
    index = index_of(world.out)
    # The newest files are from 06:18: the clips end with the 06:20 slot, and say 06:18.
    times = {e["id"]: e["updated"] for e in index["products"] if e["id"] != "335"}
    assert set(times.values()) == {"2026-10-01T06:18:00Z"}, times
    for key in named:  # the previous versions stay for the clients that hold them
        assert os.path.exists(os.path.join(world.out, key))

