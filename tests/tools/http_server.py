#!/usr/bin/python3
"""A web server on 127.0.0.1 for the link check: prints "PORT n", answers by
path, and stops when its standard input ends."""
import http.server
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    def answer(self):
        path = self.path
        if path == "/never":
            time.sleep(30)  # the connection is held: the client must time out
            return
        answers = {"/ok": (200, {}), "/nohead": (200, {}), "/moved": (301, {"Location": "/ok"}), "/gone": (404, {})}
        status, headers = answers.get(path, (500, {}))
        if path == "/nohead" and self.command == "HEAD":
            status, headers = 405, {"Allow": "GET"}
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        body = b"x" * 100000 if self.command == "GET" else b""
        self.send_header("Content-Length", str(100000))
        self.end_headers()
        self.wfile.write(body)

    do_HEAD = answer
    do_GET = answer

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print("PORT", server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()
