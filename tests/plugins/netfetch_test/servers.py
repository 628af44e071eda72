"""Servers for the downloader tests, on 127.0.0.1 only.

Usage: servers.py INFO_FILE

Serves a fresh folder of test files over http and ftp, plus three misbehaving
endpoints: a port that refuses connections, a server that accepts and never answers,
and one that announces more bytes than it sends. Once everything listens it writes
NAME=VALUE lines to INFO_FILE (the ports, and the served folder as a Wine path), then
serves until it receives SIGTERM or SIGINT, and removes the folder.
"""

import functools
import http.server
import logging
import os
import shutil
import signal
import socket
import sys
import tempfile
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

HOST = "127.0.0.1"
TRUNCATED_ANNOUNCED = 100000
TRUNCATED_SENT = 1000


def tone_bytes(size):
    # Not a repeating short pattern, so an offset or a lost block shows.
    return bytes(((i * 131) ^ (i >> 8) ^ (i >> 16)) & 0xFF for i in range(size))


def make_files(root):
    with open(os.path.join(root, "tone.wav"), "wb") as f:
        f.write(tone_bytes(300 * 1024 + 17))
    with open(os.path.join(root, "plain"), "wb") as f:
        f.write(b"no extension here\n")
    open(os.path.join(root, "empty.wav"), "wb").close()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def listening_socket():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((HOST, 0))
    s.listen(16)
    return s


def serve_silent(server, held):
    # Accepts and keeps every connection open without a byte of reply.
    while True:
        try:
            conn, _ = server.accept()
        except OSError:
            return
        held.append(conn)


def serve_truncated(server):
    while True:
        try:
            conn, _ = server.accept()
        except OSError:
            return
        try:
            conn.settimeout(10)
            request = b""
            while b"\r\n\r\n" not in request:
                chunk = conn.recv(4096)
                if not chunk:
                    break
                request += chunk
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: audio/wav\r\n"
                         b"Content-Length: %d\r\n\r\n" % TRUNCATED_ANNOUNCED)
            conn.sendall(tone_bytes(TRUNCATED_SENT))
        except OSError:
            pass
        finally:
            conn.close()


def start(target, *args):
    threading.Thread(target=target, args=args, daemon=True).start()


def main():
    info_file = sys.argv[1]
    root = tempfile.mkdtemp(prefix="tb-netfetch-")
    done = threading.Event()

    def stop(*_):
        done.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        make_files(root)

        httpd = http.server.ThreadingHTTPServer(
            (HOST, 0), functools.partial(QuietHandler, directory=root))
        start(httpd.serve_forever)

        # A handler of our own keeps pyftpdlib from installing its chatty one.
        ftp_log = logging.getLogger("pyftpdlib")
        ftp_log.addHandler(logging.StreamHandler())
        ftp_log.setLevel(logging.WARNING)
        ftp_log.propagate = False
        authorizer = DummyAuthorizer()
        authorizer.add_anonymous(root)
        handler = type("TestFtpHandler", (FTPHandler,), {})
        handler.authorizer = authorizer
        ftpd = FTPServer((HOST, 0), handler)
        start(ftpd.serve_forever)

        # Bound but not listening: connections to it are refused, and nobody else can
        # take the port while the tests run.
        refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        refused.bind((HOST, 0))

        silent = listening_socket()
        held = []
        start(serve_silent, silent, held)

        truncated = listening_socket()
        start(serve_truncated, truncated)

        lines = [
            "TB_NETFETCH_HTTP_PORT=%d" % httpd.server_address[1],
            "TB_NETFETCH_FTP_PORT=%d" % ftpd.socket.getsockname()[1],
            "TB_NETFETCH_REFUSED_PORT=%d" % refused.getsockname()[1],
            "TB_NETFETCH_SILENT_PORT=%d" % silent.getsockname()[1],
            "TB_NETFETCH_TRUNCATED_PORT=%d" % truncated.getsockname()[1],
            # Wine maps the Unix root to drive Z:.
            "TB_NETFETCH_ROOT=Z:%s" % root.replace("/", "\\"),
        ]
        partial = info_file + ".part"
        with open(partial, "w") as f:
            # Quoted for the shell that reads them: the Wine path has backslashes.
            f.write("".join(line.replace("=", "='", 1) + "'\n" for line in lines))
        os.rename(partial, info_file)

        # The servers' threads are daemons: they end with the process.
        done.wait()
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
