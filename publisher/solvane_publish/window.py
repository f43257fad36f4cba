"""The 48-hour window: slots of 20 minutes, which observations fall in which slot, and slot means.

Slot i of n shows the time end - 1200 s * (n - 1 - i) (the client's frame time) and holds the observations of
the 20 minutes up to and including that time. A slot without an observation holds the one before; slots before
the first observation hold the first one, so a clip never starts black.
"""

import datetime
import hashlib
import re

import numpy

CADENCE = 1200
NAME = re.compile(r"^AIA(\d{8})_(\d{6})_(\d{4})\.fits$")


def parse_name(name):
    """(time, channel) of a source file name like AIA20261001_054200_0171.fits, or None."""
    match = NAME.match(name)
    if not match:
        return None
    try:
        when = datetime.datetime.strptime(match.group(1) + match.group(2), "%Y%m%d%H%M%S")
    except ValueError:
        return None
    return when.replace(tzinfo=datetime.timezone.utc), int(match.group(3))


def window_end(newest):
    """The last 20-minute boundary at or before the newest observation."""
    epoch = int(newest.timestamp())
    return datetime.datetime.fromtimestamp(epoch - epoch % CADENCE, datetime.timezone.utc)


def slot_time(end, index, slots):
    return end - datetime.timedelta(seconds=CADENCE * (slots - 1 - index))


def slot_of(when, end, slots):
    """The slot an observation at `when` belongs to, or None outside the window."""
    ahead = (end - when).total_seconds()
    if ahead < 0:
        return None
    index = slots - 1 - int(ahead // CADENCE)
    return index if index >= 0 else None


class ChannelPlan:
    """Which files of one channel make each slot: `real[i]` the slot's own observations (maybe empty),
    `shown[i]` those it shows (its own, else held from before). `newest` is the newest observation's time."""

    def __init__(self, files, end, slots):
        self.real = [[] for _ in range(slots)]
        self.newest = None
        for when, name in sorted(files):
            index = slot_of(when, end, slots)
            if index is None:
                continue
            self.real[index].append(name)
            self.newest = when if self.newest is None or when > self.newest else self.newest
        first = next((r for r in self.real if r), None)
        self.shown = []
        held = first
        for own in self.real:
            held = own if own else held
            self.shown.append(tuple(held) if held else None)

    @property
    def frame_count(self):
        return sum(1 for r in self.real if r)

    @property
    def empty(self):
        return self.frame_count == 0

    def per_slot(self):
        """The observations a real slot combines, as the median over real slots (0 when none)."""
        counts = sorted(len(r) for r in self.real if r)
        return counts[len(counts) // 2] if counts else 0


def frame_keys(product, plans, salt):
    """One key per slot naming exactly what the product's frame is made of; equal keys mean equal frames."""
    keys = []
    for index in range(len(plans[0].shown)):
        digest = hashlib.sha1(("%s|%s" % (product, salt)).encode())
        for plan in plans:
            digest.update(repr(plan.shown[index]).encode())
        keys.append(digest.hexdigest()[:20])
    return keys


def real_slots(plans):
    """Slots where every input channel has an observation of its own."""
    return sum(1 for index in range(len(plans[0].real)) if all(p.real[index] for p in plans))


def slot_mean(images):
    """The pixel-wise mean of equally sized images, in float64 so the sum loses nothing."""
    total = numpy.zeros(images[0].shape, dtype=numpy.float64)
    for image in images:
        total += image
    return total / len(images)
