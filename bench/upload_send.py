"""-send over loopback: a folder of 20 mini dumps, and one -ma dump of a
target holding 300 MB, each sent to a receiver on 127.0.0.1 that reads the
body and answers like a crash server without parsing it. Baseline in the
same run: Python doing the same job (each file in a multipart form,
gzip-compressed at level 6, one POST per file on one connection) to the same
receiver. varnhold's times run from its start to its end; its start-up (a
-send of an empty folder) is measured apart and taken off for the ratio.
While a dump is sent, varnhold's private bytes are sampled as the system
counts them (tests/fixtures/bench_tools/private_bytes): the growth is the
highest sample less the lowest; the peak resident size of its Linux process
is shown too."""

import http.client
import http.server
import re
import shutil
import socket
import subprocess
import threading
import time
import zlib

import benchlib
from benchlib import harness


MINI_COPIES = 20
TARGET_MB = 300
MB = 1024 * 1024


class Receiver:
    """Reads each body in pieces, counts it, answers 200 with an id."""

    def __init__(self):
        self.received = 0
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"
            # The answer's head and body go out at once, not 40 ms apart.
            disable_nagle_algorithm = True

            def do_POST(self):
                left = int(self.headers.get("Content-Length", "0"))
                while left > 0:
                    piece = self.rfile.read(min(left, MB))
                    if not piece:
                        break
                    left -= len(piece)
                    owner.received += len(piece)
                body = b"CrashID=bp-bench\n"
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d/submit" % self.server.server_address[1]

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def private_bytes():
    """varnhold's private committed bytes now, or None when it has ended."""
    result = subprocess.run(["wine", str(harness.fixture("private_bytes.exe")), "varnhold.exe"],
                            env=harness.wine_environment(), capture_output=True, timeout=60)
    match = re.search(rb"private (\d+)", result.stdout)
    return int(match.group(1)) if match else None


def peak_resident(pid):
    """VmHWM of a Linux process in bytes, or 0 once it is gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0


def send(receiver, path_win, files, sampled=False):
    """One -send run: seconds, bytes on the wire, private bytes growth, peak
    resident. The memory is sampled only when asked: each sample starts a
    program, which would slow the run being timed."""
    for sent in files:
        sent.with_name(sent.name + ".sent").unlink(missing_ok=True)
    before = receiver.received
    run = harness.start_varnhold(["-upload", receiver.url, "-send", path_win])
    samples = []
    peak_rss = 0
    with run:
        if sampled:
            pid = benchlib.linux_pid(run)
        while sampled and run.returncode is None:
            peak_rss = max(peak_rss, peak_resident(pid))
            sample = private_bytes()
            if sample:
                samples.append(sample)
        run.wait(600)
    if run.returncode != 0 or run.output.count("Uploaded ") != len(files):
        raise RuntimeError("-send failed:\n" + run.output)
    growth = max(samples) - min(samples) if samples else 0
    return run.elapsed, receiver.received - before, growth, peak_rss


def start_up(receiver, empty_win):
    """Seconds of a -send that finds nothing to send: the program's start and end."""
    result = harness.run_varnhold(["-upload", receiver.url, "-send", empty_win], timeout=60)
    if result.returncode != 0:
        raise RuntimeError("-send of an empty folder failed:\n" + result.stdout)
    return result.elapsed


def form(path, boundary):
    """A multipart form with a few text parts and the file, as a crash client sends it."""
    head = b"".join(b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n"
                    % (boundary, name, value)
                    for name, value in ((b"prod", b"vh_target"), (b"ver", b"0.0.0.0"),
                                        (b"signature", b"vh_target:manual")))
    head += (b"--%s\r\nContent-Disposition: form-data; name=\"upload_file_minidump\"; "
             b"filename=\"%s\"\r\nContent-Type: application/octet-stream\r\n\r\n"
             % (boundary, path.name.encode()))
    return head, b"\r\n--%s--\r\n" % boundary


