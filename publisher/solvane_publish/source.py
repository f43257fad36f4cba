"""The JSOC near-real-time AIA synoptic source: its hour folders, its newest-image note and its FITS files.

Layout: BASE/image_times names the newest images; BASE/YYYY/MM/DD/HHH00/ lists that hour's files
AIAYYYYMMDD_HHMMSS_WWWW.fits. An hour folder is asked again only until the newest image is well past its
end, so a run with nothing new sends a few conditional requests and downloads nothing.
"""

import concurrent.futures
import datetime
import os
import re

from astropy.io import fits

from . import log
from .fetch import read_json, write_json
from .window import parse_name

STAMP = re.compile(r"(\d{8})_(\d{6})")
HREF = re.compile(r"""href\s*=\s*["']?([^"'>\s]+)""", re.IGNORECASE)
# Files of an hour keep arriving for a while after it ends; after this margin its folder is final.
SETTLED = datetime.timedelta(minutes=40)


def newest_from(text):
    """The latest YYYYMMDD_HHMMSS stamp in an image_times text, or None."""
    best = None
    for day, clock in STAMP.findall(text):
        try:
            when = datetime.datetime.strptime(day + clock, "%Y%m%d%H%M%S").replace(tzinfo=datetime.timezone.utc)
        except ValueError:
            continue
        best = when if best is None or when > best else best
    return best


def check_fits(path):
    """None when the file is a FITS image we can read, else the reason."""
    try:
        with fits.open(path, memmap=False) as hdus:
            for hdu in hdus:
                if hdu.data is not None and getattr(hdu.data, "ndim", 0) == 2:
                    return None
        return "no image in the file"
    except Exception as error:  # astropy raises many kinds for a damaged file
        return "not a readable FITS file (%s)" % error


class Source:
    def __init__(self, base, work, fetcher, jobs=4):
        self.base = base.rstrip("/")
        self.work = work
        self.fetcher = fetcher
        self.jobs = jobs
        self.reached = False

    def newest(self):
        """The newest image time the source names, or None when it cannot be read."""
        path = os.path.join(self.work, "image_times")
        outcome = self.fetcher.fetch(self.base + "/image_times", path)
        if outcome in ("changed", "unchanged"):
            self.reached = True
        elif outcome == "failed":
            log.line("source: cannot read %s/image_times" % self.base)
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                return newest_from(f.read())
        except OSError:
            return None

    def hour_names(self, hour, newest):
        """File names listed in one hour folder; a settled folder is read from the work folder only."""
        stem = hour.strftime("%Y%m%d%H")
        state_path = os.path.join(self.work, "listings", stem + ".json")
        state = read_json(state_path) or {}
        if state.get("settled"):
            return state.get("names", [])
        url = "%s/%s/H%s00/" % (self.base, hour.strftime("%Y/%m/%d"), hour.strftime("%H"))
        page = os.path.join(self.work, "listings", stem + ".html")
        outcome = self.fetcher.fetch(url, page)
        if outcome == "failed":
            return state.get("names", [])
        self.reached = True
        if outcome == "missing":
            names = []
        elif outcome == "unchanged" and "names" in state:
            names = state["names"]
        else:
            with open(page, encoding="utf-8", errors="replace") as f:
                names = sorted({os.path.basename(h) for h in HREF.findall(f.read())
                                if parse_name(os.path.basename(h))})
        settled = newest is not None and newest >= hour + datetime.timedelta(hours=1) + SETTLED
        if names != state.get("names") or settled != bool(state.get("settled")):
            write_json(state_path, {"names": names, "settled": settled})
        return names

    def sync(self, start, newest, channels):
        """Downloads every missing file of `channels` observed from `start` to `newest`. Returns
        {channel: [(time, path)]} of the good files held for that span, downloaded now or before."""
        hour = start.replace(minute=0, second=0, microsecond=0)
        wanted = []
        while hour <= newest:
            for name in self.hour_names(hour, newest):
                when, channel = parse_name(name)
                if channel in channels and start <= when <= newest:
                    wanted.append((when, channel, name, hour))
            hour += datetime.timedelta(hours=1)
        todo = [w for w in wanted if not self._held(w[1], w[2])]
        if todo:
            log.line("source: downloading %d files (%d held)" % (len(todo), len(wanted) - len(todo)))
        with concurrent.futures.ThreadPoolExecutor(max_workers=self.jobs) as pool:
            list(pool.map(self._download, todo))
        held = {c: [] for c in channels}
        for when, channel, name, _ in wanted:
            path = self._path(channel, name)
            if os.path.exists(path):
                held[channel].append((when, path))
        return held

    def _path(self, channel, name):
        return os.path.join(self.work, "fits", str(channel), name)

    def _held(self, channel, name):
        path = self._path(channel, name)
        return os.path.exists(path) or os.path.exists(path + ".bad")

    def _download(self, item):
        when, channel, name, hour = item
        url = "%s/%s/H%s00/%s" % (self.base, hour.strftime("%Y/%m/%d"), hour.strftime("%H"), name)
        path = self._path(channel, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        outcome = self.fetcher.fetch(url, path, conditional=False, check=check_fits)
        if outcome == "refused":
            # A damaged file on the source stays damaged: remember it so it is not fetched every run.
            with open(path + ".bad", "w") as f:
                f.write(url + "\n")
            log.line("source: %s skipped: damaged at the source; it is not fetched again" % name)

    def prune(self, start):
        """Removes held files observed before `start` (they left the window), and their hours' listings."""
        listings = os.path.join(self.work, "listings")
        if os.path.isdir(listings):
            for name in os.listdir(listings):
                try:
                    hour = datetime.datetime.strptime(name[:10], "%Y%m%d%H").replace(tzinfo=datetime.timezone.utc)
                except ValueError:
                    continue
                if hour + datetime.timedelta(hours=1) < start:
                    os.unlink(os.path.join(listings, name))
        top = os.path.join(self.work, "fits")
        if not os.path.isdir(top):
            return
        for channel in os.listdir(top):
            folder = os.path.join(top, channel)
            for name in os.listdir(folder):
                parsed = parse_name(name.replace(".bad", "").replace(".meta", ""))
                if parsed and parsed[0] < start:
                    os.unlink(os.path.join(folder, name))
