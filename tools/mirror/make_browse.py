#!/usr/bin/python3
"""Lays out a stand-in for NASA SDO's public browse archive, for tests, benchmarks and trying things out.

    make_browse.py ROOT [--now ISO] [--hours H] [--channels 171,304,...] [--gap HOURS_AGO:HOURS]
                        [--damaged] [--odd] [--seed N] [--pad-bytes N]
    make_browse.py ROOT --add CHANNEL:COUNT

ROOT gets assets/img/browse/YYYY/MM/DD/ with one web-server listing (index.html, as Apache writes it)
and the 1024-pixel images "YYYYMMDD_HHMMSS_1024_WWWW.jpg" named in it, and assets/img/latest/
latest_1024_WWWW.jpg. The images are synthetic coloured discs of the Sun, taken at irregular times (a
few minutes either side of every 12 minutes), from H hours before --now (default: now) up to --now.

--gap HOURS_AGO:HOURS leaves no image of any channel in HOURS hours starting HOURS_AGO before --now.
--damaged cuts one image of the first channel short; --odd lists names the client must ignore (an
impossible date, a time in the future, another day's image, other sizes, HMI names, duplicates, links
into other folders). --add appends COUNT images of CHANNEL, one every 20 minutes after its newest.
--pad-bytes N makes every image about N bytes (benchmarks).
ROOT/.work/truth.json records every image per channel ({"171": ["name", ...]}) and the damaged one.
"""

import argparse
import datetime
import io
import json
import os
import random
import shutil
import sys

from PIL import Image, ImageDraw

COLOURS = {94: (40, 200, 90), 131: (20, 170, 170), 171: (230, 190, 60), 193: (200, 130, 60),
           211: (170, 80, 190), 304: (230, 70, 40), 335: (60, 90, 220), 1600: (170, 200, 40),
           1700: (230, 120, 170), "HMIIC": (235, 150, 50), "HMIB": (128, 128, 128)}
SIZE = 1024
VARIANTS = 6


def parse_iso(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)


def code(text):
    """A channel as given: an AIA wavelength (171) or an HMI code ("HMIIC", "HMIB")."""
    return int(text) if str(text).isdigit() else str(text)


def code_text(channel):
    """A channel as the archive writes it in names: "0171", "HMIIC"."""
    return "%04d" % channel if isinstance(channel, int) else channel


def name_of(moment, channel, size=SIZE):
    return "%s_%d_%s.jpg" % (moment.strftime("%Y%m%d_%H%M%S"), size, code_text(channel))


def moment_of(name):
    return datetime.datetime.strptime(name[:15], "%Y%m%d_%H%M%S").replace(tzinfo=datetime.timezone.utc)


def picture(channel, variant):
    """A disc with a faint corona and a bright region whose place tells the variants apart."""
    colour = COLOURS[channel]
    image = Image.new("RGB", (SIZE, SIZE), (0, 0, 0))
    draw = ImageDraw.Draw(image)
    centre, radius = (SIZE - 1) / 2.0, SIZE * 400.0 / 1024.0
    for step, scale in enumerate((1.25, 1.15, 1.07)):
        glow = tuple(int(c * (0.12 + 0.08 * step)) for c in colour)
        r = radius * scale
        draw.ellipse((centre - r, centre - r, centre + r, centre + r), fill=glow)
    draw.ellipse((centre - radius, centre - radius, centre + radius, centre + radius), fill=colour)
    spot = tuple(min(255, c + 90) for c in colour)
    x = centre - radius * 0.6 + variant * radius * 1.2 / (VARIANTS - 1)
    draw.ellipse((x - 60, centre - 40, x + 60, centre + 40), fill=spot)
    out = io.BytesIO()
    image.save(out, "JPEG", quality=85)
    return out.getvalue()


def with_comment(jpeg, text):
    """The same picture with its name in a comment segment, so every file's bytes differ."""
    data = text.encode()
    segment = b"\xff\xfe" + (len(data) + 2).to_bytes(2, "big") + data
    return jpeg[:2] + segment + jpeg[2:]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.chmod(path + ".part", 0o644)
    os.replace(path + ".part", path)


def day_folder(root, day):
    return os.path.join(root, "assets", "img", "browse", day.strftime("%Y/%m/%d"))


def listing(day, names):
    """An Apache-style index page."""
    path = "/assets/img/browse/" + day.strftime("%Y/%m/%d") + "/"
    rows = ['<img src="/icons/back.gif" alt="[PARENTDIR]"> <a href="/assets/img/browse/%s/">Parent Directory</a>'
            % day.strftime("%Y/%m")]
    for name in names:
        rows.append('<img src="/icons/image2.gif" alt="[IMG]"> <a href="%s">%s</a>  %s  150K' %
                    (name, name[:40], day.strftime("%Y-%m-%d 00:00")))
    return ("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\n<html>\n <head>\n  <title>Index of %s</title>\n"
            " </head>\n <body>\n<h1>Index of %s</h1>\n<pre>" % (path, path) + "\n".join(rows) +
            "\n<hr></pre>\n</body></html>\n").encode()


