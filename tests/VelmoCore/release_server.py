#!/usr/bin/env python3
"""A release host for tests: answers GET requests on 127.0.0.1 from a routes file that the test
rewrites between requests, over TLS when given a certificate. Every requested path is appended to
a log file. Prints "PORT <n>" once it listens."""
import argparse
import http.server
import json
import os
import ssl
import sys
import time

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True)
parser.add_argument("--cert")
parser.add_argument("--key")
options = parser.parse_args()
routes_file = os.path.join(options.root, "routes.json")
log_file = os.path.join(options.root, "requests.log")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log_file, "a") as log:
            log.write(self.path + "\n")
        try:
            with open(routes_file) as f:
                routes = json.load(f)
        except FileNotFoundError:
            routes = {}
        route = routes.get(self.path)
        if route is None:
            self.send_error(404)
            return
        if route.get("hang"):
            time.sleep(120)
            return
        if "stream" in route:
            self.stream(route["stream"])
            return
        body = b""
        if "file" in route:
            with open(os.path.join(options.root, route["file"]), "rb") as f:
                body = f.read()
        self.send_response(route["status"])
        for name, value in route.get("headers", {}).items():
            self.send_header(name, value)
        if route.get("announce", True):
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def stream(self, shape):
        """Zeros: `bytes` of them (-1: without end), with the Content-Length `announced` (none
        when negative), written `piece` bytes at a time with `pause` seconds between pieces.
        Without a length the body ends when the connection closes."""
        self.send_response(200)
        if shape["announced"] >= 0:
            self.send_header("Content-Length", str(shape["announced"]))
        self.end_headers()
        left = shape["bytes"]
        piece = b"\0" * shape["piece"]
        try:
            while left != 0:
                chunk = piece if left < 0 else piece[:left]
                self.wfile.write(chunk)
                self.wfile.flush()
                left = left - len(chunk) if left > 0 else left
                time.sleep(shape["pause"])
        except OSError:
            pass
        self.close_connection = True

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
if options.cert:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert, options.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
print("PORT", server.server_address[1], flush=True)
server.serve_forever()
