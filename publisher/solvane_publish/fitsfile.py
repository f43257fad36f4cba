"""What a FITS file says about itself, read from its headers before any pixel, and whether its frame is one a
scientist would keep.

A header is trusted for nothing it could abuse: the pixels it declares are counted before its data is read, and a
file that declares more than `MAX_PIXEL_BYTES` is refused (a small compressed file can unpack to gigabytes)."""

import datetime

import numpy
from astropy.io import fits

MAX_PIXEL_BYTES = 64 << 20
# An exposure this many times shorter or longer than the channel's usual one is not a normal frame.
EXPOSURE_FACTOR = 4.0


class TooLarge(ValueError):
    pass


def declared_bytes(header):
    """Bytes of data a header declares (a compressed image counts as its unpacked size)."""
    try:
        if header.get("ZIMAGE") and "ZNAXIS" in header:
            axes = [int(header["ZNAXIS%d" % k]) for k in range(1, int(header["ZNAXIS"]) + 1)]
            bits = abs(int(header["ZBITPIX"]))
        else:
            axes = [int(header["NAXIS%d" % k]) for k in range(1, int(header.get("NAXIS", 0)) + 1)]
            bits = abs(int(header.get("BITPIX", 8)))
    except (KeyError, ValueError, TypeError) as error:
        raise ValueError("a damaged header (%s)" % error)
    if not axes or any(a < 0 for a in axes):
        return 0 if not axes else MAX_PIXEL_BYTES + 1
    total = bits // 8
    for axis in axes:
        total *= axis
    return total + max(0, int(header.get("PCOUNT", 0) or 0))


def checked(hdus):
    """Walks the HDUs' headers (no data read) and refuses a file whose declared pixels pass the limit. Returns the
    first HDU with a two-dimensional image, or None."""
    total, image = 0, None
    for hdu in hdus:
        header = hdu._header if hasattr(hdu, "_header") and isinstance(hdu, fits.CompImageHDU) else hdu.header
        total += declared_bytes(header)
        if total > MAX_PIXEL_BYTES:
            raise TooLarge("the file declares %d MiB of pixels, over the %d MiB limit"
                           % (total >> 20, MAX_PIXEL_BYTES >> 20))
        if image is None and hdu.is_image and hdu.header.get("NAXIS") == 2:
            image = hdu
    return image


def open_image(path):
    """(data as float32, header) of the file's image, after the size check. Raises ValueError or OSError."""
    with fits.open(path, memmap=False, lazy_load_hdus=True) as hdus:
        hdu = checked(hdus)
        if hdu is None:
            raise ValueError("no image in the file")
        data = numpy.asarray(hdu.data, dtype=numpy.float32)
        return data, hdu.header.copy()


def problem(path):
    """None when the file is a FITS image we can read, else the reason."""
    try:
        data, _ = open_image(path)
        if data.ndim != 2:
            return "no image in the file"
        return None
    except TooLarge as error:
        return str(error)
    except Exception as error:  # astropy raises many kinds for a damaged file
        return "not a readable FITS file (%s)" % error


def facts(path):
    """The keys that decide a frame's use, from the image header only: time (T_OBS), QUALITY, IMG_TYPE, EXPTIME.
    Missing keys are None."""
    with fits.open(path, memmap=False, lazy_load_hdus=True) as hdus:
        hdu = checked(hdus)
        header = hdu.header if hdu is not None else fits.Header()
    found = {"t_obs": None, "quality": None, "img_type": None, "exptime": None}
    when = parse_time(header.get("T_OBS"))
    found["t_obs"] = when.strftime("%Y-%m-%dT%H:%M:%S.%fZ") if when else None
    quality = header.get("QUALITY")
    if isinstance(quality, (int, float)) and not isinstance(quality, bool):
        found["quality"] = int(quality)
    if isinstance(header.get("IMG_TYPE"), str):
        found["img_type"] = header["IMG_TYPE"].strip().upper()
    if isinstance(header.get("EXPTIME"), (int, float)):
        found["exptime"] = float(header["EXPTIME"])
    return found


def parse_time(text):
    """A T_OBS text ("2026-10-01T05:59:59.57Z", with or without Z or fraction) as a UTC time, or None."""
    if not isinstance(text, str):
        return None
    text = text.strip().rstrip("Z").replace("_UTC", "").replace(" ", "T")
    whole, _, fraction = text.partition(".")
    try:
        when = datetime.datetime.strptime(whole, "%Y-%m-%dT%H:%M:%S")
    except ValueError:
        return None
    digits = "".join(ch for ch in fraction if ch.isdigit())[:6]
    micro = int(digits.ljust(6, "0")) if digits else 0
    return when.replace(microsecond=micro, tzinfo=datetime.timezone.utc)


def flag_reason(found):
    """Why a frame is not kept judged on its own flags ("quality", "not light"), or None."""
    if found.get("quality"):
        return "quality"
    if found.get("img_type") not in (None, "LIGHT"):
        return "not light"
    exposure = found.get("exptime")
    if exposure is not None and not exposure > 0:
        return "exposure"
    return None


def exposure_reason(found, usual):
    """"exposure" when the frame's exposure is far from the channel's usual one, else None."""
    exposure = found.get("exptime")
    if exposure is None or not usual or usual <= 0:
        return None
    ratio = exposure / usual
    return "exposure" if ratio > EXPOSURE_FACTOR or ratio < 1.0 / EXPOSURE_FACTOR else None
