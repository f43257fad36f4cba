#!/usr/bin/python3
"""Lays out a stand-in for NASA SDO's public browse archive, for tests, benchmarks and trying things out.

    make_browse.py ROOT [--now ISO] [--hours H] [--channels 171,304,HMIIC,...] [--sizes 1024,2048]
                        [--gap HOURS_AGO:HOURS] [--damaged] [--odd] [--seed N] [--pad-bytes N]
                        [--cadence SECONDS]
    make_browse.py ROOT --add CHANNEL:COUNT

ROOT gets assets/img/browse/YYYY/MM/DD/ with the listing the web server writes (index.html, Apache's
autoindex markup) and the images "YYYYMMDD_HHMMSS_SIZE_CODE.jpg" of the chosen channels, and
assets/img/latest/latest_SIZE_CODE.jpg with each one's newest. The images are real solar imagery (see
sun_pictures.py): each channel in its own colour table, turning with the Sun from slot to slot, at about
its real average size. They are taken at irregular times (a minute or two either side of every 10
minutes), from H hours before --now (default: now) up to --now.

Each day's listing has the real archive's shape: every channel code (36) at its sizes (256 to 4096),
about 144 times a day each, some 11,800 rows and 1.8 MB for a whole day. Only the chosen channels' images
at the chosen sizes (default 1024) exist as files; the other rows name files that are not there.

--gap HOURS_AGO:HOURS leaves no image of any chosen channel in HOURS hours starting HOURS_AGO before --now.
--damaged cuts one image of the first channel short; --odd lists names the client must ignore (an
impossible date, a time in the future, another day's image, a channel that does not exist, duplicates,
links into other folders). --add appends COUNT images of CHANNEL, one every 20 minutes after its newest.
--pad-bytes N makes every image at least N bytes. --cadence SECONDS spaces the chosen channels' images
(default 600, NASA's; 1200 gives most 20-minute slots a single image).
ROOT/.work/truth.json records every image per channel at 1024 pixels ({"171": ["name", ...]}) and the
damaged one.
"""

import argparse
import datetime
import json
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sun_pictures import AVERAGE_KB, SLOT_SECONDS, SunPictures, code  # noqa: E402

SIZES = (256, 512, 1024, 2048, 4096)
AIA = ["0094", "0131", "0171", "0193", "0211", "0304", "0335", "1600", "1700"]
HMI = ["HMIB", "HMIBC", "HMID", "HMII", "HMIIC", "HMIIF"]
COMPOSITES = ["094335193", "211193171", "304211171"]
# The archive's channel codes: the AIA channels and HMI products at every size, every 10 minutes; the
# rest (white light, composites, field-line overlays) at 1024 pixels every 30 minutes.
OCCASIONAL = (["4500", "171HMIB"] + COMPOSITES + [c + "pfss" for c in AIA + COMPOSITES] +
              [c + "pfss" for c in ("HMIB", "HMIBC", "HMIIC", "HMIIF")])
CODES = AIA + HMI + OCCASIONAL
assert len(CODES) == 36
CADENCE = 600
JITTER = 100


def parse_iso(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)


def channel_of(text):
    """A channel as given on the command line or in the truth file: a wavelength, or an HMI code."""
    return int(text) if text.isdigit() else text


def name_of(moment, channel, size=1024):
    return "%s_%d_%s.jpg" % (moment.strftime("%Y%m%d_%H%M%S"), size, code(channel))


def moment_of(name):
    return datetime.datetime.strptime(name[:15], "%Y%m%d_%H%M%S").replace(tzinfo=datetime.timezone.utc)


def sized(name, size):
    return name.replace("_1024_", "_%d_" % size, 1)


def with_comment(jpeg, text):
    """The same picture with its name in a comment segment, so every file's bytes differ."""
    data = text.encode()
    segment = b"\xff\xfe" + (len(data) + 2).to_bytes(2, "big") + data
    return jpeg[:2] + segment + jpeg[2:]


def padded(data, size):
    while len(data) < size:
        chunk = min(60000, size - len(data))
        data = data[:2] + b"\xff\xfe" + (chunk + 2).to_bytes(2, "big") + os.urandom(chunk) + data[2:]
    return data


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.chmod(path + ".part", 0o644)
    os.replace(path + ".part", path)


def day_folder(root, day):
    return os.path.join(root, "assets", "img", "browse", day.strftime("%Y/%m/%d"))


def human_size(size):
    """Apache's size column: "172K", "1.2M"."""
    if size < 1024 * 1024:
        return "%dK" % max(1, round(size / 1024.0))
    return "%.1fM" % (size / 1024.0 / 1024.0)


def estimated_size(code_text, size):
    key = int(code_text) if code_text.isdigit() and len(code_text) == 4 else code_text
    return int(AVERAGE_KB.get(key, 200) * 1000 * (size / 1024.0) ** 1.6)


