"""One line per event on standard error, prefixed with the program's name."""

import sys
import threading

_lock = threading.Lock()


def line(message):
    with _lock:
        sys.stderr.write("solvane-publish: %s\n" % message)
        sys.stderr.flush()
