"""One publishing run: bring the source's files in, plan each product's 144 slots, draw the frames that are not
drawn yet, encode the products whose window moved, and publish them with the index last."""

import collections
import concurrent.futures
import datetime
import email.utils
import fcntl
import hashlib
import multiprocessing
import os
import shutil

import numpy

from . import catalog, encode, frames, images, log, tree
from .dem import DEFAULT_TABLE, Responses
from .fetch import Fetcher, read_json, write_json
from .source import Source, slot_end
from .store import ObjectStore, StoreError, is_store
from .window import CADENCE, ChannelPlan, frame_keys, real_slots, slot_time, window_end

RENDER_VERSION = "2"
FALLBACK_METHOD = "resampled NASA SDO 48-hour movie"
MOVIE_HOURS = 48
MOVIE_FRESH = datetime.timedelta(hours=6)
MOVIE_CAP = 512 << 20


def iso(when):
    return when.strftime("%Y-%m-%dT%H:%M:%SZ")


def stem(when):
    return when.strftime("%Y%m%dT%H%M%S")


def movie_slots(count, slots):
    """For each of `slots` 20-minute slots ending at a movie's last frame, the movie frame that shows it: a
    movie of `count` frames spreads them evenly over its 48 hours, the last frame at its end."""
    step = MOVIE_HOURS * 3600.0 / count
    picks = []
    for index in range(slots):
        before_end = CADENCE * (slots - 1 - index)
        picks.append(min(count - 1, max(0, int(round(count - 1 - before_end / step)))))
    return picks


class Failed(Exception):
    """A product that cannot be made this run; the text is the reason."""


