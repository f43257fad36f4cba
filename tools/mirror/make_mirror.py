#!/usr/bin/python3
"""Writes a contract-v1 imagery mirror tree for tests, benchmarks and trying the program out.

    make_mirror.py ROOT [--product ID[=UPDATED]]... [--updated ISO] [--generated ISO|none]
                   [--clip-bytes N] [--drop-fixed] [--drop-versioned]

ROOT gets manifest/index.json, one fragment per product (manifest/<id>.json), the versioned clip and
still ("v/<id>/<yyyymmddThhmmss>.mp4" and ".png") and the fixed ones ("video/rhef_<id>_1k.mp4",
"img/rhef_<id>_1k.png"). Without --product every catalogue product is listed. Running it again on the
same ROOT publishes newer versions: versioned files of earlier runs stay, as on a real mirror.

The clip and still are encoded once with ffmpeg (a few frames, small) and kept in ROOT/.work; each
product and version gets its own bytes by a trailing MP4 "free" box or a PNG text chunk naming it.
--clip-bytes pads the clips to about that size (benchmarks).
"""

import argparse
import datetime
import json
import os
import shutil
import struct
import subprocess
import sys
import zlib

CATALOG = [
    ("rainbow", "Rainbow (RHEF composite)"),
    ("171", "AIA 171 \u00c5"),
    ("193", "AIA 193 \u00c5"),
    ("211", "AIA 211 \u00c5"),
    ("304", "AIA 304 \u00c5"),
    ("335", "AIA 335 \u00c5"),
    ("94", "AIA 94 \u00c5"),
    ("131", "AIA 131 \u00c5"),
    ("1600", "AIA 1600 \u00c5 (UV)"),
    ("1700", "AIA 1700 \u00c5 (UV)"),
    ("composite_uv", "Composite (1700/1600/304)"),
    ("dem", "Temperature map (DEM)"),
]
LABELS = dict(CATALOG)
FRAMES = 6


def iso(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def parse_iso(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)


def stem(moment):
    return moment.strftime("%Y%m%dT%H%M%S")


def encode_once(work):
    os.makedirs(work, exist_ok=True)
    clip = os.path.join(work, "base.mp4")
    still = os.path.join(work, "base.png")
    if not os.path.exists(clip):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=64x64:rate=18", "-frames:v", str(FRAMES), "-c:v", "libx264",
                        "-pix_fmt", "yuv420p", clip + ".part.mp4"], check=True)
        os.replace(clip + ".part.mp4", clip)
    if not os.path.exists(still):
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=64x64",
                        "-frames:v", "1", still + ".part.png"], check=True)
        os.replace(still + ".part.png", still)
    with open(clip, "rb") as f:
        clip_bytes = f.read()
    with open(still, "rb") as f:
        still_bytes = f.read()
    return clip_bytes, still_bytes


def clip_for(base, name, pad_to):
    payload = ("solvane test clip " + name).encode()
    if pad_to and pad_to > len(base) + len(payload) + 8:
        payload += os.urandom(pad_to - len(base) - len(payload) - 8)
    return base + struct.pack(">I", len(payload) + 8) + b"free" + payload


def still_for(base, name):
    data = b"Comment\x00" + ("solvane test still " + name).encode()
    chunk = struct.pack(">I", len(data)) + b"tEXt" + data + struct.pack(">I", zlib.crc32(b"tEXt" + data))
    iend = base.rindex(b"IEND") - 4
    return base[:iend] + chunk + base[iend:]


def write(root, key, data):
    path = os.path.join(root, key)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.chmod(path + ".part", 0o644)
    # nginx's ETag is the modification second and the size: a rewrite in the same second with the same
    # length would look unchanged, so a changed file always moves its time past the old one.
    try:
        old = os.stat(path)
        with open(path, "rb") as f:
            changed = f.read() != data
        if changed:
            later = max(int(old.st_mtime) + 1, int(os.stat(path + ".part").st_mtime))
            os.utime(path + ".part", (later, later))
    except FileNotFoundError:
        pass
    os.replace(path + ".part", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("--product", action="append", default=[])
    parser.add_argument("--updated")
    parser.add_argument("--generated")
    parser.add_argument("--clip-bytes", type=int, default=0)
    parser.add_argument("--drop-fixed", action="store_true")
    parser.add_argument("--drop-versioned", action="store_true")
    args = parser.parse_args()

    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    default_updated = parse_iso(args.updated) if args.updated else now - datetime.timedelta(minutes=20)
    wanted = []
    for item in args.product or [pid for pid, _ in CATALOG]:
        pid, _, when = item.partition("=")
        wanted.append((pid, parse_iso(when) if when else default_updated))

    root = args.root
    os.makedirs(root, exist_ok=True)
    clip_base, still_base = encode_once(os.path.join(root, ".work"))
    products = []
    for pid, updated in wanted:
        versioned_clip = "v/%s/%s.mp4" % (pid, stem(updated))
        versioned_still = "v/%s/%s.png" % (pid, stem(updated))
        fixed_clip = "video/rhef_%s_1k.mp4" % pid
        fixed_still = "img/rhef_%s_1k.png" % pid
        clip = clip_for(clip_base, pid + " " + iso(updated), args.clip_bytes)
        still = still_for(still_base, pid + " " + iso(updated))
        product = {"id": pid, "label": LABELS.get(pid, pid), "updated": iso(updated),
                   "through": iso(updated), "thumb": "thumb/%s.jpg" % pid, "frame_count": FRAMES,
                   "integration": {"frames": 1, "method": "mean"}}
        if not args.drop_versioned:
            write(root, versioned_clip, clip)
            write(root, versioned_still, still)
            product["video_v"] = versioned_clip
            product["still_v"] = versioned_still
        if not args.drop_fixed:
            write(root, fixed_clip, clip)
            write(root, fixed_still, still)
            product["video"] = fixed_clip
            product["img1k"] = fixed_still
        write(root, "manifest/%s.json" % pid, json.dumps(product, ensure_ascii=False).encode())
        products.append(product)

    index = {"mirrored": iso(now), "failed": [], "products": products}
    if args.generated != "none":
        index["generated"] = args.generated or iso(now)
    write(root, "manifest/index.json", json.dumps(index, ensure_ascii=False, indent=1).encode())
    for folder, dirs, _ in os.walk(root):
        for d in dirs:
            os.chmod(os.path.join(folder, d), 0o755)
    os.chmod(root, 0o755)
    return 0


if __name__ == "__main__":
    sys.exit(main())
