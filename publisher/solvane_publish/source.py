"""The JSOC near-real-time AIA synoptic source: its hour folders, its newest-image note and its FITS files.

Layout: BASE/image_times names the newest images; BASE/YYYY/MM/DD/HHH00/ lists that hour's files
AIAYYYYMMDD_HHMMSS_WWWW.fits. The source produces files out of time order now and then, so the folders of the
last three hours are listed again on every run; an older folder is final and read from the work folder.

Only the files a slot needs are fetched: per channel and 20-minute slot, the `per_slot` files nearest the slot's
end that are worth keeping. A file whose header says it is no normal frame (QUALITY, IMG_TYPE, EXPTIME) is
replaced by a small ".skip" note with the reason, so it is neither kept nor fetched again.
"""

import collections
import concurrent.futures
import datetime
import math
import os
import re

import numpy

from . import fitsfile, log
from .fetch import read_json, write_json
from .window import CADENCE, parse_name

STAMP = re.compile(r"(\d{8})_(\d{6})")
HREF = re.compile(r"""href\s*=\s*["']?([^"'>\s]+)""", re.IGNORECASE)
# Files of an hour keep arriving for a while after it ends; after this margin its folder is final.
SETTLED = datetime.timedelta(hours=3)
LISTING_CAP = 4 << 20
FITS_CAP = 64 << 20
# Rounds of downloads per run: a slot whose nearest files turn out unusable (an eclipse, a calibration
# sequence) tries the next ones, and a slot holds about seven files.
ROUNDS = 8
SIDECARS = (".meta", ".facts", ".skip", ".bad", ".part")


def slot_end(when):
    """The end of the 20-minute slot (t - 20 min, t] that holds `when`."""
    epoch = math.ceil(when.timestamp())
    return datetime.datetime.fromtimestamp(epoch + (-epoch) % CADENCE, datetime.timezone.utc)


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
        outcome = self.fetcher.fetch(self.base + "/image_times", path, cap=LISTING_CAP)
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
        outcome = self.fetcher.fetch(url, page, cap=LISTING_CAP)
        if outcome in ("failed", "refused"):
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

    def sync(self, start, newest, channels, per_slot=1):
        """Brings in the files of `channels` observed from `start` to `newest` that the slots need. Returns
        {channel: [(time, path)]} of the good files chosen for that span (time from T_OBS when the file has it);
        `self.skipped` counts per channel the files of the span left out, by reason."""
        hour = start.replace(minute=0, second=0, microsecond=0)
        slots = collections.defaultdict(list)
        while hour <= newest:
            for name in self.hour_names(hour, newest):
                when, channel = parse_name(name)
                if channel in channels and start <= when <= newest:
                    slots[(channel, slot_end(when))].append((when, name, hour))
            hour += datetime.timedelta(hours=1)
        for items in slots.values():
            items.sort(reverse=True)  # the nearest to the slot's end first
        for _ in range(ROUNDS):
            todo = [(when, channel, name, hour) for (channel, _), items in slots.items()
                    for when, name, hour in self._chosen(channel, items, per_slot)
                    if not os.path.exists(self._path(channel, name))]
            if not todo:
                break
            log.line("source: downloading %d files" % len(todo))
            with concurrent.futures.ThreadPoolExecutor(max_workers=self.jobs) as pool:
                list(pool.map(self._download, todo))
            for channel in channels:
                self._judge_exposures(channel, [n for (c, _), items in slots.items() if c == channel
                                                for _, n, _ in items])
        held = {c: [] for c in channels}
        self.skipped = {c: collections.Counter() for c in channels}
        for (channel, _), items in slots.items():
            for when, name, _ in items:
                reason = self._refused(channel, name)
                if reason:
                    self.skipped[channel][reason] += 1
            for when, name, _ in self._chosen(channel, items, per_slot):
                path = self._path(channel, name)
                found = self._facts(channel, name)
                if found is not None:
                    observed = fitsfile.parse_time(found.get("t_obs")) or when
                    held[channel].append((observed, path))
        return held

    def _chosen(self, channel, items, per_slot):
        return [item for item in items if not self._refused(channel, item[1])][:per_slot]

    def _path(self, channel, name):
        return os.path.join(self.work, "fits", str(channel), name)

    def _refused(self, channel, name):
        """Why a file is not used ("damaged", "quality", ...), or None."""
        path = self._path(channel, name)
        if os.path.exists(path + ".bad"):
            return "damaged"
        if os.path.exists(path + ".skip"):
            return (read_json(path + ".skip") or {}).get("reason") or "skipped"
        return None

    def _facts(self, channel, name):
        """The header facts of a held file (kept beside it once read), or None when it is not held."""
        path = self._path(channel, name)
        if not os.path.exists(path):
            return None
        found = read_json(path + ".facts")
        if not isinstance(found, dict):
            try:
                found = fitsfile.facts(path)
            except Exception as error:  # a file that read well once may still go bad on disk
                log.line("source: %s unreadable: %s" % (name, error))
                self._skip(channel, name, "damaged", {})
                return None
            write_json(path + ".facts", found)
        return found

    def _skip(self, channel, name, reason, found):
        path = self._path(channel, name)
        write_json(path + ".skip", dict(found, reason=reason))
        for leftover in (path, path + ".facts", path + ".meta"):
            if os.path.exists(leftover):
                os.unlink(leftover)

    def _judge_exposures(self, channel, names):
        """Skips the held files whose exposure is far from the channel's usual one (the median of its files)."""
        facts = {n: self._facts(channel, n) for n in names if os.path.exists(self._path(channel, n))}
        facts = {n: f for n, f in facts.items() if f is not None}
        exposures = [f["exptime"] for f in facts.values() if f.get("exptime")]
        if not exposures:
            return
        usual = float(numpy.median(exposures))
        for name, found in facts.items():
            if fitsfile.exposure_reason(found, usual):
                self._skip(channel, name, "exposure", found)

    def _download(self, item):
        when, channel, name, hour = item
        url = "%s/%s/H%s00/%s" % (self.base, hour.strftime("%Y/%m/%d"), hour.strftime("%H"), name)
        path = self._path(channel, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        outcome = self.fetcher.fetch(url, path, conditional=False, check=fitsfile.problem, cap=FITS_CAP)
        if outcome == "refused":
            # A damaged file on the source stays damaged: remember it so it is not fetched every run.
            with open(path + ".bad", "w") as f:
                f.write(url + "\n")
            log.line("source: %s skipped: damaged at the source; it is not fetched again" % name)
            return
        found = self._facts(channel, name)
        reason = fitsfile.flag_reason(found) if found is not None else None
        if reason:
            self._skip(channel, name, reason, found)

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
                base = name
                for suffix in SIDECARS:
                    base = base.replace(suffix, "")
                parsed = parse_name(base)
                if parsed and parsed[0] < start:
                    os.unlink(os.path.join(folder, name))