class Run:
    def __init__(self, options):
        self.o = options
        self.work = os.path.abspath(options.work)
        # An object store gets the tree built in the work folder, then copied up in a safe order.
        self.store = options.out if is_store(options.out) else None
        self.out = os.path.join(self.work, "tree") if self.store else os.path.abspath(options.out)
        self.fetcher = Fetcher(retries=options.retries, backoff=options.backoff, deadline=options.deadline)
        self.slots = options.hours * 3

    def run(self):
        """Returns the exit status: 0 when an index is published (or already current), 3 when none could be."""
        os.makedirs(self.work, exist_ok=True)
        os.makedirs(self.out, exist_ok=True)
        with open(os.path.join(self.work, "lock"), "w") as lock:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except OSError:
                log.line("another publish is running with this work folder; nothing done")
                return 0
            return self._locked()

    def _locked(self):
        tree.clean_parts(self.out)
        wanted = [p for p in catalog.IDS if p in self.o.products]
        channels = catalog.channels_of(wanted)
        source = Source(self.o.source, self.work, self.fetcher, jobs=self.o.jobs)
        newest = source.newest()
        if newest is None:
            newest = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(minutes=20)
            log.line("source: no newest image time; assuming %s" % iso(newest))
        end = window_end(newest)
        start = slot_time(end, 0, self.slots) - datetime.timedelta(seconds=CADENCE - 1)
        self.held = source.sync(start, newest, channels, self.o.per_slot)
        source.prune(start)
        log.line("source: %d requests, %d bytes received" % (self.fetcher.requests, self.fetcher.received))
        if not source.reached and not any(self.held.values()):
            log.line("nothing to publish: the source %s cannot be reached and no files are held" % self.o.source)
            return 3
        self.end, self.start, self.plans = end, start, {}
        for pid in wanted:
            counts = collections.Counter()
            for channel in catalog.INPUTS[pid]:
                counts.update(source.skipped.get(channel, {}))
            if counts:
                log.line("%s: skipped %d files: %s" % (pid, sum(counts.values()), ", ".join(
                    "%d %s" % (counts[r], r) for r in sorted(counts, key=lambda r: (-counts[r], r)))))
        previous = tree.read_index(self.out) or {"products": [], "failed": []}
        before = {e.get("id"): e for e in previous["products"] if isinstance(e, dict)}
        entries, failed, builds = {}, {}, []
        for pid in wanted:
            try:
                build = self._plan(pid)
            except Failed as reason:
                failed[pid] = str(reason)
                continue
            old = before.get(pid)
            if old and str(old.get("video_v", "")) >= tree.versioned(pid, stem(build["end"]), "mp4") \
                    and pid not in (previous.get("failed") or []):
                entries[pid] = old
                log.line("%s: unchanged, %s is current" % (pid, old["video_v"]))
                continue
            builds.append(build)
        self._draw(builds, failed)
        for build in builds:
            if build["id"] in failed:
                continue
            try:
                entries[build["id"]] = self._publish(build)
            except Failed as reason:
                failed[build["id"]] = str(reason)
        for pid, reason in failed.items():
            log.line("%s: failed: %s" % (pid, reason))
            if pid in before:
                entries[pid] = before[pid]  # the last good clip stays listed
        status = self._index(previous, entries, failed)
        self._forget_frames(builds)
        if self.store and status == 0:
            try:
                uploaded, removed, kept = ObjectStore(self.store, self.o.endpoint).sync(self.out)
            except StoreError as error:
                log.line("object store %s: not brought up to date, its index stays the old one: %s"
                         % (self.store, error))
                return 3
            log.line("object store %s: %d files uploaded, %d old versions removed%s" % (
                self.store, uploaded, removed, ", %d could not be removed" % kept if kept else ""))
        return status

    def _plan_of(self, channel, end):
        if (channel, end) not in self.plans:
            self.plans[(channel, end)] = ChannelPlan(self.held[channel], end, self.slots)
        return self.plans[(channel, end)]

    def _plan(self, pid):
        """What a product's clip is made of. Its window ends with the slot of the newest observation that all
        its current channels have, so a channel whose files stopped publishes a clip that ends when they did, and
        its `updated` says so."""
        inputs = catalog.INPUTS[pid]
        responses = None
        if pid == "dem":
            path = self.o.responses or DEFAULT_TABLE
            if not os.path.exists(path):
                raise Failed("no AIA temperature response table (%s); the temperature map needs one" % path)
            try:
                responses = Responses.load(path)
            except (OSError, ValueError) as error:
                raise Failed("temperature responses unusable: %s" % error)
            log.line("dem: temperature responses from %s" % responses.source)
        newest = {c: max((t for t, _ in self.held[c] if t <= self.end + datetime.timedelta(seconds=CADENCE)),
                         default=None) for c in inputs}
        if len(inputs) == 1:
            seen = newest[inputs[0]]
            stale = self.end - datetime.timedelta(minutes=self.o.stale_minutes)
            if seen is None or seen < stale:
                said = "no files in the window" if seen is None else "files stopped at " + iso(seen)
                movie = self._fallback(pid, inputs[0])
                if movie:
                    log.line("%s: %s; using the NASA SDO movie" % (pid, said))
                    return movie
                if seen is None:
                    raise Failed("no observations of %d \u00c5 in the window, and no NASA SDO movie" % inputs[0])
                log.line("%s: %s and no NASA SDO movie; its clip ends there" % (pid, said))
        for channel in inputs:
            if newest[channel] is None:
                raise Failed("no observations of %d \u00c5 in the window" % channel)
        # A composite follows its channels that are current; one whose files stopped holds its last frame.
        stale = self.end - datetime.timedelta(minutes=self.o.stale_minutes)
        current = [c for c in inputs if newest[c] >= stale] or list(inputs)
        for channel in inputs:
            if channel not in current and len(inputs) > 1:
                log.line("%s: %d \u00c5 files stopped at %s; its part holds the last frame" % (
                    pid, channel, iso(newest[channel])))
        end = min([self.end] + [slot_end(newest[c]) for c in current])
        mine = [self._plan_of(c, end) for c in inputs]
        for channel, plan in zip(inputs, mine):
            if plan.empty:
                raise Failed("no observations of %d \u00c5 in the window" % channel)
        limits = {inputs[0]: self._limits(inputs[0], mine[0])} if len(inputs) == 1 else {}
        keys = frame_keys(pid, mine, "%s|%d|%r" % (RENDER_VERSION, self.o.size, sorted(limits.items())))
        folder = os.path.join(self.work, "frames", pid)
        os.makedirs(folder, exist_ok=True)
        paths = [os.path.join(folder, k + ".png") for k in keys]
        updated = min(p.newest for c, p in zip(inputs, mine) if c in current)
        through = min(p.newest for p in mine)
        return {"id": pid, "inputs": inputs, "plans": mine, "frames": paths, "fallback": False,
                "responses": responses and (self.o.responses or DEFAULT_TABLE), "limits": limits,
                "frame_count": real_slots(mine), "per_slot": min(p.per_slot() for p in mine),
                "end": end, "updated": updated, "through": through}

    def _limits(self, channel, plan):
        """The channel's stretch for every frame of its clip: taken once over the window's frames, then held
        for a window's length, so frames drawn in different runs share it."""
        path = os.path.join(self.work, "limits.json")
        held = read_json(path) or {}
        mine = held.get(str(channel))
        if isinstance(mine, dict) and str(mine.get("since", "")) >= iso(self.start) and \
                mine.get("size") == self.o.size:
            return (mine["low"], mine["high"])
        real = [r for r in plan.real if r]
        picks = [real[round(k * (len(real) - 1) / 11.0)][-1] for k in range(12)] if len(real) > 12 else \
            [r[-1] for r in real]
        lows, highs = [], []
        for name in sorted(set(picks)):
            try:
                rate, _ = images.read_frame(name, self.o.size)
            except Exception:  # unreadable now: the others decide
                continue
            found = images.stretch(rate)
            if found:
                lows.append(found[0])
                highs.append(found[1])
        if not lows:
            return None
        limits = (float(numpy.median(lows)), float(numpy.median(highs)))
        held[str(channel)] = {"low": limits[0], "high": limits[1], "since": iso(self.end), "size": self.o.size}
        write_json(path, held)
        log.line("%d: stretch %.4g to %.4g DN/s, taken over %d frames of the window" % (
            channel, limits[0], limits[1], len(lows)))
        return limits

    def _fallback(self, pid, channel):
        """The NASA SDO 48-hour movie as the product's clip, when it is recent: its frames spread over the 48
        hours that end at its Last-Modified time."""
        if not self.o.fallback:
            return None
        name = "latest_1024_%04d.mp4" % channel
        movie = os.path.join(self.work, "fallback", name)
        os.makedirs(os.path.dirname(movie), exist_ok=True)
        outcome = self.fetcher.fetch(self.o.fallback.rstrip("/") + "/" + name, movie, cap=MOVIE_CAP)
        if outcome not in ("changed", "unchanged"):
            return None
        try:
            modified = email.utils.parsedate_to_datetime((read_json(movie + ".meta") or {}).get("last_modified"))
        except (TypeError, ValueError, IndexError):
            modified = None
        if modified is None or modified.tzinfo is None:
            log.line("%s: the NASA SDO movie has no Last-Modified time; not used" % pid)
            return None
        modified = modified.astimezone(datetime.timezone.utc)
        age = datetime.datetime.now(datetime.timezone.utc) - modified
        if age > MOVIE_FRESH:
            log.line("%s: the NASA SDO movie is %.1f hours old; not used" % (pid, age.total_seconds() / 3600))
            return None
        mark = hashlib.sha1(("%d|%f|%d" % (os.path.getsize(movie), os.path.getmtime(movie), self.o.size)).encode())
        folder = os.path.join(self.work, "frames", pid, "movie-" + mark.hexdigest()[:16])
        try:
            if os.path.isdir(folder) and os.listdir(folder):
                decoded = sorted(os.path.join(folder, n) for n in os.listdir(folder))
            else:
                decoded = encode.movie_frames(movie, folder, self.o.size)
        except RuntimeError as error:
            log.line("%s: NASA SDO movie unusable: %s" % (pid, error))
            return None
        picks = movie_slots(len(decoded), self.slots)
        return {"id": pid, "frames": [decoded[j] for j in picks], "fallback": True,
                "frame_count": len(set(picks)), "per_slot": 1, "end": modified, "updated": modified,
                "through": modified}

    def _draw(self, builds, failed):
        """Draws every frame not drawn before, one slot per task, across worker processes."""
        tasks = []
        for index in range(self.slots):
            files, jobs = {}, []
            for build in builds:
                if build["fallback"] or os.path.exists(build["frames"][index]) or \
                        any(j[2] == build["frames"][index] for j in jobs):
                    continue
                if index and build["frames"][index] == build["frames"][index - 1]:
                    continue  # held: drawn with the slot before
                for channel, plan in zip(build["inputs"], build["plans"]):
                    files[channel] = list(plan.shown[index])
                jobs.append((build["id"], build["inputs"], build["frames"][index]))
            if jobs:
                responses = next((b["responses"] for b in builds if b.get("responses")), None)
                limits = {}
                for build in builds:
                    limits.update(build.get("limits") or {})
                tasks.append((self.o.size, responses, files, jobs, limits))
        if not tasks:
            return
        log.line("drawing %d frames in %d slots" % (sum(len(t[3]) for t in tasks), len(tasks)))
        context = multiprocessing.get_context("fork")
        with concurrent.futures.ProcessPoolExecutor(max_workers=self.o.jobs_draw, mp_context=context) as pool:
            for problems in pool.map(frames.render_slot, tasks):
                for product, text in problems:
                    if product:
                        failed.setdefault(product, "a frame could not be drawn: " + text)
                    else:
                        log.line("skipped " + text)

    def _publish(self, build):
        pid, end = build["id"], build["end"]
        missing = [f for f in build["frames"] if not os.path.exists(f)]
        if missing:
            raise Failed("%d frames were not drawn" % len(missing))
        clip_key = tree.versioned(pid, stem(end), "mp4")
        still_key = tree.versioned(pid, stem(end), "png")
        clip = os.path.join(self.out, clip_key)
        os.makedirs(os.path.dirname(clip), exist_ok=True)
        part = "%s.%d.part" % (clip, os.getpid())
        error = encode.encode_clip(build["frames"], part, self.o.size, self.work, preset=self.o.preset)
        if error:
            raise Failed(error)
        os.chmod(part, 0o644)
        os.replace(part, clip)
        tree.copy_atomic(build["frames"][-1], os.path.join(self.out, still_key))
        tree.copy_atomic(clip, os.path.join(self.out, tree.fixed_clip(pid)))
        tree.copy_atomic(build["frames"][-1], os.path.join(self.out, tree.fixed_still(pid)))
        entry = {"id": pid, "label": catalog.LABELS[pid], "updated": iso(build["updated"]),
                 "through": iso(build["through"]), "video": tree.fixed_clip(pid), "video_v": clip_key,
                 "img1k": tree.fixed_still(pid), "still_v": still_key, "frame_count": build["frame_count"],
                 "integration": {"frames": build["per_slot"], "method": "mean"}, "credit": catalog.CREDIT,
                 "source": "JSOC AIA synoptic near-real-time, level 1.5"}
        if build["fallback"]:
            entry["label"] = catalog.LABELS[pid] + " (NASA SDO movie)"
            entry["integration"] = {"frames": 1, "method": FALLBACK_METHOD}
            entry["source"] = "NASA SDO 48-hour latest movie"
        tree.write_fragment(self.out, entry)
        log.line("%s: published %s (%d slots, %d with observations%s)" % (
            pid, clip_key, self.slots, build["frame_count"], ", from the NASA SDO movie" if build["fallback"] else ""))
        return entry

    def _index(self, previous, entries, failed):
        products = [entries[p] for p in catalog.IDS if p in entries]
        failed_ids = [p for p in catalog.IDS if p in failed]
        if not products:
            log.line("nothing published: no product could be made")
            return 3
        if products == previous.get("products") and failed_ids == previous.get("failed"):
            log.line("index unchanged: nothing new")
            return 0
        now = iso(datetime.datetime.now(datetime.timezone.utc))
        index = {"generated": now, "mirrored": now, "failed": failed_ids, "credit": catalog.CREDIT,
                 "products": products}
        tree.write_index(self.out, index)
        tree.keep_dirs_readable(self.out)
        log.line("index published: %d products, %d failed" % (len(products), len(failed_ids)))
        tree.prune_versions(self.out, index, self.o.retention)
        return 0

    def _forget_frames(self, builds):
        """Drops the drawn frames of a product that its current window no longer shows."""
        for build in builds:
            keep = set(build["frames"])
            folder = os.path.join(self.work, "frames", build["id"])
            for name in os.listdir(folder):
                path = os.path.join(folder, name)
                if build["fallback"]:
                    if os.path.isdir(path) and path != os.path.dirname(build["frames"][0]):
                        shutil.rmtree(path, ignore_errors=True)
                elif path not in keep and not os.path.isdir(path):
                    os.unlink(path)
