#!/usr/bin/env python3
"""The update server's side of the dl.php exchange, for the tests; loopback only.

Binds 127.0.0.1 on a free port (HTTPS with --tls) and writes the port to --ready. Reads --config (JSON) at every
request, so a test can change it between requests:
  {"files": {"<filepath>": {"body": "<text>" | "size": <bytes of 'x'>,
                            "announce": <size in the reply, default the body's length>,
                            "reply": "<whole dl.php reply, replacing the usual one>",
                            "status": <HTTP status of both answers, default 200>,
                            "send": <bytes actually sent on GET, default all>,
                            "chunk": <bytes per write on GET, default 4096>,
                            "delay": <seconds between chunks, default 0>}}}
POST /dl.php (action=size, filepath=<path>) answers "[status=success&size=<announce>]"; an
unknown path answers "[status=notfound]". GET /<path> sends the body (with a Content-Length
of its whole length, even when less is sent), then closes. Each request is appended to --log as one JSON line:
method, path, version, body.
"""
import argparse
import http.server
import json
import os
import ssl
import time
import urllib.parse


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--config", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="speak HTTPS")
    args = parser.parse_args()

    def entry_for(path):
        with open(args.config) as f:
            files = json.load(f).get("files", {})
        entry = files.get(path)
        if entry is None:
            return None, b""
        body = entry["body"].encode("latin-1") if "body" in entry else b"x" * entry.get("size", 0)
        return entry, body

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def log_message(self, *_):
            pass

        def record(self, body):
            with open(args.log, "a") as f:
                f.write(json.dumps({"method": self.command, "path": self.path,
                                    "version": self.request_version,
                                    "body": body.decode("latin-1")}) + "\n")

        def answer(self, status, payload, length=None):
            self.send_response(status)
            self.send_header("Content-Length", str(len(payload) if length is None else length))
            self.end_headers()
            self.wfile.write(payload)

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            self.record(body)
            form = urllib.parse.parse_qs(body.decode("latin-1"), keep_blank_values=True)
            entry, data = entry_for(form.get("filepath", [""])[0])
            if entry is None:
                return self.answer(200, b"[status=notfound]")
            reply = entry.get("reply", "[status=success&size=%d]" % entry.get("announce", len(data)))
            self.answer(entry.get("status", 200), reply.encode("latin-1"))

        def do_GET(self):
            self.record(b"")
            entry, data = entry_for(urllib.parse.unquote(self.path.lstrip("/")))
            if entry is None:
                return self.answer(404, b"")
            send = data[:entry.get("send", len(data))]
            self.send_response(entry.get("status", 200))
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            chunk = entry.get("chunk", 4096)
            for i in range(0, len(send), chunk):
                self.wfile.write(send[i:i + chunk])
                self.wfile.flush()
                time.sleep(entry.get("delay", 0))

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(args.ready + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(args.ready + ".tmp", args.ready)
    server.serve_forever()


if __name__ == "__main__":
    main()
