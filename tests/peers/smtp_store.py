"""An aiosmtpd server that keeps every message it receives: NNNN.eml holds
the exact DATA bytes, NNNN.json the envelope (written after the message).
AUTH LOGIN/PLAIN with user "mailer", password "s3cret"; a recipient whose
address starts with "refuse" is answered 550.
With MODE "starttls" STARTTLS is required before anything else (and AUTH
only after it); with "implicit" the port speaks TLS from the first byte.
Both use TLSDIR/server.{crt,key} (made by tls-ca.sh).
usage: /usr/bin/python3 smtp_store.py PORT DIR [MODE TLSDIR]"""
import json
import os
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

port, store = int(sys.argv[1]), sys.argv[2]
mode = sys.argv[3] if len(sys.argv) > 3 else ""
tls = None
if mode:
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(os.path.join(sys.argv[4], "server.crt"), os.path.join(sys.argv[4], "server.key"))


class Handler:
    def __init__(self):
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("refuse"):
            return "550 5.1.1 No such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(store, "%04d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".tmp", "w") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                       "helo": session.host_name,
                       "auth": bool(session.authenticated)}, f)
        os.rename(base + ".tmp", base + ".json")
        return "250 OK stored"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == b"mailer" \
        and auth_data.password == b"s3cret"
    return AuthResult(success=ok, handled=False)


options = dict(authenticator=authenticator, auth_require_tls=mode == "starttls", data_size_limit=0)
if mode == "starttls":
    options.update(tls_context=tls, require_starttls=True)
elif mode == "implicit":
    options.update(ssl_context=tls)
controller = Controller(Handler(), hostname="127.0.0.1", port=port, **options)
controller.start()
stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
signal.signal(signal.SIGINT, lambda *_: stop.set())
stop.wait()
controller.stop()
