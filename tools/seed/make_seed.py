#!/usr/bin/python3
"""Makes the seed clip the program carries for its first run: one real SDO/AIA 193 observation,
coloured with the standard AIA 193 colour table, 1024 x 1024, H.264, 144 frames at 18 frames per second.

Needs Debian's python3-sunpy (the frame and the colour table) and the ffmpeg command.
Usage: tools/seed/make_seed.py [output-folder]   (default: resources/ of this repository)
"""

import json
import os
import re
import subprocess
import sys
import tempfile

import astropy.units as u
import numpy as np
import sunpy.data.test
import sunpy.visualization.colormaps.color_tables as color_tables

SIZE = 1024
FRAMES = 144
RATE = 18
FRAME_NAME = "2013_06_24__17_31_30_84__SDO_AIA_AIA_193.jp2"


def observation_time(jp2_path):
    """DATE-OBS from the frame's embedded FITS header, as ISO 8601 UTC to the second."""
    with open(jp2_path, "rb") as f:
        header = f.read(200_000).decode("latin-1")
    match = re.search(r"<DATE-OBS>(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)", header) or re.search(
        r"<DATE_OBS>(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)", header)
    if not match:
        sys.exit("make_seed: no DATE-OBS in " + jp2_path)
    return match.group(1) + "Z"


def grey_pixels(jp2_path):
    """The frame decoded by ffmpeg and scaled to SIZE x SIZE, 8-bit grey."""
    raw = subprocess.run(
        ["ffmpeg", "-v", "error", "-i", jp2_path, "-vf", f"scale={SIZE}:{SIZE}:flags=area",
         "-f", "rawvideo", "-pix_fmt", "gray", "-"],
        check=True, capture_output=True).stdout
    if len(raw) != SIZE * SIZE:
        sys.exit("make_seed: ffmpeg gave %d bytes, expected %d" % (len(raw), SIZE * SIZE))
    return np.frombuffer(raw, dtype=np.uint8).reshape(SIZE, SIZE)


def coloured(grey):
    table = color_tables.aia_color_table(193 * u.angstrom)
    lut = (np.array([table(i / 255.0)[:3] for i in range(256)]) * 255.0 + 0.5).astype(np.uint8)
    return lut[grey]


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources")
    jp2 = os.path.join(os.path.dirname(sunpy.data.test.__file__), FRAME_NAME)
    updated = observation_time(jp2)
    rgb = coloured(grey_pixels(jp2))
    with tempfile.TemporaryDirectory() as work:
        frame = os.path.join(work, "frame.rgb")
        rgb.tofile(frame)
        clip = os.path.join(out, "seed.mp4")
        subprocess.run(
            ["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{SIZE}x{SIZE}",
             "-framerate", str(RATE), "-stream_loop", str(FRAMES - 1), "-i", frame,
             "-frames:v", str(FRAMES), "-r", str(RATE), "-c:v", "libx264", "-preset", "veryslow",
             "-crf", "20", "-pix_fmt", "yuv420p", "-movflags", "+faststart",
             "-metadata", "comment=SDO/AIA 193 " + updated, clip],
            check=True)
    entry = {
        "frame_count": 1,
        "id": "193",
        "label": "AIA 193 \u00c5",
        "updated": updated,
        "video": "seed.mp4",
    }
    with open(os.path.join(out, "seed.json"), "w", encoding="utf-8") as f:
        json.dump(entry, f, ensure_ascii=False, indent=2, sort_keys=True)
        f.write("\n")
    print("make_seed: wrote %s (%d bytes) and seed.json, updated %s" % (clip, os.path.getsize(clip), updated))


if __name__ == "__main__":
    main()