def odd_names(day, rng):
    """Names a lenient reader must skip, and links it must not follow out of the folder."""
    stamp = day.strftime("%Y%m%d")
    other = (day - datetime.timedelta(days=1)).strftime("%Y%m%d")
    return [stamp[:4] + "1345_990000_1024_0171.jpg",           # impossible date and time
            stamp + "_235960_1024_0171.jpg",                     # second 60
            "29991231_000000_1024_0171.jpg",                    # the future
            other + "_120000_1024_0171.jpg",                    # another day's image
            stamp + "_120000_1024_HMIBC.jpg",                   # an HMI picture we do not read
            stamp + "_120000_1024_0999.jpg",                    # a channel that does not exist
            "README.txt"]


def build_listings(root, truth, odd):
    by_day = {}
    for channel, names in truth["images"].items():
        for name in names:
            by_day.setdefault(moment_of(name).date(), []).append(name)
    rng = random.Random(7)
    for day, names in by_day.items():
        rows = sorted(names)
        # Other sizes of the same observations are listed too (not present: never fetched).
        rows += [n.replace("_1024_", "_512_") for n in names[:20]]
        rows += [n.replace("_1024_", "_2048_") for n in names[:20]]
        if odd:
            rows += odd_names(day, rng)
            rows += names[:3]  # duplicates
            # Links with other paths: only the last component counts, fetched from this folder.
            rows += ["../../../../latest/" + names[-1], "https://elsewhere.invalid/x/" + names[0]]
        # Apache lists a folder sorted by name, and names begin with the time: new images come last.
        write(os.path.join(day_folder(root, day), "index.html"), listing(day, sorted(rows)))


def build_latest(root, truth, pictures):
    for channel, names in truth["images"].items():
        if names:
            newest = names[-1]
            write(os.path.join(root, "assets", "img", "latest", "latest_1024_%s.jpg" % code_text(code(channel))),
                  with_comment(pictures[(code(channel), 0)], newest))


def put_image(root, name, jpeg, damaged, pad=0):
    data = with_comment(jpeg, name)
    # Real 1k images weigh about 150 kB; padding in comment segments gives benchmarks their weight.
    while len(data) < pad:
        chunk = min(60000, pad - len(data))
        data = data[:2] + b"\xff\xfe" + (chunk + 2).to_bytes(2, "big") + os.urandom(chunk) + data[2:]
    if damaged:
        data = data[:len(data) // 2]
    write(os.path.join(day_folder(root, moment_of(name).date()), name), data)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("--now")
    parser.add_argument("--hours", type=float, default=50)
    parser.add_argument("--channels", default="171,304")
    parser.add_argument("--gap")
    parser.add_argument("--damaged", action="store_true")
    parser.add_argument("--odd", action="store_true")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--add")
    parser.add_argument("--pad-bytes", type=int, default=0)
    args = parser.parse_args()
    root = args.root
    truth_path = os.path.join(root, ".work", "truth.json")

    if args.add:
        with open(truth_path) as f:
            truth = json.load(f)
        channel, count = args.add.split(":")
        names = truth["images"][channel]
        pictures = {(code(channel), v): picture(code(channel), v) for v in range(VARIANTS)}
        last = moment_of(names[-1])
        for step in range(1, int(count) + 1):
            name = name_of(last + datetime.timedelta(minutes=20 * step), code(channel))
            put_image(root, name, pictures[(code(channel), step % VARIANTS)], False)
            names.append(name)
        build_listings(root, truth, truth.get("odd", False))
        build_latest(root, truth, {(code(c), 0): picture(code(c), 0) for c in truth["images"]})
        write(truth_path, json.dumps(truth, indent=1).encode())
        return 0

    now = parse_iso(args.now) if args.now else datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    channels = [code(c) for c in args.channels.split(",") if c]
    rng = random.Random(args.seed)
    gap = None
    if args.gap:
        ago, hours = (float(v) for v in args.gap.split(":"))
        gap = (now - datetime.timedelta(hours=ago), now - datetime.timedelta(hours=ago - hours))
    shutil.rmtree(os.path.join(root, "assets"), ignore_errors=True)
    pictures = {(c, v): picture(c, v) for c in channels for v in range(VARIANTS)}
    truth = {"now": now.strftime("%Y-%m-%dT%H:%M:%SZ"), "images": {}, "damaged": None, "odd": args.odd}
    for channel in channels:
        names = []
        moment = now - datetime.timedelta(hours=args.hours) + datetime.timedelta(seconds=rng.randint(0, 300))
        while moment <= now:
            if not (gap and gap[0] <= moment < gap[1]):
                names.append(name_of(moment, channel))
            moment += datetime.timedelta(seconds=720 + rng.randint(-240, 240))
        truth["images"][str(channel)] = names
        # The damaged image is the newest of its slot (the one a client fetches), a few slots back.
        slot = lambda name: int(moment_of(name).timestamp()) // 1200
        spoiled = next((i for i in range(len(names) - 10, 0, -1) if slot(names[i]) != slot(names[i + 1])), -1)
        for index, name in enumerate(names):
            damaged = args.damaged and channel == channels[0] and index == spoiled
            if damaged:
                truth["damaged"] = name
            put_image(root, name, pictures[(channel, index % VARIANTS)], damaged, args.pad_bytes)
    build_listings(root, truth, args.odd)
    build_latest(root, truth, pictures)
    write(truth_path, json.dumps(truth, indent=1).encode())
    for folder, dirs, _ in os.walk(root):
        for d in dirs:
            os.chmod(os.path.join(folder, d), 0o755)
    os.chmod(root, 0o755)
    return 0


if __name__ == "__main__":
    sys.exit(main())
