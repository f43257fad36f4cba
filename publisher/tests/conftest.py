import datetime
import os
import subprocess
import sys

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
        self.corrupt = (171, END - datetime.timedelta(minutes=30))
        self.real = END - datetime.timedelta(minutes=60)
        self.written = jsoc_source.make_source(os.path.join(self.root, "nrt"), start, END, gaps=[self.gap],
                                               stops=[(335, END - datetime.timedelta(hours=2))],
                                               corrupt=[self.corrupt], real_171=self.real)
        jsoc_source.make_movie(os.path.join(self.root, "movies", "latest_1024_0335.mp4"))
        self.server = jsoc_source.SourceServer(self.root, self.cert, self.key)
        self.flaky = "/nrt/2026/10/01/H0500/AIA20261001_051200_0211.fits"
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
