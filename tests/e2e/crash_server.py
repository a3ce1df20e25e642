"""A crash-collection server on 127.0.0.1 for the upload tests (standard
library only), scripted per test.

    with CrashServer([answer(500), answer(200, "CrashID=bp-1")]) as server:
        ... server.url("/submit", "key=SECRET") ...
        request = server.wait_for_requests(2)[-1]
        request.parts["upload_file_minidump"].data

Each request takes the next scripted answer; the last one repeats. HANG
reads the request and never answers (until the server stops); an answer
given release=threading.Event() is held back until the event is set. A
server misbehaves as real ones do with the other ways of answering:
early(413) answers as soon as it has read the request's head and hangs up
with the body still coming, HANG_UP reads the request and closes without a
word, trickle(200, every=0.2) sends its answer a byte at a time. Every
request is kept with its gzip body decoded and its multipart form parsed
with the email package (a request answered early has no body), and with
the time it arrived. free_port() gives a port where nothing listens; with a
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

Answer = namedtuple("Answer", "status body headers release way every")
Part = namedtuple("Part", "filename content_type data")
Received = namedtuple("Received", "path query headers raw_body body parts time")


def answer(status, body="", headers=None, release=None, way="whole", every=0.0):
    return Answer(status, body.encode() if isinstance(body, str) else body, headers or {},
                  release, way, every)


def early(status, body=""):
    """Answers once the head is read, then hangs up without reading the body."""
    return answer(status, body, {"Connection": "close"}, way="early")


def trickle(status, body="", every=0.2):
    """Sends the answer one byte every `every` seconds."""
    return answer(status, body, way="trickle", every=every)


HANG = Answer(None, b"", {}, None, "whole", 0.0)
HANG_UP = answer(None, way="hang-up")


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
        self._taken = 0
        self._lock = threading.Condition()
        self._stopping = threading.Event()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"
            disable_nagle_algorithm = True  # head and body of an answer at once

            def do_POST(self):
                reply = server._next_answer()
                if reply.way == "early":
                    server._keep(self, None)
                    server._answer(self, reply)
                    # Closed with the body unread: the system resets the
                    # connection, and the client's next writes fail.
                    self.close_connection = True
                    return
                length = int(self.headers.get("Content-Length", "0"))
                raw = self.rfile.read(length)
                server._receive(self, raw, reply)

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

    def _next_answer(self):
        with self._lock:
            self._taken += 1
            return self.answers[min(self._taken, len(self.answers)) - 1]

    def _keep(self, handler, raw):
        split = urlsplit(handler.path)
        body = parts = None
        if raw is not None:
            gzipped = handler.headers.get("Content-Encoding") == "gzip"
            body = gzip.decompress(raw) if gzipped else raw
            parts = parse_form(handler.headers.get("Content-Type", ""), body)
        with self._lock:
            self.requests.append(Received(split.path, split.query, dict(handler.headers), raw,
                                          body, parts, time.monotonic()))
            self._lock.notify_all()

    def _receive(self, handler, raw, reply):
        self._keep(handler, raw)
        if self._on_request:
            self._on_request(self.requests[-1], len(self.requests))
        if reply.release is not None:
            while not (reply.release.wait(0.1) or self._stopping.is_set()):
                pass
        if reply.way == "hang-up":
            handler.close_connection = True
            return
        if reply.status is None or self._stopping.is_set():
            self._stopping.wait()
            handler.close_connection = True
            return
        self._answer(handler, reply)

    def _answer(self, handler, reply):
        head = ["HTTP/1.1 %d %s" % (reply.status, handler.responses.get(reply.status, ("",))[0])]
        head += ["%s: %s" % item for item in reply.headers.items()]
        head += ["Content-Length: %d" % len(reply.body), "", ""]
        data = "\r\n".join(head).encode() + reply.body
        if reply.way != "trickle":
            handler.wfile.write(data)
            return
        for i in range(len(data)):
            if self._stopping.wait(reply.every):
                break
            try:
                handler.wfile.write(data[i:i + 1])
                handler.wfile.flush()
            except OSError:
                break  # the client gave up
        handler.close_connection = True

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
