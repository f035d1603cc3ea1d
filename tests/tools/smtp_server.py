"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1, AUTH LOGIN allowed
without TLS; with --cert and --key it speaks TLS, with STARTTLS required
(--tls starttls) or from the first byte (--tls implicit). Each accepted message is stored as N.eml (its bytes, dot-stuffing
undone) and N.env (login, sender, then one recipient per line). With --drip it is
no SMTP server but one TLS connection whose handshake or greeting comes a byte
at a time, then stops.
Prints "PORT n" when ready and runs until its standard input closes."""
import argparse
import json
import logging
import os
import signal
import socket
import ssl
import sys
import threading
import time
import warnings
from base64 import b64decode

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

# aiosmtpd itself sets a deprecated field on every login and warns about it.
logging.getLogger("mail.log").setLevel(logging.ERROR)

ap = argparse.ArgumentParser()
ap.add_argument("--dir", required=True)
ap.add_argument("--user", default="")
ap.add_argument("--password", default="")
ap.add_argument("--discard", action="store_true", help="keep nothing (benchmarks)")
ap.add_argument("--until-killed", action="store_true", help="ignore standard input")
ap.add_argument("--tls", choices=["starttls", "implicit"])
ap.add_argument("--cert")
ap.add_argument("--key")
ap.add_argument("--no-login", action="store_true", help="offer AUTH PLAIN only")
ap.add_argument("--tls11", action="store_true", help="offer nothing newer than TLS 1.1")
ap.add_argument("--oauth-token", help="offer XOAUTH2, taking this access token for --user")
ap.add_argument("--drip", choices=["handshake", "greeting"])
ap.add_argument("--size-limit", type=int, default=0, help="offer SIZE with this limit")
args = ap.parse_args()


def drip(step):
    """One implicit TLS connection; the encrypted bytes of the step named go
    out one every 150 ms, and after 20 of them nothing more comes."""
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    listener = socket.create_server(("127.0.0.1", 0))
    print("PORT", listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_side=True)

    def send(slow):
        data = outgoing.read()
        if not slow or not data:
            return conn.sendall(data)
        for i in range(min(len(data), 20)):
            conn.sendall(data[i:i + 1])
            time.sleep(0.15)
        while conn.recv(65536):  # silent until the client gives up
            pass
        raise EOFError

    try:
        while True:
            try:
                tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                send(step == "handshake")
                data = conn.recv(65536)
                if not data:
                    raise EOFError
                incoming.write(data)
        send(False)
        tls.write(b"220 a slow greeting\r\n")
        send(True)
    except (OSError, EOFError):
        pass  # the client hung up


if args.drip:
    threading.Thread(target=drip, args=(args.drip,), daemon=True).start()
    sys.stdin.read()
    sys.exit(0)
if args.tls:
    # Failed handshakes are what the TLS tests are about, not news.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    warnings.filterwarnings("ignore", category=DeprecationWarning)  # TLS 1.1 is, on purpose


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (mechanism in ("LOGIN", "PLAIN") and isinstance(auth_data, LoginPassword)
          and auth_data.login.decode() == args.user and auth_data.password.decode() == args.password)
    return AuthResult(success=ok, handled=False, auth_data=auth_data)


class Store:
    count = 0

    async def handle_DATA(self, server, session, envelope):
        if args.discard:
            return "250 OK"
        Store.count += 1
        base = os.path.join(args.dir, str(Store.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        login = session.auth_data.login.decode() if session.auth_data else ""
        with open(base + ".env", "w") as f:
            f.write("\n".join([login, envelope.mail_from] + envelope.rcpt_tos) + "\n")
        return "250 OK stored"


async def auth_xoauth2(self, server, argv):
    """XOAUTH2 as the big providers run it: a bad token gets a 334 challenge
    with a JSON error, the client's empty answer, then 535."""
    try:
        fields = dict(f.split("=", 1) for f in b64decode(argv[1]).decode().split("\x01") if f)
    except Exception:
        await server.push("501 5.5.2 Can't decode the initial response")
        return AuthResult(success=False, handled=True)
    if fields.get("user") == args.user and fields.get("auth") == "Bearer " + args.oauth_token:
        return AuthResult(success=True, auth_data=LoginPassword(args.user.encode(), b""))
    error = json.dumps({"status": "401", "schemes": "bearer", "scope": "https://mail.example/"})
    await server.challenge_auth(error)
    return AuthResult(success=False, handled=False)


if args.oauth_token:
    Store.auth_XOAUTH2 = auth_xoauth2

# aiosmtpd's controller probes its own port, so it needs a fixed one: take a free one.
probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()

options = {"auth_require_tls": False}
if args.tls:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    if args.tls11:
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = ssl.TLSVersion.TLSv1_1
    if args.tls == "starttls":
        options = {"tls_context": context, "require_starttls": True, "auth_require_tls": True}
    else:
        options["ssl_context"] = context
if args.no_login:
    options["auth_exclude_mechanism"] = ["LOGIN"]

controller = Controller(Store(), hostname="127.0.0.1", port=port, authenticator=authenticate,
                        data_size_limit=args.size_limit, server_hostname="quillory-test", **options)
controller.start()
print("PORT", port, flush=True)
if args.until_killed:
    signal.pause()
sys.stdin.read()
controller.stop()
