#!/usr/bin/python3
"""An SMTP server on 127.0.0.1 for the tests, built on aiosmtpd.

Listens on a free port and prints "READY <port>" once it accepts connections. Every
message it takes is stored in OUT_DIR as NNN.eml (the data as received, dot-stuffing
removed) and NNN.json: the envelope, the session (HELO name, TLS version, client
certificate, login) and the message parsed by Python's email package (headers decoded,
one entry per leaf part with its payload decoded, base64 in "payload"). Each login
attempt is appended to OUT_DIR/events.jsonl as {"conn", "event": "auth", "mechanism",
"ok"}.

Besides a proper server, --raw plays a broken one: "silent" accepts and never answers,
"garbage" greets with a line that is no reply, "long-line" greets with a 10 MB line,
"silent-after-ehlo" stops answering after EHLO, "drop-in-data" closes the connection
after reading --drop-after bytes of the message.

Usage: smtp_server.py --out DIR [options]; see --help.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import hashlib
import hmac
import json
import os
import secrets
import ssl
import sys

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, auth_mechanism

ALL_MECHANISMS = ["PLAIN", "LOGIN", "CRAM-MD5", "CRAM-SHA1"]


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--security", default="plain",
                   choices=["plain", "starttls", "require-starttls", "implicit"])
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--client-ca", help="CA that client certificates must chain to")
    p.add_argument("--require-client-cert", action="store_true")
    p.add_argument("--mechanisms", default="", help="announced AUTH mechanisms, blank-separated")
    p.add_argument("--failing", default="", help="mechanisms that always refuse, blank-separated")
    p.add_argument("--user", default="")
    p.add_argument("--password", default="")
    p.add_argument("--auth-required", action="store_true")
    p.add_argument("--refuse", action="append", default=[], help="recipient to refuse")
    p.add_argument("--no-8bitmime", action="store_true")
    p.add_argument("--size-limit", type=int, default=0, help="0: no SIZE limit")
    p.add_argument("--raw", choices=["silent", "garbage", "long-line", "silent-after-ehlo",
                                     "drop-in-data"])
    p.add_argument("--drop-after", type=int, default=1024)
    return p.parse_args()


class Recorder:
    def __init__(self, out_dir):
        self.out_dir = out_dir
        self.connections = {}
        self.count = 0

    def conn(self, server):
        return self.connections.setdefault(id(server), len(self.connections) + 1)

    def event(self, server, **fields):
        fields["conn"] = self.conn(server)
        with open(os.path.join(self.out_dir, "events.jsonl"), "a", encoding="utf-8") as f:
            f.write(json.dumps(fields) + "\n")

    def store(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.out_dir, "%03d" % self.count)
        data = envelope.original_content
        with open(stem + ".eml", "wb") as f:
            f.write(data)
        ssl_object = server.transport.get_extra_info("ssl_object")
        client_cert = None
        if ssl_object is not None:
            peer = ssl_object.getpeercert()
            if peer:
                client_cert = dict(x[0] for x in peer.get("subject", ())).get("commonName")
        record = {
            "conn": self.conn(server),
            "mail_from": envelope.mail_from,
            "mail_options": envelope.mail_options,
            "rcpt_tos": envelope.rcpt_tos,
            "helo": session.host_name,
            "tls": ssl_object.version() if ssl_object is not None else None,
            "client_cert": client_cert,
            "login": session.auth_data.decode() if isinstance(session.auth_data, bytes) else None,
            "longest_line": max((len(l) for l in data.split(b"\r\n")), default=0),
        }
        record.update(describe(data))
        with open(stem + ".json", "w", encoding="utf-8") as f:
            json.dump(record, f, indent=1)


def describe(data):
    msg = email.message_from_bytes(data, policy=email.policy.default)
    headers = [[name, str(value)] for name, value in msg.items()]
    parts = []
    for part in msg.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        parts.append({
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "transfer_encoding": part.get("Content-Transfer-Encoding"),
            "disposition": part.get_content_disposition(),
            "filename": part.get_filename(),
            "payload": base64.b64encode(payload).decode(),
        })
    return {"content_type": msg.get_content_type(), "headers": headers, "parts": parts,
            "defects": [type(d).__name__ for d in msg.defects]}


class Handler:
    def __init__(self, args, recorder):
        self.args = args
        self.recorder = recorder
        self.failing = set(args.failing.split())

    def check(self, server, mechanism, login, password_ok):
        ok = (login == self.args.user.encode() and password_ok and mechanism not in self.failing)
        self.recorder.event(server, event="auth", mechanism=mechanism, ok=ok)
        return AuthResult(success=ok, handled=False, auth_data=login if ok else None)

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        return self.check(server, mechanism, auth_data.login,
                          auth_data.password == self.args.password.encode())

    async def cram(self, server, mechanism, digest):
        challenge = ("<%s@smtp.test>" % secrets.token_hex(8)).encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            self.recorder.event(server, event="auth", mechanism=mechanism, ok=False)
            return AuthResult(success=False, handled=True)
        login, _, answer = response.rpartition(b" ")
        expected = hmac.new(self.args.password.encode(), challenge, digest).hexdigest().encode()
        return self.check(server, mechanism, login, hmac.compare_digest(answer, expected))

    @auth_mechanism("CRAM-MD5")
    async def auth_CRAM_MD5(self, server, args):
        return await self.cram(server, "CRAM-MD5", hashlib.md5)

    @auth_mechanism("CRAM-SHA1")
    async def auth_CRAM_SHA1(self, server, args):
        return await self.cram(server, "CRAM-SHA1", hashlib.sha1)

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.args.no_8bitmime:
            responses = [r for r in responses if r[4:] != "8BITMIME"]
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.recorder.store(server, session, envelope)
        return "250 OK: queued"


def tls_context(args):
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(args.cert, args.key)
    if args.require_client_cert:
        ctx.verify_mode = ssl.CERT_REQUIRED
        ctx.load_verify_locations(args.client_ca)
    return ctx


async def raw_client(args, reader, writer):
    mode = args.raw
    try:
        if mode == "silent":
            await reader.read()
            return
        if mode == "garbage":
            writer.write(b"Welcome, this is not SMTP\r\n")
            await writer.drain()
            await reader.read()
            return
        if mode == "long-line":
            writer.write(b"220 " + b"x" * 10_000_000 + b"\r\n")
            await writer.drain()
            await reader.read()
            return
        writer.write(b"220 raw.test ready\r\n")
        while True:
            line = await reader.readline()
            if not line:
                return
            command = line[:4].upper()
            if command == b"EHLO":
                writer.write(b"250-raw.test\r\n250-8BITMIME\r\n250 HELP\r\n")
            elif mode == "silent-after-ehlo":
                continue
            elif command == b"DATA":
                writer.write(b"354 go ahead\r\n")
                await writer.drain()
                await reader.readexactly(args.drop_after)
                writer.transport.abort()
                return
            elif command == b"QUIT":
                writer.write(b"221 bye\r\n")
                await writer.drain()
                return
            else:
                writer.write(b"250 OK\r\n")
            await writer.drain()
    except (ConnectionError, asyncio.IncompleteReadError, ssl.SSLError):
        pass
    finally:
        writer.close()


async def main():
    args = parse_args()
    loop = asyncio.get_running_loop()
    context = tls_context(args) if args.security != "plain" else None
    implicit = context if args.security == "implicit" else None

    if args.raw:
        server = await asyncio.start_server(lambda r, w: raw_client(args, r, w), "127.0.0.1", 0,
                                            ssl=implicit)
    else:
        recorder = Recorder(args.out)
        handler = Handler(args, recorder)
        announced = set(args.mechanisms.split())

        def factory():
            return SMTP(handler,
                        hostname="smtp.test",
                        data_size_limit=args.size_limit or None,
                        tls_context=context if args.security in ("starttls", "require-starttls") else None,
                        require_starttls=args.security == "require-starttls",
                        auth_required=args.auth_required,
                        auth_require_tls=args.security in ("starttls", "require-starttls"),
                        auth_exclude_mechanism=[m for m in ALL_MECHANISMS if m not in announced],
                        authenticator=handler.authenticate)

        server = await loop.create_server(factory, "127.0.0.1", 0, ssl=implicit)
    port = server.sockets[0].getsockname()[1]
    print("READY %d" % port, flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
