"""Servers for the downloader tests, on 127.0.0.1 only.

Usage: servers.py INFO_FILE

Serves a fresh folder of test files over http and ftp, plus misbehaving endpoints: a
port that refuses connections, a server that accepts and never answers, one that
announces more bytes than it sends, and one of redirections and endless bodies
(/chain/N redirects N times and then to the real tone.wav, /loop-a and /loop-b send
each other round, /endless.wav never ends, /huge.wav announces a terabyte,
/counted.wav is not found and counts its requests, which /requests.txt tells). Once everything listens it writes
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


def read_request(conn):
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = conn.recv(4096)
        if not chunk:
            break
        request += chunk
    line = request.split(b"\r\n", 1)[0].split(b" ")
    return line[1].decode("latin-1") if len(line) > 1 else "/"


counted_requests = [0]


def answer_hostile(conn, http_port):
    try:
        conn.settimeout(30)
        path = read_request(conn)
        if path == "/counted.wav":
            counted_requests[0] += 1
            conn.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
        elif path == "/requests.txt":
            body = b"%d" % counted_requests[0]
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body))
        elif path.startswith("/chain/"):
            n = int(path[len("/chain/"):] or "0")
            target = ("/chain/%d" % (n - 1) if n > 0
                      else "http://%s:%d/tone.wav" % (HOST, http_port))
            conn.sendall(b"HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n"
                         b"Connection: close\r\n\r\n" % target.encode())
        elif path in ("/loop-a", "/loop-b"):
            target = "/loop-b" if path == "/loop-a" else "/loop-a"
            conn.sendall(b"HTTP/1.1 301 Moved\r\nLocation: %s\r\nContent-Length: 0\r\n"
                         b"Connection: close\r\n\r\n" % target.encode())
        elif path == "/huge.wav":
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000000000000\r\n\r\n")
            conn.sendall(tone_bytes(1000))
        elif path == "/endless.wav":
            conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: audio/wav\r\n\r\n")
            block = tone_bytes(65536)
            while True:
                conn.sendall(block)
        else:
            conn.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
    except (OSError, ValueError):
        pass
    finally:
        conn.close()


def serve_hostile(server, http_port):
    while True:
        try:
            conn, _ = server.accept()
        except OSError:
            return
        start(answer_hostile, conn, http_port)


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

        hostile = listening_socket()
        start(serve_hostile, hostile, httpd.server_address[1])

        lines = [
            "TB_NETFETCH_HTTP_PORT=%d" % httpd.server_address[1],
            "TB_NETFETCH_FTP_PORT=%d" % ftpd.socket.getsockname()[1],
            "TB_NETFETCH_REFUSED_PORT=%d" % refused.getsockname()[1],
            "TB_NETFETCH_SILENT_PORT=%d" % silent.getsockname()[1],
            "TB_NETFETCH_TRUNCATED_PORT=%d" % truncated.getsockname()[1],
            "TB_NETFETCH_HOSTILE_PORT=%d" % hostile.getsockname()[1],
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
