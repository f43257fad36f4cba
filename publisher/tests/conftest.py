import datetime
import os
import subprocess
import sys
import time

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
PUBLISHER = os.path.join(os.path.dirname(HERE), "solvane-publish")
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

import jsoc_source  # noqa: E402

END = datetime.datetime(2026, 10, 1, 6, 0, tzinfo=datetime.timezone.utc)
HOURS = 5


class World:
    """A synthetic JSOC source on HTTPS with a NASA movie for 335, and a first publish of it."""

    def __init__(self, folder):
        self.folder = folder
        self.cert, self.key = jsoc_source.make_certificate(folder)
        self.root = os.path.join(folder, "source")
        start = END - datetime.timedelta(hours=HOURS, minutes=30)
        self.gap = (193, END - datetime.timedelta(hours=3), END - datetime.timedelta(hours=1, minutes=1))
        self.corrupt = (171, END - datetime.timedelta(minutes=21))
        self.real = END - datetime.timedelta(minutes=60)
        # The feed's own oddities: an eclipse that darkens every channel for one slot, frames it flags, a flare,
        # and a file that arrives late.
        self.eclipse = (END - datetime.timedelta(hours=4, minutes=19), END - datetime.timedelta(hours=4))
        self.odd = {(171, END - datetime.timedelta(hours=3)): {"img_type": "DARK"},
                    (211, END - datetime.timedelta(hours=2)): {"exposure": 0.1},
                    (304, END - datetime.timedelta(hours=1)): {"quality": 0x100}}
        self.flare = (211, END - datetime.timedelta(hours=1, minutes=30), END - datetime.timedelta(minutes=50))
        self.late = (171, END - datetime.timedelta(hours=1, minutes=21))
        self.written = jsoc_source.make_source(os.path.join(self.root, "nrt"), start, END, gaps=[self.gap],
                                               stops=[(335, END - datetime.timedelta(hours=2))],
                                               corrupt=[self.corrupt], real_171=self.real, eclipse=self.eclipse,
                                               odd=self.odd, flares=[self.flare], late=[self.late])
        movie = os.path.join(self.root, "movies", "latest_1024_0335.mp4")
        jsoc_source.make_movie(movie)
        # NASA's movie was last modified an hour ago: its 48 hours end then.
        self.movie_time = int(time.time()) - 3600
        os.utime(movie, (self.movie_time, self.movie_time))
        self.server = jsoc_source.SourceServer(self.root, self.cert, self.key)
        self.flaky = "/nrt/2026/10/01/H0500/AIA20261001_051800_0211.fits"
        self.server.faults[self.flaky] = 2
        self.out = os.path.join(folder, "out")
        self.work = os.path.join(folder, "work")

    def publish(self, *extra, out=None, work=None, wait=True, source=None):
        arguments = [sys.executable, PUBLISHER, "--once", "--source", source or self.server.url + "/nrt", "--fallback",
                     self.server.url + "/movies", "--out", out or self.out, "--work", work or self.work,
                     "--hours", str(HOURS), "--size", "128", "--backoff", "0.05"] + list(extra)
        environment = dict(os.environ, SSL_CERT_FILE=self.cert)
        if not wait:
            return subprocess.Popen(arguments, env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    start_new_session=True)
        return subprocess.run(arguments, env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=600, universal_newlines=True)


@pytest.fixture(scope="session")
def world(tmp_path_factory):
    made = World(str(tmp_path_factory.mktemp("publish")))
    made.first = made.publish()
    made.first_requests = made.server.taken()
    yield made
    made.server.stop()
