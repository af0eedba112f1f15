#!/usr/bin/python3
"""A scripted FTPS server (AUTH TLS) on 127.0.0.1 whose downloads send only
the first half of a file of SIZE bytes and then close the data connection's
socket under TLS without a close-notify, as a cut connection or a truncation
attack would; with "whole" it sends all SIZE bytes and ends TLS in order.
Every download is answered 226 either way; SIZE is refused for cut ones, so
only the missing close-notify can tell that they are short.
    ftps-cut.py PORT TLSDIR SIZE cut|whole
"""
import socket
import ssl
import sys

port, tlsdir, size, mode = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), sys.argv[4]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(tlsdir + "/server.crt", tlsdir + "/server.key")


class Lines:
    def __init__(self, sock):
        self.sock, self.buffer = sock, b""

    def read(self):
        while b"\r\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line.decode("latin-1")

    def send(self, text):
        self.sock.sendall(text.encode("latin-1") + b"\r\n")


def serve(conn):
    lines = Lines(conn)
    lines.send("220 cut-short FTPS peer")
    passive = None
    while True:
        line = lines.read()
        if line is None:
            return
        verb = line.split(" ", 1)[0].upper()
        if verb == "AUTH":
            lines.send("234 go ahead")
            lines = Lines(context.wrap_socket(conn, server_side=True))
        elif verb == "USER":
            lines.send("331 password")
        elif verb == "PASS":
            lines.send("230 in")
        elif verb in ("PBSZ", "PROT", "TYPE"):
            lines.send("200 ok")
        elif verb == "PWD":
            lines.send('257 "/"')
        elif verb == "SIZE":
            # Cut downloads come without a size: only TLS can tell they are short.
            lines.send("213 %d" % size if mode == "whole" else "550 no size here")
        elif verb == "PASV":
            passive = socket.socket()
            passive.bind(("127.0.0.1", 0))
            passive.listen(1)
            p = passive.getsockname()[1]
            lines.send("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (p // 256, p % 256))
        elif verb == "RETR" and passive:
            lines.send("150 sending")
            data, _ = passive.accept()
            passive.close()
            tls = context.wrap_socket(data, server_side=True)
            block = b"v" * 65536
            left = size if mode == "whole" else size // 2
            while left > 0:
                tls.sendall(block[: min(left, len(block))])
                left -= min(left, len(block))
            if mode == "whole":
                tls.unwrap().close()
            else:
                tls.shutdown(socket.SHUT_RDWR)  # the socket ends, TLS does not
                tls.close()
            lines.send("226 done")
        elif verb == "QUIT":
            lines.send("221 bye")
            return
        else:
            lines.send("502 not here")


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(5)
while True:
    conn, _ = listener.accept()
    try:
        serve(conn)
    except (OSError, ssl.SSLError):
        pass
    conn.close()
