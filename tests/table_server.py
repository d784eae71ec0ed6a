#!/usr/bin/env python3
"""A web server for the difficulty table test: serves a folder as
`python3 -m http.server` does, plus the answers a table's server should not
give: /loop redirects to itself, /hang never answers, /huge.json sends a body
past the player's 32 MB cap (with no Content-Length to stop it early).
Usage: table_server.py FOLDER PORT_FILE (the port chosen is written there)."""
import functools
import http.server
import sys
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path.startswith("/loop"):
            self.send_response(302)
            self.send_header("Location", "/loop")
            self.end_headers()
        elif self.path.startswith("/hang"):
            threading.Event().wait(120)
        elif self.path == "/huge.json":
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.end_headers()
            self.wfile.write(b"[")
            chunk = b'{"level":"1","md5":"00000000000000000000000000000000"},' * 1000
            try:
                for _ in range(40 * 1024 * 1024 // len(chunk) + 1):
                    self.wfile.write(chunk)
            except (BrokenPipeError, ConnectionResetError):
                pass
        else:
            super().do_GET()

    def log_message(self, *args):
        pass


def main():
    folder, port_file = sys.argv[1], sys.argv[2]
    handler = functools.partial(Handler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
