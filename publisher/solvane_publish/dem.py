"""The temperature map: a differential emission measure (DEM) per pixel from the six coronal channels.

Inversion: sparse basis pursuit after Cheung et al. (2015, ApJ 807, 143, "Thermal diagnostics with the
Atmospheric Imaging Assembly on board the Solar Dynamics Observatory: a validated method for differential
emission measure inversions"): the DEM is a non-negative sum of basis functions (narrow bins and Gaussians of
width 0.1 and 0.2 in log T) with the fewest emission measure that explains the counts within their
uncertainty. Cheung et al. solve it as a linear programme per pixel; we solve the same problem in its Lagrangian
form, min 1/2 |W (A x - y)|^2 + lambda * sum(x) with x >= 0 (basis pursuit denoising, Chen, Donoho & Saunders
1998), for every pixel at once with FISTA (Beck & Teboulle 2009, SIAM J. Imaging Sci. 2, 183).

The instrument enters only through the temperature responses R_c(T) (DN cm^5 s^-1 pixel^-1): a CSV table that
the site supplies (see data/README.md). No table is shipped with the program, and without one the product fails.
"""

import os

import numpy

CHANNELS = (94, 131, 171, 193, 211, 335)
DEFAULT_TABLE = os.path.join(os.path.dirname(__file__), "data", "aia_temperature_response.csv")
EM_UNIT = 1e26  # cm^-5: keeps the numbers of the solve near 1


class Responses:
    """Temperature responses on a log T grid: `logt` (T,), `table` (6, T) in DN cm^5 s^-1 pixel^-1."""

    def __init__(self, logt, table, source):
        self.logt = numpy.asarray(logt, dtype=numpy.float64)
        self.table = numpy.asarray(table, dtype=numpy.float64)
        self.source = source

    @staticmethod
    def load(path):
        """Reads the CSV table: '#' lines (the first names the source), a header 'logT,94,131,171,193,211,335',
        then one row per temperature. Raises ValueError with a reason when the file is not usable."""
        source = None
        rows = []
        header = None
        with open(path, encoding="utf-8") as f:
            for raw in f:
                text = raw.strip()
                if not text:
                    continue
                if text.startswith("#"):
                    source = source or text.lstrip("# ")
                    continue
                cells = [c.strip() for c in text.split(",")]
                if header is None:
                    header = cells
                    continue
                rows.append([float(c) for c in cells])
        expected = ["logT"] + [str(c) for c in CHANNELS]
        if header != expected:
            raise ValueError("%s: header must be %s" % (path, ",".join(expected)))
        if not source:
            raise ValueError("%s: the first comment line must name where the responses come from" % path)
        data = numpy.array(rows, dtype=numpy.float64)
        if data.ndim != 2 or data.shape[0] < 10 or not numpy.all(numpy.diff(data[:, 0]) > 0):
            raise ValueError("%s: needs at least 10 rows of increasing logT" % path)
        return Responses(data[:, 0], data[:, 1:].T, source)


def basis(logt, centres, widths=(0.0, 0.1, 0.2)):
    """Columns of emission measure per temperature bin: one narrow bin per centre (width 0) and Gaussians."""
    columns = []
    for width in widths:
        for centre in centres:
            if width == 0.0:
                column = (numpy.abs(logt - centre) < 1e-6).astype(numpy.float64)
            else:
                column = numpy.exp(-0.5 * ((logt - centre) / width) ** 2)
            if column.sum() > 0:
                columns.append(column / column.sum())
    return numpy.array(columns).T


def invert(counts, responses, lam=0.02, iterations=400, relative_error=0.1):
    """DEM per pixel. `counts` (6, N) in DN s^-1 pixel^-1. Returns the emission measure per temperature bin,
    (T, N) in cm^-5."""
    logt = responses.logt
    step = numpy.median(numpy.diff(logt))
    grid = max(1, int(round(0.1 / step)))
    centres = logt[(logt >= 5.6) & (logt <= 7.4)][::grid]
    b = basis(logt, centres)
    a = responses.table @ b * EM_UNIT  # (6, M)
    y = numpy.clip(numpy.asarray(counts, dtype=numpy.float64), 0.0, None)
    floor = 0.01 * y.mean(axis=0, keepdims=True) + 1e-12
    weight2 = 1.0 / (relative_error * y + floor) ** 2  # (6, N)
    # Lipschitz constant of the gradient per pixel, by power iteration.
    v = numpy.ones((a.shape[1], y.shape[1]))
    for _ in range(30):
        v = a.T @ (weight2 * (a @ v))
        norm = numpy.linalg.norm(v, axis=0, keepdims=True) + 1e-300
        v /= norm
    lipschitz = norm * 1.01
    start = a.T @ (weight2 * y)
    lam_pixel = lam * start.max(axis=0, keepdims=True)
    x = fista(a, y, weight2, lipschitz, lam_pixel, numpy.zeros_like(start), None, iterations)
    # The penalty that chose the few basis functions also shrinks them: refit on the chosen ones alone.
    x = fista(a, y, weight2, lipschitz, 0.0, x, x > 0, iterations // 2)
    return (b @ x) * EM_UNIT


def fista(a, y, weight2, lipschitz, lam, x, support, iterations):
    """Accelerated projected gradient for min 1/2 |W (A x - y)|^2 + lam * sum(x), x >= 0 (and x = 0 outside
    `support` when given)."""
    z = x.copy()
    t = 1.0
    for _ in range(iterations):
        gradient = a.T @ (weight2 * (a @ z - y))
        x_next = numpy.maximum(z - (gradient + lam) / lipschitz, 0.0)
        if support is not None:
            x_next *= support
        t_next = (1.0 + numpy.sqrt(1.0 + 4.0 * t * t)) / 2.0
        z = x_next + ((t - 1.0) / t_next) * (x_next - x)
        x, t = x_next, t_next
    return x


def mean_log_t(em, logt):
    """The emission-measure-weighted mean log T per pixel (NaN where there is no emission)."""
    total = em.sum(axis=0)
    with numpy.errstate(invalid="ignore", divide="ignore"):
        return (logt[:, None] * em).sum(axis=0) / total


def temperature_map(rates, responses, bin_to=64):
    """Mean log T and total emission measure maps (bin_to x bin_to) from six equal-sized rate images."""
    size = rates[0].shape[0]
    factor = max(1, size // bin_to)
    side = size // factor
    binned = [r[:side * factor, :side * factor].reshape(side, factor, side, factor).mean(axis=(1, 3))
              for r in rates]
    counts = numpy.array([b.ravel() for b in binned])
    em = invert(counts, responses)
    return mean_log_t(em, responses.logt).reshape(side, side), em.sum(axis=0).reshape(side, side)
