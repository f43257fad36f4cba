"""solvane-publish: the command line, and the loop that publishes every 20 minutes without --once."""

import argparse
import datetime
import os
import sys
import time
import warnings

from astropy.utils.exceptions import AstropyWarning

from . import catalog, log
from .publish import Run

JSOC = "https://jsoc1.stanford.edu/data/aia/synoptic/nrt"
NASA = "https://sdo.gsfc.nasa.gov/assets/img/latest/mpeg"


def parse(argv):
    parser = argparse.ArgumentParser(
        prog="solvane-publish",
        description="Publishes a contract-v1 imagery mirror of the last hours of the Sun from public SDO data "
                    "(%s)." % catalog.CREDIT)
    parser.add_argument("--source", default=JSOC, help="base URL of the AIA synoptic near-real-time files")
    parser.add_argument("--out", required=True,
                        help="the folder a web server publishes, or an object store as s3://BUCKET/PREFIX "
                             "(credentials from the environment or AWS_SHARED_CREDENTIALS_FILE)")
    parser.add_argument("--endpoint", help="the object store's S3 API address when it is not Amazon's "
                                           "(e.g. https://s3.example.org)")
    parser.add_argument("--work", help="downloads and drawn frames (default: OUT/../solvane-work)")
    parser.add_argument("--hours", type=int, default=48, help="length of the window (3 slots an hour)")
    parser.add_argument("--products", nargs="+", default=list(catalog.IDS), metavar="ID",
                        help="products to publish (default: all)")
    parser.add_argument("--once", action="store_true", help="publish once and exit (else every 20 minutes)")
    parser.add_argument("--fallback", default=NASA,
                        help="base URL of the NASA SDO 48-hour movies for a channel whose files stop ('' for none)")
    parser.add_argument("--stale-minutes", type=int, default=90,
                        help="a channel whose newest file is this much older than the window's end has stopped")
    parser.add_argument("--retention", type=int, default=3, help="versions kept per product")
    parser.add_argument("--size", type=int, default=1024, help="frame size in pixels")
    parser.add_argument("--per-slot", dest="per_slot", type=int, default=1, metavar="N",
                        help="observations averaged per 20-minute slot and channel (the N nearest the slot's end)")
    parser.add_argument("--jobs", type=int, default=4, help="parallel downloads")
    parser.add_argument("--deadline", type=float, default=300,
                        help="seconds one download may take in all before it counts as failed")
    # Each drawing process holds a slot's frames of every channel: three keep a full run under 1.5 GB.
    parser.add_argument("--draw-jobs", dest="jobs_draw", type=int, default=min(os.cpu_count() or 1, 3),
                        help="processes drawing frames (default: the cores, at most 3)")
    parser.add_argument("--retries", type=int, default=3, help="tries after a failed download")
    parser.add_argument("--backoff", type=float, default=2.0, help="seconds before the first retry (doubling)")
    parser.add_argument("--preset", default="veryfast", help="x264 preset")
    parser.add_argument("--responses", help="AIA temperature response table for the temperature map (CSV)")
    options = parser.parse_args(argv)
    unknown = [p for p in options.products if p not in catalog.IDS]
    if unknown:
        parser.error("unknown products: %s (known: %s)" % (" ".join(unknown), " ".join(catalog.IDS)))
    if options.hours < 1 or options.size < 16 or options.size % 2 or options.retention < 1 or options.per_slot < 1:
        parser.error("--hours must be at least 1, --size even and at least 16, --retention and --per-slot at "
                     "least 1")
    if options.out.startswith("s3://") and not options.work:
        parser.error("--work is needed with an object store")
    options.work = options.work or os.path.join(os.path.dirname(os.path.abspath(options.out)), "solvane-work")
    return options


def main(argv=None):
    options = parse(sys.argv[1:] if argv is None else argv)
    # Damaged or odd headers are judged and logged by us, one line each; astropy's own warnings would repeat them.
    warnings.simplefilter("ignore", AstropyWarning)
    while True:
        started = time.monotonic()
        status = Run(options).run()
        if options.once:
            return status
        # Next run on the next 20-minute boundary, as the timer of the sample units does.
        now = datetime.datetime.now(datetime.timezone.utc)
        wait = 1200 - (now.minute * 60 + now.second) % 1200
        log.line("next run in %d s (this one took %d s)" % (wait, time.monotonic() - started))
        time.sleep(wait)
