"""The temperature-map inversion recovers isothermal plasma.

No published AIA response table is available to these tests (none ships with the program), so the responses here
are made up for the test only: one or two Gaussian peaks per channel in log T, placed where the channels are
known to peak. They exercise the inversion, not the instrument; they are never written where the program reads."""

import numpy
import pytest

from solvane_publish import dem

LOGT = numpy.arange(5.5, 7.55, 0.05)
PEAKS = {94: [(6.85, 1.0), (6.0, 0.15)], 131: [(5.6, 1.0), (7.05, 0.6)], 171: [(5.85, 1.0)],
         193: [(6.2, 1.0), (7.25, 0.2)], 211: [(6.3, 1.0)], 335: [(6.45, 1.0), (5.5, 0.3)]}


def made_up_responses():
    table = [sum(a * numpy.exp(-0.5 * ((LOGT - p) / 0.12) ** 2) for p, a in PEAKS[c]) for c in dem.CHANNELS]
    return dem.Responses(LOGT, numpy.array(table) * 1e-24, "made up for the test")


@pytest.mark.parametrize("log_t", [6.0, 6.3, 6.6])
def test_isothermal_plasma_is_recovered_within_a_tenth(log_t):
    responses = made_up_responses()
    hot = numpy.argmin(abs(LOGT - log_t))
    emission = numpy.array([3e26, 1e27, 5e27])  # three pixels, faint to bright
    counts = responses.table[:, hot:hot + 1] * emission[None, :]
    noisy = counts * (1 + 0.03 * numpy.random.default_rng(1).standard_normal(counts.shape))
    for observed in (counts, noisy):
        em = dem.invert(observed, responses)
        assert numpy.all(abs(dem.mean_log_t(em, LOGT) - log_t) < 0.1)


def test_a_response_table_must_name_its_source_and_channels(tmp_path):
    rows = "\n".join("%.2f,%s" % (t, ",".join(["1e-25"] * 6)) for t in LOGT)
    path = tmp_path / "r.csv"
    path.write_text("# SSW aia_get_response V10\nlogT,94,131,171,193,211,335\n" + rows)
    assert dem.Responses.load(str(path)).source == "SSW aia_get_response V10"
    for broken in ("logT,94,131,171,193,211,335\n" + rows, "# x\nlogT,94,131,171,193,211\n" + rows):
        path.write_text(broken)
        with pytest.raises(ValueError):
            dem.Responses.load(str(path))
