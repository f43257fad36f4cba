"""Pictures of the Sun for the archive stand-in, made from real solar imagery that Debian's python3-sunpy
ships in sunpy/data/test: an AIA 193 A JPEG 2000 (2013-06-24, 4096 pixels) and an AIA 171 A FITS file
(2011-02-15, 128 pixels). Each channel is one of the two in that channel's tone (the sharp 193 image for
most; the soft 171 file, small as it is, for the dim and noisy 94 and 131), coloured with its AIA colour
table; the disc turns with the Sun's differential rotation from one 20-minute slot to the next, and
photon-like noise gives each channel's JPEG about its real average size.

    pictures = SunPictures(reference)      # reference: the moment the disc is as the sources show it
    jpeg = pictures.render(171, moment)    # bytes of a 1024-pixel JPEG
"""

import datetime
import importlib.util
import io
import math
import os
import zlib

import numpy as np
from PIL import Image
from scipy import ndimage

SLOT_SECONDS = 1200
QUALITY = 90

# The average size of NASA's 1k JPEGs per channel, in kB (measured on the real archive); the UV channels'
# and HMI's are estimates.
AVERAGE_KB = {94: 325, 131: 229, 171: 172, 193: 129, 211: 140, 304: 223, 335: 375, 1600: 190, 1700: 160,
              "HMIIC": 120, "HMIB": 150}
# Noise that gives each channel about its size at 1024 pixels, a first guess corrected as pictures are made.
NOISE = {94: 10.7, 131: 4.0, 171: 0.0, 193: 0.0, 211: 1.4, 304: 4.8, 335: 19.0, 1600: 2.2, 1700: 3.3,
         "HMIIC": 2.1, "HMIB": 3.3}


def code(channel):
    """The archive's name of a channel: "0171", "1600", "HMIIC"."""
    return "%04d" % channel if isinstance(channel, int) else channel


def sunpy_folder():
    # Found without importing sunpy, whose package import takes a second.
    found = importlib.util.find_spec("sunpy")
    return found.submodule_search_locations[0]


def colour_tables():
    """The AIA colour tables of sunpy (and IDL's red-temperature table for the intensitygram), 256 x 3."""
    path = os.path.join(sunpy_folder(), "visualization", "colormaps", "color_tables.py")
    source = importlib.util.spec_from_file_location("solvane_aia_color_tables", path)
    tables = importlib.util.module_from_spec(source)
    source.loader.exec_module(tables)
    import astropy.units as u
    out = {}
    for channel in (94, 131, 171, 193, 211, 304, 335, 1600, 1700):
        cmap = tables.aia_color_table(channel * u.angstrom)
        out[channel] = np.rint(cmap(np.arange(256))[:, :3] * 255).astype(np.uint8)
    out["HMIIC"] = tables.get_idl3().astype(np.uint8)
    out["HMIB"] = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 3, axis=1)
    return out


def fit(picture, centre, radius, size):
    """Resamples a square picture so that its disc (centre and radius in its pixels, x then y) lies at
    the middle of a size x size picture with the archive's radius."""
    scale = radius / (size * 400.0 / 1024.0)
    middle = (size - 1) / 2.0
    offset = (centre[1] - middle * scale, centre[0] - middle * scale)
    return ndimage.affine_transform(picture, np.diag([scale, scale]), offset=offset, output_shape=(size, size),
                                    order=1 if scale > 1 else 3, mode="constant", cval=float(picture.min()))


def normalised(values, low, high):
    return np.clip((values - low) / (high - low), 0.0, 1.0)