def occasional_times(code_text, day, until, cadence):
    """The times another channel's images have on `day`, the same at every call."""
    rng = random.Random("%s/%s" % (code_text, day.isoformat()))
    start = datetime.datetime.combine(day, datetime.time(), datetime.timezone.utc)
    end = min(until, start + datetime.timedelta(days=1))
    moment = start + datetime.timedelta(seconds=rng.randint(0, cadence - 1))
    times = []
    while moment < end:
        times.append(moment)
        moment += datetime.timedelta(seconds=cadence + rng.randint(-JITTER, JITTER))
    return times


def listing_rows(day, truth, root, until):
    """(name, modified, size text) of every image the day's listing names."""
    rows = []
    chosen = {code(channel_of(c)): names for c, names in truth["images"].items()}
    for code_text in CODES:
        sizes = SIZES if code_text in AIA or code_text in HMI else (1024,)
        if code_text in chosen:
            taken = [moment_of(n) for n in chosen[code_text] if moment_of(n).date() == day]
        else:
            taken = occasional_times(code_text, day, until, CADENCE if len(sizes) > 1 else 3 * CADENCE)
        for moment in taken:
            for size in sizes:
                name = "%s_%d_%s.jpg" % (moment.strftime("%Y%m%d_%H%M%S"), size, code_text)
                path = os.path.join(day_folder(root, day), name)
                weight = os.path.getsize(path) if os.path.exists(path) else estimated_size(code_text, size)
                # On the server a few minutes after the observation.
                modified = moment + datetime.timedelta(seconds=240 + (moment.second * 7) % 180)
                rows.append((name, modified.strftime("%Y-%m-%d %H:%M"), human_size(weight)))
    rows.sort()
    return rows


def listing(day, rows, extra):
    """Apache's autoindex page (FancyIndexing, names at full width)."""
    path = "/assets/img/browse/" + day.strftime("%Y/%m/%d")
    width = max([len(r[0]) for r in rows] + [16]) + 1
    head = ('<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 3.2 Final//EN">\n<html>\n <head>\n  <title>Index of %s</title>\n'
            ' </head>\n <body>\n<h1>Index of %s</h1>\n<pre><img src="/icons/blank.gif" alt="Icon "> '
            '<a href="?C=N;O=D">Name</a>%s<a href="?C=M;O=A">Last modified</a>      <a href="?C=S;O=A">Size</a>  '
            '<a href="?C=D;O=A">Description</a><hr><img src="/icons/back.gif" alt="[PARENTDIR]"> '
            '<a href="/assets/img/browse/%s/">Parent Directory</a>%s-   \n'
            % (path, path, " " * (width - 4), day.strftime("%Y/%m"), " " * (width - 16 + 19)))
    lines = ['<img src="/icons/image2.gif" alt="[IMG]"> <a href="%s">%s</a>%s%s  %4s  ' %
             (name, name, " " * (width - len(name)), modified, weight) for name, modified, weight in rows]
    lines += ['<img src="/icons/unknown.gif" alt="[   ]"> <a href="%s">%s</a>%s%s  %4s  ' %
              (name, name, " " * max(1, width - len(name)), day.strftime("%Y-%m-%d 00:00"), "1K") for name in extra]
    return (head + "\n".join(lines) + "\n<hr></pre>\n</body></html>\n").encode()


def odd_names(day, names):
    """Names a lenient reader must skip, and links it must not follow out of the folder."""
    stamp = day.strftime("%Y%m%d")
    other = (day - datetime.timedelta(days=1)).strftime("%Y%m%d")
    return [stamp[:4] + "1345_990000_1024_0171.jpg",           # impossible date and time
            stamp + "_235960_1024_0171.jpg",                     # second 60
            "29991231_000000_1024_0171.jpg",                    # the future
            other + "_120000_1024_0171.jpg",                    # another day's image
            stamp + "_120000_1024_0999.jpg",                    # a channel that does not exist
            "README.txt"] + names[:3] + [                       # duplicates
            # Links with other paths: only the last component counts, fetched from this folder.
            "../../../../latest/" + names[-1], "https://elsewhere.invalid/x/" + names[0]]


def build_listings(root, truth):
    until = parse_iso(truth["until"])
    first = min((moment_of(n) for names in truth["images"].values() for n in names), default=until)
    day = first.date()
    while day <= until.date():
        rows = listing_rows(day, truth, root, until)
        mine = sorted(n for names in truth["images"].values() for n in names if moment_of(n).date() == day)
        extra = odd_names(day, mine) if truth.get("odd") and mine else []
        write(os.path.join(day_folder(root, day), "index.html"), listing(day, rows, extra))
        day += datetime.timedelta(days=1)


def build_latest(root, truth):
    for channel, names in truth["images"].items():
        for size in truth["sizes"]:
            if names:
                newest = sized(names[-1], size)
                with open(os.path.join(day_folder(root, moment_of(newest).date()), newest), "rb") as f:
                    data = f.read()
                write(os.path.join(root, "assets", "img", "latest",
                                   "latest_%d_%s.jpg" % (size, code(channel_of(channel)))), data)


