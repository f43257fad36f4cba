#!/usr/bin/python3
"""A small HTTPS server for a mirror tree that misbehaves on request, for the cache's failure paths.

    fault_server.py ROOT --cert CERT --key KEY [--faults FAULTS.json] [--log ACCESS.log]

Serves ROOT on 127.0.0.1 at a free port and prints "port N" on its first line of standard output.
Answers If-None-Match with 304 when the ETag (a digest of the file) matches. FAULTS.json is read again
on every request, so a test can change the faults while the server runs. It maps a text to a fault;
the first text found in the request path applies:

  {"v/171/": {"kind": "status", "code": 500}}
  kinds: status (code), slow (delay seconds before answering), stall (send half, then wait delay
  seconds), reset (drop the connection with a TCP reset before answering), truncate (announce the whole
  length, send half, close), wrongbody (status 200 with an HTML page), huge (announce and stream an
  endless body), stale (an index whose generated time is `age` seconds ago), redirect (status 302 to
  `location`).

Every request is appended to the access log as: METHOD PATH STATUS IF-NONE-MATCH
"""

import argparse
import datetime
import hashlib
import http.server
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "faulty-mirror"

    def log_message(self, *args):
        pass

    def record(self, status):
        line = "%s %s %s %s\n" % (self.command, self.path, status, self.headers.get("If-None-Match", "-"))
        with self.server.log_lock:
            with open(self.server.access_log, "a") as f:
                f.write(line)

    def fault(self):
        try:
            with open(self.server.faults_file) as f:
                faults = json.load(f)
        except (OSError, ValueError):
            return None
        for text, fault in faults.items():
            if text in self.path:
                return fault
        return None

    def send_body(self, status, body, etag=None, length=None, content_type="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        if etag:
            self.send_header("ETag", etag)
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        fault = self.fault()
        kind = fault.get("kind") if fault else None
        path = os.path.normpath(os.path.join(self.server.root, self.path.split("?")[0].lstrip("/")))
        if not path.startswith(self.server.root) or not os.path.isfile(path):
            self.record(404)
            return self.send_body(404, b"not found", content_type="text/plain")
        with open(path, "rb") as f:
            body = f.read()
        if kind == "stale" and path.endswith("index.json"):
            index = json.loads(body)
            moment = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(seconds=fault["age"])
            index["generated"] = moment.strftime("%Y-%m-%dT%H:%M:%SZ")
            body = json.dumps(index).encode()
        etag = '"%s"' % hashlib.sha1(body).hexdigest()[:20]
        if kind == "slow":
            time.sleep(fault.get("delay", 5))
        if kind == "status":
            self.record(fault["code"])
            return self.send_body(fault["code"], b"no", content_type="text/plain")
        if kind == "reset":
            self.record("reset")
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
            self.connection.close()
            return
        if kind == "redirect":
            self.record(302)
            self.send_response(302)
            self.send_header("Location", fault["location"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if kind == "wrongbody":
            self.record(200)
            return self.send_body(200, b"<html><body>Service unavailable</body></html>", content_type="text/html")
        if kind == "huge":
            self.record(200)
            self.send_response(200)
            self.send_header("Content-Length", str(1 << 40))
            self.end_headers()
            chunk = b"\0" * 65536
            try:
                while True:
                    self.wfile.write(chunk)
            except OSError:
                pass
            self.close_connection = True
            return
        if self.headers.get("If-None-Match") == etag:
            self.record(304)
            self.send_response(304)
            self.send_header("ETag", etag)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if kind in ("truncate", "stall"):
            self.record(200)
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("ETag", etag)
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            if kind == "stall":
                time.sleep(fault.get("delay", 30))
            self.close_connection = True
            return
        self.record(200)
        self.send_body(200, body, etag=etag)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that hangs up mid-answer is expected here


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--faults", default="/dev/null")
    parser.add_argument("--log", default="/dev/null")
    args = parser.parse_args()

    server = Server(("127.0.0.1", 0), Handler)
    server.root = os.path.realpath(args.root)
    server.faults_file = args.faults
    server.access_log = args.log
    server.log_lock = threading.Lock()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
