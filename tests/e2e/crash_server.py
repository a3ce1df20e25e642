"""A crash-collection server on 127.0.0.1 for the upload tests (standard
library only), scripted per test.

    with CrashServer([answer(500), answer(200, "CrashID=bp-1")]) as server:
        ... server.url("/submit", "key=SECRET") ...
        request = server.wait_for_requests(2)[-1]
        request.parts["upload_file_minidump"].data

Each request takes the next scripted answer; the last one repeats. HANG
reads the request and never answers (until the server stops); an answer
given release=threading.Event() is held back until the event is set. Every request
is kept with its gzip body decoded and its multipart form parsed with the
email package. free_port() gives a port where nothing listens; with a
certificate (self_signed_certificate()) the server speaks https.
"""

import gzip
import http.server
import socket
import ssl
import subprocess
import threading
import time
from collections import namedtuple
from email import policy
from email.parser import BytesParser
from urllib.parse import urlsplit

Answer = namedtuple("Answer", "status body headers release")
Part = namedtuple("Part", "filename content_type data")
Received = namedtuple("Received", "path query headers raw_body body parts")

HANG = Answer(None, b"", {}, None)


def answer(status, body="", headers=None, release=None):
    return Answer(status, body.encode() if isinstance(body, str) else body, headers or {},
                  release)


def free_port():
    """A loopback port that nothing listens on (it was free a moment ago)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def self_signed_certificate(folder):
    """(certificate file, key file) for 127.0.0.1, signed by nobody the
    system trusts."""
    certificate, key = str(folder / "server.pem"), str(folder / "server.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", certificate], check=True, timeout=60,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return certificate, key


def parse_form(content_type, body):
    """{name: Part} of a multipart/form-data body."""
    message = BytesParser(policy=policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode() + b"\r\nMIME-Version: 1.0\r\n\r\n" + body)
    parts = {}
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        parts[name] = Part(part.get_filename(), part.get_content_type(),
                           part.get_payload(decode=True))
    return parts


class CrashServer:
    def __init__(self, answers, port=0, certificate=None, on_request=None):
        self.answers = list(answers)
        self._on_request = on_request
        self.requests = []
        self._lock = threading.Condition()
        self._stopping = threading.Event()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"
            disable_nagle_algorithm = True  # head and body of an answer at once

            def do_POST(self):
                length = int(self.headers.get("Content-Length", "0"))
                raw = self.rfile.read(length)
                server._receive(self, raw)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True

            def handle_error(self, request, client_address):
                pass  # a client that refuses our certificate ends its connection

        self._http = Server(("127.0.0.1", port), Handler)
        if certificate:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*certificate)
            self._http.socket = context.wrap_socket(self._http.socket, server_side=True)
        self.scheme = "https" if certificate else "http"
        self.port = self._http.server_address[1]
        self._thread = threading.Thread(target=self._http.serve_forever, daemon=True)

    def url(self, path="/submit", query=""):
        return "%s://127.0.0.1:%d%s%s" % (self.scheme, self.port, path,
                                          "?" + query if query else "")

    def shown_url(self, path="/submit"):
        return "%s://127.0.0.1:%d%s" % (self.scheme, self.port, path)

    def _receive(self, handler, raw):
        split = urlsplit(handler.path)
        body = gzip.decompress(raw) if handler.headers.get("Content-Encoding") == "gzip" else raw
        parts = parse_form(handler.headers.get("Content-Type", ""), body)
        with self._lock:
            self.requests.append(Received(split.path, split.query, dict(handler.headers), raw,
                                          body, parts))
            reply = self.answers[min(len(self.requests), len(self.answers)) - 1]
            self._lock.notify_all()
        if self._on_request:
            self._on_request(self.requests[-1], len(self.requests))
        if reply.release is not None:
            while not (reply.release.wait(0.1) or self._stopping.is_set()):
                pass
        if reply.status is None or self._stopping.is_set():
            self._stopping.wait()
            handler.close_connection = True
            return
        handler.send_response(reply.status)
        for name, value in reply.headers.items():
            handler.send_header(name, value)
        handler.send_header("Content-Length", str(len(reply.body)))
        handler.end_headers()
        handler.wfile.write(reply.body)

    def wait_for_requests(self, count, timeout=60):
        """The requests once there are at least count of them."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while len(self.requests) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("%d request(s) after %.0f s, not %d"
                                         % (len(self.requests), timeout, count))
                self._lock.wait(left)
            return list(self.requests)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stopping.set()
        self._http.shutdown()
        self._http.server_close()
        return False


def main():
    """A receiver for the demo: answers every dump as a crash server does, saves the
    files that arrived in the folder given and prints what each request held."""
    import sys
    from pathlib import Path
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)

    def report(received, number):
        print("POST %s?%s: %d bytes gzip-compressed, %d bytes of form"
              % (received.path, received.query, len(received.raw_body), len(received.body)))
        for name, part in received.parts.items():
            if part.filename is None:
                print("  %-20s %s" % (name, part.data.decode("utf-8", "replace")))
            else:
                saved = folder / ("%d-%s" % (number, part.filename))
                saved.write_bytes(part.data)
                print("  %-20s %s, %d bytes, saved as %s"
                      % (name, part.filename, len(part.data), saved.name))
        sys.stdout.flush()

    with CrashServer([answer(200, "CrashID=bp-demo\n")], on_request=report) as server:
        print("listening on %s" % server.url("/submit"))
        sys.stdout.flush()
        threading.Event().wait()


if __name__ == "__main__":
    main()
