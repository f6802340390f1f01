#!/usr/bin/env python3
"""A small scripted SIP registrar for the tests, loopback only.

Listens on the given UDP addresses, records every datagram it receives in the log file
("@@ <src> <dst> <length>\\n" followed by the bytes), and answers REGISTER as the mode says:
  normal      401 with a digest challenge, then 200 once the digest is right (403 if wrong)
  always401   a plain 401 to every REGISTER
  silent      never answers
  noremoval   like normal, but never answers a removal (Expires: 0)
  notags      like normal, but the 200 carries no tag in To nor in From
  stale       401 with stale=true and a fresh nonce to every REGISTER, answered or not
The 200 returns our Contact with ;expires=min(requested, --expires) and fills in the Via's
received and rport. ACKs and everything else are only recorded. Writes --ready when bound.
"""
import argparse
import hashlib
import os
import random
import re
import select
import socket
import sys


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


def headers_of(text):
    head = text.split("\r\n\r\n", 1)[0].split("\r\n")
    out = []
    for line in head[1:]:
        if ":" in line:
            name, value = line.split(":", 1)
            out.append((name.strip(), value.strip()))
    return head[0], out


def first(headers, name):
    for n, v in headers:
        if n.lower() == name.lower():
            return v
    return None


def digest_params(value):
    return dict((k, v1 or v2) for k, v1, v2 in re.findall(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', value))


class Registrar:
    def __init__(self, args):
        self.args = args
        self.nonce = "%016x" % random.getrandbits(64)
        self.log = open(args.log, "ab", buffering=0)

    def record(self, src, dst, data):
        self.log.write(b"@@ %s:%d %s:%d %d\n" % (src[0].encode(), src[1], dst[0].encode(), dst[1], len(data)))
        self.log.write(data)

    def reply(self, sock, src, request, headers, code, reason, extra=(), to_tag=True, from_tag=True):
        lines = ["SIP/2.0 %d %s" % (code, reason)]
        top = True
        for name, value in headers:
            lname = name.lower()
            if lname in ("via", "v"):
                if top:
                    value = re.sub(r";rport(?=;|$)", "", value)
                    value += ";received=%s;rport=%d" % (src[0], src[1])
                    top = False
                lines.append("Via: " + value)
            elif lname in ("from", "f"):
                lines.append("From: " + (value if from_tag else re.sub(r";tag=[^;]*", "", value)))
            elif lname in ("to", "t"):
                tag = ";tag=reg%d" % (abs(hash(first(headers, "Call-ID"))) % 100000)
                lines.append("To: " + value + (tag if to_tag and code != 100 else ""))
            elif lname in ("call-id", "i", "cseq"):
                lines.append("%s: %s" % (name, value))
        lines.extend(extra)
        lines.append("Server: scripted-registrar")
        lines.append("Content-Length: 0")
        sock.sendto(("\r\n".join(lines) + "\r\n\r\n").encode(), src)

    def handle(self, sock, src, data):
        text = data.decode(errors="replace")
        start, headers = headers_of(text)
        if not start.startswith("REGISTER "):
            return
        mode = self.args.mode
        expires = int(first(headers, "Expires") or "3600")
        if mode == "silent" or (mode == "noremoval" and expires == 0):
            return
        auth = first(headers, "Authorization")
        challenge = 'WWW-Authenticate: Digest realm="%s", nonce="%s", algorithm=MD5' % (
            self.args.realm, self.nonce)
        if mode == "stale":
            self.nonce = "%016x" % random.getrandbits(64)
            self.reply(sock, src, start, headers, 401, "Unauthorized", [
                'WWW-Authenticate: Digest realm="%s", nonce="%s", algorithm=MD5, stale=true' % (
                    self.args.realm, self.nonce)])
            return
        if mode == "always401" or not auth:
            self.reply(sock, src, start, headers, 401, "Unauthorized", [challenge])
            return
        p = digest_params(auth)
        ha1 = md5("%s:%s:%s" % (p.get("username"), p.get("realm"), self.args.password))
        ha2 = md5("REGISTER:%s" % p.get("uri"))
        if "qop" in p:
            want = md5(":".join([ha1, p.get("nonce", ""), p.get("nc", ""), p.get("cnonce", ""), p["qop"], ha2]))
        else:
            want = md5("%s:%s:%s" % (ha1, p.get("nonce"), ha2))
        if p.get("response") != want or p.get("realm") != self.args.realm or p.get("username") != self.args.user:
            self.reply(sock, src, start, headers, 403, "Forbidden")
            return
        extra = []
        contact = first(headers, "Contact")
        if contact and expires > 0:
            extra.append("Contact: %s;expires=%d" % (contact, min(expires, self.args.expires)))
        notags = mode == "notags"
        self.reply(sock, src, start, headers, 200, "OK", extra, to_tag=not notags, from_tag=not notags)

    def run(self):
        socks = []
        for spec in self.args.listen:
            host, port = spec.rsplit(":", 1)
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((host, int(port)))
            socks.append(s)
        with open(self.args.ready + ".tmp", "w") as f:
            f.write("ready\n")
        os.rename(self.args.ready + ".tmp", self.args.ready)
        while True:
            readable, _, _ = select.select(socks, [], [])
            for s in readable:
                data, src = s.recvfrom(65535)
                self.record(src, s.getsockname(), data)
                self.handle(s, src, data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen", action="append", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--realm", default="registrar.quorvex.test")
    parser.add_argument("--user", default="1001")
    parser.add_argument("--password", default="4321")
    parser.add_argument("--expires", type=int, default=3600)
    parser.add_argument("--mode", default="normal")
    Registrar(parser.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
