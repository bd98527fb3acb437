#!/usr/bin/env python3
"""A stand-in IndexNow endpoint on 127.0.0.1 for the tests.

    indexnow_server.py FOLDER

Listens on a free port, which it writes to FOLDER/port once it listens.
Each POST's body goes to FOLDER/request-N.json (N from 1, counting the
request files there: a test that removes them starts again at 1) and its
path and Content-Type to FOLDER/request-N.head; the answer is the Nth
status of FOLDER/statuses (one per line, the last repeated; 200 when there
is none),
with a short text; status 0 answers nothing for 60 s. Ends after 120 s whatever happens, so that no test can
leave it behind.
"""
import http.server
import os
import sys
import threading
import time

folder = sys.argv[1]


def status_of(count):
    try:
        with open(os.path.join(folder, "statuses")) as listed:
            statuses = [int(line) for line in listed.read().split()]
    except FileNotFoundError:
        statuses = []
    if not statuses:
        return 200
    return statuses[min(count, len(statuses)) - 1]


class Endpoint(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        count = 1 + sum(name.endswith(".json") for name in os.listdir(folder))
        with open(os.path.join(folder, f"request-{count}.json"), "wb") as out:
            out.write(body)
        with open(os.path.join(folder, f"request-{count}.head"), "w") as out:
            out.write(f"{self.path}\n{self.headers.get('Content-Type')}\n")
        status = status_of(count)
        if status == 0:
            time.sleep(60)
            return
        answer = b"Forbidden: the key is not valid for this host\n" if status == 403 else b""
        self.send_response(status)
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Endpoint)
threading.Timer(120, lambda: os._exit(1)).start()
with open(os.path.join(folder, "port.partial"), "w") as out:
    out.write(str(server.server_address[1]))
os.rename(os.path.join(folder, "port.partial"), os.path.join(folder, "port"))
server.serve_forever()