def post_like_varnhold(url, files):
    """The same job in Python: read, form, gzip level 6, POST, one file at a time."""
    started = time.monotonic()
    host, port = re.match(r"http://([^:/]+):(\d+)", url).groups()
    connection = http.client.HTTPConnection(host, int(port))
    connection.connect()
    connection.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    boundary = b"bench-0123456789abcdef"
    for path in files:
        head, tail = form(path, boundary)
        compressor = zlib.compressobj(6, zlib.DEFLATED, 16 + 15)
        pieces = [compressor.compress(head)]
        with open(path, "rb") as dump:
            while True:
                chunk = dump.read(MB)
                if not chunk:
                    break
                pieces.append(compressor.compress(chunk))
        pieces += [compressor.compress(tail), compressor.flush()]
        connection.request("POST", "/submit", body=b"".join(pieces), headers={
            "Content-Type": "multipart/form-data; boundary=" + boundary.decode(),
            "Content-Encoding": "gzip"})
        connection.getresponse().read()
    connection.close()
    return time.monotonic() - started


def write_dump(target, path_win, options):
    result = harness.run_varnhold(options + [str(target.pid), path_win], timeout=900)
    if result.returncode != 0:
        raise RuntimeError("dump failed:\n" + result.stdout)



def measure(receiver, folder_win, files, count):
    sends = [send(receiver, folder_win, files) for _ in range(count)]
    pythons = [post_like_varnhold(receiver.url, files) for _ in range(count)]
    sampled = send(receiver, folder_win, files, sampled=True)
    return sends, pythons, sampled


def save(name, title, files, measured, startup, target, met):
    sends, pythons, sampled = measured
    size = sum(p.stat().st_size for p in files)
    seconds = benchlib.median([s[0] for s in sends])
    python = benchlib.median(pythons)
    ratio = (seconds - startup) / python
    growth = sampled[2]
    benchlib.save(name, {
        "title": title % (size / MB, sends[0][1] / MB),
        "value": "%.2f s, %.2f s without the start-up of %.2f s; private bytes grew %.1f MB, "
                 "peak resident %.1f MB" % (seconds, seconds - startup, startup, growth / MB,
                                            sampled[3] / MB),
        "baseline": "Python, gzip level 6 and multipart, one POST per file: %.2f s" % python,
        "ratio": "%.2fx" % ratio,
        "target": target,
        "met": met(ratio, growth),
        "runs": {"send": [[round(x, 3) for x in s] for s in sends],
                 "python": [round(x, 3) for x in pythons], "startup": round(startup, 3)},
    })


def main():
    count = benchlib.runs(3)
    receiver = Receiver()
    try:
        with harness.DumpDir("bench-mini") as minis, harness.DumpDir("bench-full") as full, \
                harness.DumpDir("bench-empty") as empty:
            startup = benchlib.median([start_up(receiver, empty.win) for _ in range(count)])
            with harness.Target(["sleep:600000"]) as target:
                first, first_win = minis.file("mini_0.dmp")
                write_dump(target, first_win, [])
            files = [first]
            for i in range(1, MINI_COPIES):
                copy = minis.path / ("mini_%d.dmp" % i)
                shutil.copyfile(first, copy)
                files.append(copy)
            save("upload_send_mini", "-send of 20 mini dumps over loopback (%.1f MB, %.1f MB sent)",
                 files, measure(receiver, minis.win, files, count), startup, "<= 1.2x Python",
                 lambda ratio, growth: ratio <= 1.2)

            with harness.Target(["rw:%d" % TARGET_MB, "sleep:600000"]) as target:
                target.wait_for_line("alloc ", 120)
                dump, dump_win = full.file("full.dmp")
                write_dump(target, dump_win, ["-ma"])
            save("upload_send_full",
                 "-send of one -ma dump of a 300 MB target (%.0f MB, %.1f MB sent)", [dump],
                 measure(receiver, full.win, [dump], count), startup,
                 "<= 1.2x Python, private bytes growth <= 16 MB",
                 lambda ratio, growth: ratio <= 1.2 and growth <= 16 * MB)
    finally:
        receiver.close()


if __name__ == "__main__":
    main()
