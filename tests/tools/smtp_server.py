"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1, AUTH LOGIN allowed
without TLS. Each accepted message is stored as N.eml (its bytes, dot-stuffing
undone) and N.env (login, sender, then one recipient per line).
Prints "PORT n" when ready and runs until its standard input closes."""
import argparse
import logging
import os
import signal
import socket
import sys

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
args = ap.parse_args()


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword)
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


# aiosmtpd's controller probes its own port, so it needs a fixed one: take a free one.
probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()

controller = Controller(Store(), hostname="127.0.0.1", port=port, auth_require_tls=False,
                        authenticator=authenticate, data_size_limit=0, server_hostname="quillory-test")
controller.start()
print("PORT", port, flush=True)
if args.until_killed:
    signal.pause()
sys.stdin.read()
controller.stop()
