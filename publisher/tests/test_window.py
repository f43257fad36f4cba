"""Slots, holds and slot means on inputs whose answers are known exactly."""

import datetime

import numpy
import pytest
from astropy.io import fits

from solvane_publish import images
from solvane_publish.window import ChannelPlan, frame_keys, parse_name, real_slots, slot_mean, window_end

END = datetime.datetime(2026, 10, 1, 6, 0, tzinfo=datetime.timezone.utc)


def at(minutes_before):
    return END - datetime.timedelta(minutes=minutes_before)


@pytest.mark.parametrize("minutes, real, shown, count", [
    # one observation per slot: every slot real
    ([0, 20, 40, 60], [["a60"], ["a40"], ["a20"], ["a0"]], None, 4),
    # a slot is (t - 20 min, t]: an observation on a slot's own time belongs to it, one a second later not
    ([0, 20, 21, 39], [[], [], ["a20", "a21", "a39"], ["a0"]], None, 2),
    # the gap holds the slot before; the leading empty slot holds the first observation
    ([5, 45], [[], ["a45"], [], ["a5"]], [("a45",), ("a45",), ("a45",), ("a5",)], 2),
    # outside the window (later than the end, older than the first slot) counts for nothing
    ([-1, 80], [[], [], [], []], [None, None, None, None], 0),
])
def test_plan_of_slots(minutes, real, shown, count):
    plan = ChannelPlan([(at(m), "a%d" % m) for m in minutes], END, 4)
    assert [sorted(r) for r in plan.real] == [sorted(r) for r in real]
    if shown:
        assert plan.shown == shown
    assert plan.frame_count == count


def test_window_names_and_keys():
    assert window_end(datetime.datetime(2026, 10, 1, 5, 59, 59, tzinfo=datetime.timezone.utc)) == at(20)
    assert window_end(END) == END
    assert parse_name("AIA20261001_054200_0171.fits") == (at(18), 171)
    assert parse_name("AIA20261301_054200_0171.fits") is None
    assert parse_name("AIA20261001_054200_0171.fits.part") is None
    held = ChannelPlan([(at(45), "x")], END, 4)
    keys = frame_keys("171", [held], "1")
    assert keys[0] == keys[1] == keys[2] == keys[3]
    assert frame_keys("193", [held], "1")[0] != keys[0]
    both = [ChannelPlan([(at(45), "x"), (at(5), "y")], END, 4), held]
    assert real_slots(both) == 1


def test_slot_mean_is_right_to_the_pixel(tmp_path):
    rng = numpy.random.default_rng(7)
    raw = [rng.uniform(0, 5000, (16, 16)).astype(numpy.float32) for _ in range(3)]
    exposures = [2.0, 2.9, 0.7]
    paths = []
    for number, (data, exposure) in enumerate(zip(raw, exposures)):
        header = fits.Header()
        header["EXPTIME"] = exposure
        path = str(tmp_path / ("%d.fits" % number))
        fits.PrimaryHDU(data, header).writeto(path)
        paths.append(path)
    mean = slot_mean([images.read_frame(p, 16)[0] for p in paths])
    expected = sum(d.astype(numpy.float64) / numpy.float32(e) for d, e in zip(raw, exposures)) / 3
    rates = [(d / numpy.float32(e)).astype(numpy.float64) for d, e in zip(raw, exposures)]
    numpy.testing.assert_array_equal(mean, (rates[0] + rates[1] + rates[2]) / 3)
    numpy.testing.assert_allclose(mean, expected, rtol=1e-6)


def test_rhef_spreads_every_ring_over_the_whole_range():
    rng = numpy.random.default_rng(3)
    image = rng.exponential(100.0, (64, 64)).astype(numpy.float32)
    disc = images.Disc(31.5, 31.5, 25.0)
    out = images.rhef(image, disc, bins=8)
    y, x = numpy.indices(image.shape)
    r = numpy.hypot(x - 31.5, y - 31.5)
    ring = numpy.minimum((r / r.max() * 8).astype(int), 7)
    for k in range(8):
        values = numpy.sort(out[ring == k])
        assert values[0] == 0.0 and values[-1] == 1.0
        # ranks: evenly spaced, and in the order of the input
        numpy.testing.assert_allclose(numpy.diff(values), 1.0 / (values.size - 1), rtol=1e-4)
        assert numpy.array_equal(numpy.argsort(out[ring == k], kind="stable"),
                                 numpy.argsort(image[ring == k], kind="stable"))
