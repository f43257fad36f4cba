"""From FITS files to pictures: slot means, scaling, the AIA colour tables, the radial histogram
equalisation (RHEF) and the two composites."""

import functools

import numpy
import scipy.ndimage

from . import fitsfile


class Disc:
    """Where the solar disc is in a frame of `size` pixels: centre (x, y) and radius in pixels."""

    def __init__(self, cx, cy, radius):
        self.cx, self.cy, self.radius = cx, cy, radius

    @staticmethod
    def default(size):
        # AIA 1k synoptic frames: 2.4 arcsec pixels, the Sun about 960 arcsec: about 400 of 1024 pixels.
        return Disc((size - 1) / 2.0, (size - 1) / 2.0, size * 400.0 / 1024.0)


def read_frame(path, size):
    """The image of a FITS file as rate (per second of exposure), resampled to size x size, and its disc."""
    data, header = fitsfile.open_image(path)
    data = numpy.nan_to_num(data, nan=0.0, posinf=0.0, neginf=0.0)
    exposure = header.get("EXPTIME")
    if isinstance(exposure, (int, float)) and exposure > 0:
        data = data / numpy.float32(exposure)
    height, width = data.shape
    if (height, width) != (size, size):
        data = scipy.ndimage.zoom(data, (size / height, size / width), order=1)
    scale = size / float(width)
    disc = Disc.default(size)
    try:
        cdelt = float(header["CDELT1"])
        disc = Disc((float(header["CRPIX1"]) - 0.5) * scale - 0.5, (float(header["CRPIX2"]) - 0.5) * scale - 0.5,
                    float(header["RSUN_OBS"]) / cdelt * scale)
    except (KeyError, ValueError, TypeError, ZeroDivisionError):
        pass
    return data, disc


def lut(channel):
    """The AIA colour table of a channel as 256 x 3 bytes (sunpy's sdoaia tables)."""
    import sunpy.visualization.colormaps as colormaps  # noqa: F401 registers the tables

    table = colormaps.cmlist["sdoaia%d" % channel]
    return (table(numpy.linspace(0.0, 1.0, 256))[:, :3] * 255.0 + 0.5).astype(numpy.uint8)


def stretch(rate):
    """(low, high) of a frame's logarithmic stretch: its 1st and 99.9th percentile of the positive pixels, or None
    when it has too few."""
    positive = rate[rate > 0]
    if positive.size < 16:
        return None
    low, high = numpy.percentile(positive, [1.0, 99.9])
    low = max(low, high * 1e-4, 1e-6)
    if high <= low:
        high = low * 10.0
    return float(low), float(high)


def log_scaled(rate, disc, limits=None):
    """0..1 on a logarithmic stretch between `limits` (low, high), by default the frame's own `stretch`. A
    channel's clip passes one pair for all its frames, so its brightness changes only when the Sun's does."""
    if limits is None:
        limits = stretch(rate)
        if limits is None:
            return numpy.zeros(rate.shape, dtype=numpy.float32)
    low, high = limits
    scaled = (numpy.log(numpy.clip(rate, low, high)) - numpy.log(low)) / (numpy.log(high) - numpy.log(low))
    return scaled.astype(numpy.float32)


@functools.lru_cache(maxsize=8)
def _rings(shape, cx, cy, bins):
    """Ring of every pixel (flattened), pixels per ring and where each ring starts in ring order: the same for
    every frame of a product, so worked out once."""
    y, x = numpy.indices(shape, dtype=numpy.float32)
    radius = numpy.hypot(x - cx, y - cy)
    ring = numpy.minimum((radius / radius.max() * bins).astype(numpy.int64), bins - 1).ravel()
    counts = numpy.bincount(ring, minlength=bins)
    return ring, counts, numpy.concatenate([[0], numpy.cumsum(counts)[:-1]])


def rhef(image, disc, bins=None):
    """Radial histogram equalisation: each pixel becomes its rank among the pixels at the same distance from
    the disc centre, so the faint corona and the bright disc both use the whole range (after Gilly & Cranmer's
    Radial Histogram Equalizing Filter). Equal values share their mean rank. Returns 0..1."""
    bins = bins or max(8, image.shape[1] // 2)
    ring, counts, starts = _rings(image.shape, float(disc.cx), float(disc.cy), bins)
    values = image.ravel().astype(numpy.float64)
    low, high = values.min(), values.max()
    # One sortable key: the ring, then the value scaled into [0, 0.5) so rings never mix.
    key = ring + (values - low) / (2.0 * (high - low) if high > low else 1.0)
    order = numpy.argsort(key)
    ordered = key[order]
    fresh = numpy.empty(ordered.size, dtype=bool)
    fresh[0] = True
    numpy.not_equal(ordered[1:], ordered[:-1], out=fresh[1:])
    first = numpy.flatnonzero(fresh)
    last = numpy.append(first[1:], ordered.size) - 1
    run = numpy.cumsum(fresh) - 1
    ring_sorted = ring[order]
    rank = (first[run] + last[run]) / 2.0 - starts[ring_sorted]
    out = numpy.empty(values.size, dtype=numpy.float32)
    out[order] = rank / numpy.maximum(counts[ring_sorted] - 1, 1)
    return out.reshape(image.shape)


def coloured(level, table):
    """0..1 levels through a 256-entry colour table to RGB bytes."""
    index = numpy.clip(level * 255.0 + 0.5, 0, 255).astype(numpy.uint8)
    return table[index]


@functools.lru_cache(maxsize=4)
def _wedges(size, cx, cy, count):
    """Weights of `count` wedges of position angle around the disc centre, with soft edges; they sum to 1."""
    y, x = numpy.indices((size, size), dtype=numpy.float32)
    angle = numpy.mod(numpy.arctan2(y - cy, x - cx), 2 * numpy.pi)
    wedge = 2 * numpy.pi / count
    feather = wedge * 0.12
    weights = []
    for k in range(count):
        distance = numpy.abs(numpy.mod(angle - (k + 0.5) * wedge + numpy.pi, 2 * numpy.pi) - numpy.pi)
        weights.append(numpy.clip((wedge / 2 + feather - distance) / (2 * feather), 0.0, 1.0)[..., None])
    return weights


def rainbow(levels, tables, disc):
    """Each channel in its own wedge of position angle, in wavelength order around the disc, with soft edges."""
    size = levels[0].shape[0]
    out = numpy.zeros((size, size, 3), dtype=numpy.float32)
    for weight, level, table in zip(_wedges(size, float(disc.cx), float(disc.cy), len(levels)), levels, tables):
        out += weight * coloured(level, table)
    return numpy.clip(out + 0.5, 0, 255).astype(numpy.uint8)


def composite_uv(red, green, blue):
    return (numpy.clip(numpy.dstack([red, green, blue]), 0, 1) * 255.0 + 0.5).astype(numpy.uint8)
