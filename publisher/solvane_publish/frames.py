"""One frame of a product for one slot, drawn from the slot means of its channels, as a PNG in the work folder.
Runs in worker processes: a task is one slot with every product frame it needs."""

import os

import numpy
from PIL import Image

from . import dem, images
from .window import slot_mean

_luts = {}
_responses = {}


def lut(channel):
    if channel not in _luts:
        _luts[channel] = images.lut(channel)
    return _luts[channel]


def temperature_lut():
    import matplotlib

    table = matplotlib.colormaps["inferno"]
    return (table(numpy.linspace(0, 1, 256))[:, :3] * 255 + 0.5).astype(numpy.uint8)


def draw(product, inputs, means, discs, size, responses_path, limits=None):
    """The RGB frame (size x size x 3 bytes) of `product` from the slot means of its input channels."""
    disc = discs[inputs[0]]
    if product == "rainbow":
        return images.rainbow([images.rhef(means[c], discs[c]) for c in inputs], [lut(c) for c in inputs], disc)
    if product == "composite_uv":
        return images.composite_uv(*[images.rhef(means[c], discs[c]) for c in inputs])
    if product == "dem":
        if responses_path not in _responses:
            _responses[responses_path] = dem.Responses.load(responses_path)
        logt, em = dem.temperature_map([means[c] for c in inputs], _responses[responses_path])
        level = numpy.nan_to_num((logt - 5.8) / (6.9 - 5.8), nan=0.0)
        light = images.log_scaled(numpy.nan_to_num(em), disc)
        picture = images.coloured(numpy.clip(level, 0, 1), temperature_lut()) * light[..., None]
        zoom = size / picture.shape[0]
        import scipy.ndimage

        picture = scipy.ndimage.zoom(picture, (zoom, zoom, 1), order=1)
        return numpy.clip(picture + 0.5, 0, 255).astype(numpy.uint8)
    channel = inputs[0]
    return images.coloured(images.log_scaled(means[channel], disc, (limits or {}).get(channel)), lut(channel))


def write_png(rgb, path):
    part = "%s.%d.part" % (path, os.getpid())
    Image.fromarray(rgb, "RGB").save(part, format="PNG", compress_level=1)
    os.replace(part, path)


def render_slot(task):
    """task: (size, responses path, {channel: file paths}, [(product, inputs, out path)], {channel: (low, high)}).
    Returns a list of (product, error text) for the frames that could not be made."""
    size, responses_path, files, jobs, limits = task
    means, discs, failures = {}, {}, []
    for channel, paths in files.items():
        frames = []
        for path in paths:
            try:
                data, disc = images.read_frame(path, size)
            except Exception as error:  # a file that read well once may still go bad on disk
                failures.append((None, "%s: %s" % (os.path.basename(path), error)))
                continue
            frames.append(data)
            discs.setdefault(channel, disc)
        if frames:
            means[channel] = slot_mean(frames).astype(numpy.float32)
    for product, inputs, out in jobs:
        if any(c not in means for c in inputs):
            failures.append((product, "no readable observation for a slot"))
            continue
        try:
            write_png(draw(product, inputs, means, discs, size, responses_path, limits), out)
        except Exception as error:
            failures.append((product, str(error)))
    return failures
