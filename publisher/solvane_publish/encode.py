"""ffmpeg: frames to an H.264 clip that plays everywhere, and a NASA movie resampled to our slots."""

import json
import os
import shutil
import subprocess
import tempfile

FPS = 18


def run(arguments):
    """Runs ffmpeg/ffprobe; returns (ok, stderr text)."""
    result = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode == 0, result.stderr.decode("utf-8", "replace").strip()


def encode_clip(frames, out, size, scratch, preset="veryfast"):
    """Encodes the PNG files `frames` (one per slot, in order; repeats allowed) to `out`: H.264, yuv420p,
    `size` square, 18 fps, the index at the front. Returns None or the reason it failed."""
    with tempfile.TemporaryDirectory(prefix="frames-", dir=scratch) as folder:
        for number, frame in enumerate(frames):
            os.symlink(os.path.abspath(frame), os.path.join(folder, "%05d.png" % number))
        ok, error = run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-framerate", str(FPS), "-i",
                         os.path.join(folder, "%05d.png"), "-vf", "scale=%d:%d:flags=bicubic" % (size, size),
                         "-frames:v", str(len(frames)), "-c:v", "libx264", "-preset", preset, "-crf", "20",
                         "-pix_fmt", "yuv420p", "-r", str(FPS), "-movflags", "+faststart",
                         "-metadata", "comment=Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams",
                         "-f", "mp4", out])
    return None if ok else "ffmpeg: " + (error.splitlines()[-1] if error else "failed")


def duration(path):
    result = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "json", path],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        return float(json.loads(result.stdout)["format"]["duration"])
    except (ValueError, KeyError, TypeError):
        return None


def resample_movie(movie, folder, slots, size):
    """Writes `slots` PNG frames evenly spread over the movie into `folder` (replacing what is there).
    Returns the frame paths, or raises RuntimeError with the reason."""
    seconds = duration(movie)
    if not seconds or seconds <= 0:
        raise RuntimeError("the movie has no duration")
    part = folder + ".part"
    shutil.rmtree(part, ignore_errors=True)
    os.makedirs(part)
    ok, error = run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-i", movie, "-vf",
                     "fps=%.9f,scale=%d:%d:flags=bicubic" % (slots / seconds, size, size),
                     "-frames:v", str(slots), "-start_number", "0", os.path.join(part, "%05d.png")])
    frames = sorted(os.listdir(part))
    if not ok or not frames:
        shutil.rmtree(part, ignore_errors=True)
        raise RuntimeError("ffmpeg could not read the movie: " + (error.splitlines()[-1] if error else "no frames"))
    # A movie a little short of the slots: the last frame holds.
    while len(frames) < slots:
        shutil.copyfile(os.path.join(part, frames[-1]), os.path.join(part, "%05d.png" % len(frames)))
        frames = sorted(os.listdir(part))
    shutil.rmtree(folder, ignore_errors=True)
    os.replace(part, folder)
    return [os.path.join(folder, f) for f in frames[:slots]]
