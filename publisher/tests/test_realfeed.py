"""The shared world as the real feed has it: flagged frames, a flare, a late file, NASA's movie with its own time.
Runs after test_publish.py (file order), on the world that test left at 06:20."""

import datetime
import os
import re

import numpy
import pytest

import jsoc_source
from conftest import END, HOURS
from test_publish import gray_frames, index_of

SLOTS = HOURS * 3


def disc_medians(clip, side=128):
    """The median grey level inside the disc (the stand-in's disc: centred, 0.39 of the side) of every frame."""
    frames = gray_frames(clip, side)
    y, x = numpy.indices((side, side))
    inside = numpy.hypot(x - (side - 1) / 2.0, y - (side - 1) / 2.0) < 0.39 * side * 0.9
    return numpy.array([numpy.median(f[inside]) for f in frames])


def test_flagged_frames_are_skipped_and_counted_per_product(world):
    log = world.first.stderr
    # The eclipse slot's seven files per channel, a dark frame, a short exposure, a flagged frame, a damaged file.
    assert "171: skipped 9 files: 7 quality, 1 damaged, 1 not light" in log
    assert "211: skipped 8 files: 7 quality, 1 exposure" in log
    assert "304: skipped 8 files: 8 quality" in log
    assert "composite_uv: skipped 22 files: 22 quality" in log
    for channel in (171, 211, 304):
        folder = os.path.join(world.work, "fits", str(channel))
        skipped = [n for n in os.listdir(folder) if n.endswith(".skip")]
        assert skipped and not any(os.path.exists(os.path.join(folder, n[:-5])) for n in skipped)


@pytest.mark.parametrize("header, usual, reason", [
    ({"QUALITY": 0, "IMG_TYPE": "LIGHT", "EXPTIME": 2.0}, 2.0, None),
    ({}, None, None),  # a file without the keys is taken as it is
    ({"QUALITY": 0x800, "IMG_TYPE": "LIGHT", "EXPTIME": 2.0}, 2.0, "quality"),
    ({"QUALITY": 0, "IMG_TYPE": "DARK", "EXPTIME": 0.0}, 2.0, "not light"),
    ({"QUALITY": 0, "IMG_TYPE": "LIGHT", "EXPTIME": 0.0}, 2.0, "exposure"),
    ({"QUALITY": 0, "IMG_TYPE": "LIGHT", "EXPTIME": 0.1}, 2.0, "exposure"),
    ({"QUALITY": 0, "IMG_TYPE": "LIGHT", "EXPTIME": 2.9}, 2.0, None),
])
def test_a_frame_is_judged_by_its_header(tmp_path, header, usual, reason):
    from astropy.io import fits
    from solvane_publish import fitsfile

    path = str(tmp_path / "f.fits")
    data = numpy.ones((8, 8), dtype=numpy.int16)
    fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(data, fits.Header(header), compression_type="RICE_1")]) \
        .writeto(path)
    found = fitsfile.facts(path)
    assert (fitsfile.flag_reason(found) or fitsfile.exposure_reason(found, usual)) == reason
    assert fitsfile.parse_time("2026-10-01T05:59:59.57Z") == datetime.datetime(
        2026, 10, 1, 5, 59, 59, 570000, tzinfo=datetime.timezone.utc)


def test_a_flare_brightens_its_region_without_dimming_the_disc(world):
    entry = {e["id"]: e for e in index_of(world.out)["products"]}["211"]
    medians = disc_medians(os.path.join(world.out, entry["video_v"]))
    steps = numpy.abs(numpy.diff(medians))
    # The disc itself does not change: only the bright points move and the flare comes and goes.
    assert steps.max() <= 3, medians


def test_the_first_run_fetches_one_file_per_slot_and_a_late_file_is_drawn_again(world):
    fetched = [path for path, status in world.first_requests if path.endswith(".fits") and status == 200]
    listed = sum(len(v) for v in world.written.values())
    # One per channel and slot, the eclipse's and the flagged frames, and the next ones in their slots.
    assert len(fetched) <= 9 * (SLOTS + 1) + 9 * 7 + 10, (len(fetched), listed)
    assert listed > 3 * len(fetched)
    # A file the source produces late, for a slot almost two hours old, is fetched and its slot drawn again.
    channel, when = world.late
    nrt = os.path.join(world.root, "nrt")
    jsoc_source.write_one(nrt, when, channel)
    newer = END + datetime.timedelta(minutes=40)
    jsoc_source.make_source(nrt, END + datetime.timedelta(minutes=21), newer, stops=[(335, END)])
    frames_before = set(os.listdir(os.path.join(world.work, "frames", "171")))
    world.server.taken()
    done = world.publish()
    assert done.returncode == 0, done.stderr
    late = "/nrt/%s/%s" % (jsoc_source.folder_for("", when).strip("/"), jsoc_source.name_for(when, channel))
    assert (late, 200) in world.server.taken()
    drawn = set(os.listdir(os.path.join(world.work, "frames", "171"))) - frames_before
    assert len(drawn) == 2  # the new slot, and the one that gained the late file
    # Files that left the window are gone from the work folder.
    start = newer - datetime.timedelta(hours=HOURS)
    held = [jsoc_source_time(n) for n in os.listdir(os.path.join(world.work, "fits", "171"))]
    assert min(t for t in held if t) > start - datetime.timedelta(minutes=20)


def jsoc_source_time(name):
    stem = name.split(".fits")[0]
    try:
        return datetime.datetime.strptime(stem[3:18], "%Y%m%d_%H%M%S").replace(tzinfo=datetime.timezone.utc)
    except ValueError:
        return None


def test_the_nasa_movie_is_used_by_its_own_time_and_only_when_recent(world, tmp_path):
    entry = {e["id"]: e for e in index_of(world.out)["products"]}["335"]
    movie = os.path.join(world.root, "movies", "latest_1024_0335.mp4")
    made = datetime.datetime.fromtimestamp(world.movie_time, datetime.timezone.utc)
    assert entry["updated"] == entry["through"] == made.strftime("%Y-%m-%dT%H:%M:%SZ")
    assert entry["video_v"] == "v/335/%s.mp4" % made.strftime("%Y%m%dT%H%M%S")
    # Its 192 frames span 48 hours (15 minutes each): the clip's 15 slots show the last 280 minutes of it,
    # frame by frame as the movie has them, 20 minutes apart.
    ours = gray_frames(os.path.join(world.out, entry["video_v"]), 64)
    theirs = gray_frames(movie, 64)
    picks = [int(round(191 - 20 * (SLOTS - 1 - i) / 15.0)) for i in range(SLOTS)]
    for index, pick in enumerate(picks):
        errors = [abs(ours[index] - theirs[k]).mean() for k in range(len(theirs))]
        assert abs(int(numpy.argmin(errors)) - pick) <= 1, (index, pick, int(numpy.argmin(errors)))
    # A movie last modified seven hours ago is not current: the channel's own clip ends when its files did.
    old = world.movie_time - 6 * 3600
    os.utime(movie, (old, old))
    try:
        done = world.publish("--products", "335", out=str(tmp_path / "out"), work=str(tmp_path / "work"))
    finally:
        os.utime(movie, (world.movie_time, world.movie_time))
    assert done.returncode == 0, done.stderr
    assert re.search(r"335: the NASA SDO movie is 7\.\d hours old; not used", done.stderr), done.stderr
    entry = index_of(str(tmp_path / "out"))["products"][0]
    assert entry["label"] == "AIA 335 \u00c5" and entry["updated"] == "2026-10-01T04:00:00Z"
