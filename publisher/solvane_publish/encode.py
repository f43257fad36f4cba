"""ffmpeg: frames to an H.264 clip that plays everywhere, and a NASA movie resampled to our slots."""

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


def movie_frames(movie, folder, size):
    """Decodes every frame of a movie, scaled to `size` square, as PNG files into `folder` (replacing what is
    there). Returns the frame paths in order, or raises RuntimeError with the reason."""
    part = folder + ".part"
    shutil.rmtree(part, ignore_errors=True)
    os.makedirs(part)
    ok, error = run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-i", movie, "-vf",
                     "scale=%d:%d:flags=bicubic" % (size, size), "-vsync", "passthrough", "-start_number", "0",
                     os.path.join(part, "%05d.png")])
    frames = sorted(os.listdir(part))
    if not ok or not frames:
        shutil.rmtree(part, ignore_errors=True)
        raise RuntimeError("ffmpeg could not read the movie: " + (error.splitlines()[-1] if error else "no frames"))
    shutil.rmtree(folder, ignore_errors=True)
    os.replace(part, folder)
    return [os.path.join(folder, f) for f in frames]