class SunPictures:
    """Renders the channels' pictures; the sources and each channel's base picture are read and worked out
    once per run."""

    def __init__(self, reference, size=1024, seed=1):
        self.reference = reference
        self.size = size
        self.seed = seed
        self.radius = size * 400.0 / 1024.0
        self._tables = None
        self._sources = None
        self._bases = {}
        self._parts = {}
        self._noise = None
        self._amplitude = dict(NOISE)
        self._turn_slot = None
        self._turn = None
        self._geometry()

    def _geometry(self):
        n, centre, radius = self.size, (self.size - 1) / 2.0, self.radius
        y, x = np.mgrid[0:n, 0:n].astype(np.float32)
        x = (x - centre) / radius
        y = (centre - y) / radius
        rho2 = x * x + y * y
        self.mu = np.sqrt(np.clip(1.0 - rho2, 0.0, 1.0))  # cosine of the angle from disc centre
        self.disc = rho2 < 1.0
        self.rho = np.sqrt(rho2)
        on = self.disc.ravel()
        self._on = np.flatnonzero(on)
        self._rows = (self._on // n).astype(np.int32)
        lat = np.arcsin(y.ravel()[on])
        self._lon = np.arctan2(x.ravel()[on], self.mu.ravel()[on])
        self._coslat = np.cos(lat)
        sin2 = np.sin(lat) ** 2
        # Synodic rotation seen from the Earth, degrees a day, slower towards the poles.
        rate = 14.713 - 2.396 * sin2 - 1.787 * sin2 * sin2 - 0.9856
        self._rate = np.radians(rate / 86400.0).astype(np.float32)

    def _load(self):
        if self._sources is not None:
            return
        folder = os.path.join(sunpy_folder(), "data", "test")
        n = self.size
        jp2 = Image.open(os.path.join(folder, "2013_06_24__17_31_30_84__SDO_AIA_AIA_193.jp2"))
        jp2.reduce = max(0, int(math.log2(4096 // n)) - 1)  # a level above the size, for a clean resample
        jp2.load()
        scale = jp2.size[0] / 4096.0
        # Header of this file: disc centre at pixel 2048.5 (1-based), radius 1571.98 pixels.
        a = fit(np.asarray(jp2, dtype=np.float32) / 255.0, (2047.5 * scale, 2047.5 * scale), 1571.9764 * scale, n)
        from astropy.io import fits
        with fits.open(os.path.join(folder, "aia_171_level1.fits")) as hdus:
            data = np.flipud(hdus[0].data.astype(np.float32))  # FITS rows run south to north
        logged = np.log10(np.clip(data, 1.0, None))
        b = fit(logged, (63.5, 127 - 63.5), 1622.185913 / 32.0, n)
        b = normalised(b, np.percentile(logged, 2), np.percentile(logged, 99.8))
        # That file's field ends at the corners: fade its faint outer corona out before it does.
        b *= np.clip((1.6 - self.rho) / 0.25, 0.0, 1.0)
        self._sources = (np.clip(a, 0.0, 1.0).astype(np.float32), b.astype(np.float32))

    def _part(self, name):
        """Pictures several channels share, worked out once: the sources smoothed, their large-scale
        light, the fine structure above it, and where the active regions are."""
        if name in self._parts:
            return self._parts[name]
        self._load()
        a, b = self._sources
        k = self.size / 1024.0
        if name == "a":
            part = a
        elif name == "b":
            part = b
        elif name == "sharp":
            part = ndimage.gaussian_filter(a, 0.6 * k)
        elif name == "smooth":
            part = ndimage.gaussian_filter(a, 1.2 * k)
        elif name == "fine":
            part = a - ndimage.gaussian_filter(a, 14 * k)  # network, bright points, loop tops
        elif name == "plage":
            part = normalised(ndimage.gaussian_filter(a, 6 * k), 0.62, 0.9)
        elif name == "spots":
            part = normalised(ndimage.gaussian_filter(a, 2.5 * k), 0.8, 0.95)
        self._parts[name] = part
        return part

    def _base(self, channel):
        """The channel's picture as colour-table indices before turning and noise."""
        if channel in self._bases:
            return self._bases[channel]
        part, disc, mu = self._part, self.disc, self.mu
        if channel == 193:
            v = part("sharp")
        elif channel == 211:
            v = part("sharp") ** 1.25
        elif channel == 335:
            v = part("smooth") ** 1.6
        elif channel == 171:
            # Cooler than 193: the quiet Sun's network and loops brighter, the coronal holes less dark.
            v = part("sharp") ** 0.8 + 0.4 * part("fine")
        elif channel == 131:
            v = part("b") ** 2.0
        elif channel == 94:
            v = part("b") ** 2.6
        elif channel == 304:
            v = part("smooth") ** 0.85 + 0.45 * part("fine")
        elif channel == 1600:
            # Chromospheric network and plage over a disc brightening a little towards the limb; no corona.
            v = disc * (0.3 + 0.12 * (1 - mu) + 2.2 * np.maximum(part("fine"), 0) + 0.35 * part("plage"))
        elif channel == 1700:
            # The photosphere's limb darkening under faint network; no corona.
            glow = ndimage.gaussian_filter(np.maximum(part("fine"), 0), 1.5 * self.size / 1024.0)
            v = disc * (0.62 * mu ** 0.45 + 1.3 * glow + 0.12 * part("plage"))
        elif channel == "HMIIC":
            # Visible light: limb darkening, dark spots under the strongest active regions.
            v = disc * (0.35 + 0.55 * mu ** 0.6) * (1 - 0.75 * part("spots"))
        elif channel == "HMIB":
            # Line-of-sight field: grey quiet Sun, each active region a pair of opposite polarities.
            shift = 10 * self.size / 1024.0
            plage = part("plage")
            field = ndimage.shift(plage, (0, -shift), order=1) - ndimage.shift(plage, (0, shift), order=1)
            v = disc * (0.5 + 0.6 * field + 1.5 * part("fine"))
        else:
            raise ValueError("no picture for channel %s" % channel)
        base = np.rint(np.clip(v, 0.0, 1.0) * 255).astype(np.uint8)
        self._bases[channel] = base
        return base

    def _turned(self, slot):
        """Where each pixel of the disc is taken from after the Sun has turned since the reference: the
        same row, the column of the same latitude and an earlier longitude (features enter on the east
        limb, the left, and leave on the west)."""
        if self._turn_slot == slot:
            return self._turn
        seconds = np.float32(slot * SLOT_SECONDS - self.reference.timestamp())
        n, centre = self.size, (self.size - 1) / 2.0
        x = self._coslat * np.sin(self._lon - self._rate * seconds)
        columns = np.clip(np.rint(centre + self.radius * x), 0, n - 1).astype(np.int32)
        source = np.arange(n * n, dtype=np.int32)
        source[self._on] = self._rows * n + columns
        self._turn_slot, self._turn = slot, source
        return source

    def render(self, channel, moment):
        """The JPEG of `channel` (an AIA wavelength or "HMIIC"/"HMIB") at `moment`, as its 20-minute slot
        shows it; the same channel and slot give the same bytes."""
        if self._tables is None:
            self._tables = colour_tables()
        n = self.size
        slot = int(moment.timestamp()) // SLOT_SECONDS
        pixels = self._base(channel).ravel()[self._turned(slot)]
        if self._noise is None:
            self._noise = np.random.default_rng(self.seed).standard_normal(n * n + n * 61).astype(np.float32)
        start = zlib.crc32(("%s/%d" % (code(channel), slot)).encode()) % (n * 61)
        noise = self._noise[start:start + n * n] * np.float32(self._amplitude.get(channel, 6.0))
        # Noise like a detector's: stronger where there is more light, present in the dark.
        pixels = np.clip(pixels + noise * (0.35 + pixels / 255.0), 0, 255).astype(np.uint8)
        picture = Image.frombuffer("P", (n, n), pixels.tobytes(), "raw", "P", 0, 1)
        picture.putpalette(self._tables[channel].tobytes())
        out = io.BytesIO()
        picture.convert("RGB").save(out, "JPEG", quality=QUALITY)
        jpeg = out.getvalue()
        self._steer(channel, len(jpeg))
        return jpeg

    def _steer(self, channel, size):
        """Nudges the channel's noise towards its real average size (1024 pixels only)."""
        if self.size != 1024 or channel not in AVERAGE_KB:
            return
        ratio = AVERAGE_KB[channel] * 1000.0 / max(size, 1)
        self._amplitude[channel] *= min(1.3, max(0.77, ratio ** 0.8))


if __name__ == "__main__":
    # sun_pictures.py FOLDER [CHANNEL ...]: writes one picture per channel (default: all) as CODE.jpg.
    import sys
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    chosen = [int(c) if c.isdigit() else c for c in sys.argv[2:]]
    now = datetime.datetime.now(datetime.timezone.utc)
    pictures = SunPictures(now)
    for channel in chosen or (94, 131, 171, 193, 211, 304, 335, 1600, 1700, "HMIIC", "HMIB"):
        with open(os.path.join(folder, "%s.jpg" % code(channel)), "wb") as f:
            f.write(pictures.render(channel, now))