def put_images(root, truth, wanted, pad=0, damaged=None):
    """Writes the images named in `wanted` ({channel: [names]}) at every size, one picture per channel
    and 20-minute slot (the images of a slot differ only in their comment)."""
    reference = parse_iso(truth.get("reference", truth["now"]))
    painters = {size: SunPictures(reference, size, truth.get("seed", 1)) for size in truth["sizes"]}
    by_slot = {}
    for channel, names in wanted.items():
        for name in names:
            by_slot.setdefault(int(moment_of(name).timestamp()) // SLOT_SECONDS, []).append((channel, name))
    for slot in sorted(by_slot):
        pictures = {}
        for channel, name in by_slot[slot]:
            for size, painter in painters.items():
                key = (channel, size)
                if key not in pictures:
                    pictures[key] = painter.render(channel_of(channel), moment_of(name))
                file_name = sized(name, size)
                data = padded(with_comment(pictures[key], file_name), pad)
                if file_name == damaged:
                    data = data[:len(data) // 2]
                write(os.path.join(day_folder(root, moment_of(name).date()), file_name), data)


def newest_of_slot_before_end(names):
    """The image a client fetches for a slot a few slots back: the newest of its slot."""
    slot = lambda name: int(moment_of(name).timestamp()) // SLOT_SECONDS
    return next((names[i] for i in range(len(names) - 10, 0, -1) if slot(names[i]) != slot(names[i + 1])), None)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("--now")
    parser.add_argument("--hours", type=float, default=50)
    parser.add_argument("--channels", default="171,304")
    parser.add_argument("--sizes", default="1024")
    parser.add_argument("--gap")
    parser.add_argument("--damaged", action="store_true")
    parser.add_argument("--odd", action="store_true")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--add")
    parser.add_argument("--pad-bytes", type=int, default=0)
    parser.add_argument("--cadence", type=int, default=CADENCE)
    args = parser.parse_args()
    root = args.root
    truth_path = os.path.join(root, ".work", "truth.json")

    if args.add:
        with open(truth_path) as f:
            truth = json.load(f)
        channel, count = args.add.split(":")
        names = truth["images"][channel]
        last = moment_of(names[-1])
        added = [name_of(last + datetime.timedelta(minutes=20 * step), channel_of(channel))
                 for step in range(1, int(count) + 1)]
        put_images(root, truth, {channel: added}, truth.get("pad", 0))
        names += added
        truth["until"] = max(truth["until"], moment_of(added[-1]).strftime("%Y-%m-%dT%H:%M:%SZ"))
        build_listings(root, truth)
        build_latest(root, truth)
        write(truth_path, json.dumps(truth, indent=1).encode())
        return 0

    now = parse_iso(args.now) if args.now else datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    channels = [c for c in args.channels.split(",") if c]
    sizes = [int(s) for s in args.sizes.split(",") if s]
    if 1024 not in sizes:
        sizes.insert(0, 1024)
    rng = random.Random(args.seed)
    gap = None
    if args.gap:
        ago, hours = (float(v) for v in args.gap.split(":"))
        gap = (now - datetime.timedelta(hours=ago), now - datetime.timedelta(hours=ago - hours))
    shutil.rmtree(os.path.join(root, "assets"), ignore_errors=True)
    stamp = now.strftime("%Y-%m-%dT%H:%M:%SZ")
    # The disc is as the sources show it halfway through: turning it far from that stretches what lay
    # close to the limb across the disc.
    middle = (now - datetime.timedelta(hours=args.hours / 2)).strftime("%Y-%m-%dT%H:%M:%SZ")
    truth = {"now": stamp, "until": stamp, "reference": middle, "images": {}, "damaged": None, "odd": args.odd,
             "sizes": sizes, "seed": args.seed, "pad": args.pad_bytes}
    for channel in channels:
        names = []
        moment = now - datetime.timedelta(hours=args.hours) + datetime.timedelta(seconds=rng.randint(0, 300))
        while moment <= now:
            if not (gap and gap[0] <= moment < gap[1]):
                names.append(name_of(moment, channel_of(channel)))
            moment += datetime.timedelta(seconds=args.cadence + rng.randint(-JITTER, JITTER))
        truth["images"][channel] = names
    if args.damaged and channels:
        truth["damaged"] = newest_of_slot_before_end(truth["images"][channels[0]])
    put_images(root, truth, truth["images"], args.pad_bytes, truth["damaged"])
    build_listings(root, truth)
    build_latest(root, truth)
    write(truth_path, json.dumps(truth, indent=1).encode())
    for folder, dirs, _ in os.walk(root):
        for d in dirs:
            os.chmod(os.path.join(folder, d), 0o755)
    os.chmod(root, 0o755)
    return 0


if __name__ == "__main__":
    sys.exit(main())
