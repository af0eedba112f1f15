#!/usr/bin/python3
# A pyftpdlib server whose data connections are held to RATE bytes per second
# both ways (ThrottledDTPHandler), for bench/ftp_throttled_bench.sh.
#   throttled_ftpd.py PORT ROOT USER PASSWORD RATE
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

port, root, user, password, rate = sys.argv[1:6]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
dtp = ThrottledDTPHandler
dtp.read_limit = int(rate)
dtp.write_limit = int(rate)
handler = FTPHandler
handler.authorizer = authorizer
handler.dtp_handler = dtp
FTPServer(("127.0.0.1", int(port)), handler).serve_forever()
