"""-send over loopback: a folder of 20 mini dumps, and one -ma dump of a
target holding 300 MB, each sent to a receiver on 127.0.0.1 that reads the
body and answers like a crash server without parsing it. Times run from the
start of varnhold to its end (Wine's start included). Baseline in the same
run: the same files posted raw (uncompressed, one request each) by Python's
http.client to the same receiver. While the -ma dump is sent, varnhold's
private bytes are sampled as the system counts them
(tests/fixtures/bench_tools/private_bytes), next to the peak while sending
the mini dumps; the peak resident size of its Linux process is shown too."""

import http.client
import http.server
import re
import shutil
import socket
import subprocess
import threading
import time

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


def send(receiver, path_win, files):
    """One -send run: seconds, bytes on the wire, peak private and resident bytes."""
    for sent in files:
        sent.with_name(sent.name + ".sent").unlink(missing_ok=True)
    before = receiver.received
    run = harness.start_varnhold(["-upload", receiver.url, "-send", path_win])
    with run:
        pid = benchlib.linux_pid(run)
        peak_private = peak_rss = 0
        while run.returncode is None:
            peak_rss = max(peak_rss, peak_resident(pid))
            peak_private = max(peak_private, private_bytes() or 0)
        run.wait(600)
    if run.returncode != 0 or run.output.count("Uploaded ") != len(files):
        raise RuntimeError("-send failed:\n" + run.output)
    return run.elapsed, receiver.received - before, peak_private, peak_rss


def post_raw(url, files):
    """The same files posted raw, one request each: seconds."""
    started = time.monotonic()
    host, port = re.match(r"http://([^:/]+):(\d+)", url).groups()
    connection = http.client.HTTPConnection(host, int(port))
    connection.connect()
    # As curl and WinHTTP do: a request's head and body go out at once.
    connection.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for path in files:
        with open(path, "rb") as body:
            connection.request("POST", "/submit", body=body,
                               headers={"Content-Length": str(path.stat().st_size),
                                        "Content-Type": "application/octet-stream"})
        connection.getresponse().read()
    connection.close()
    return time.monotonic() - started


def write_dump(target, path_win, options):
    result = harness.run_varnhold(options + [str(target.pid), path_win], timeout=900)
    if result.returncode != 0:
        raise RuntimeError("dump failed:\n" + result.stdout)


def measure(receiver, folder_win, files, count):
    sends = [send(receiver, folder_win, files) for _ in range(count)]
    raws = [post_raw(receiver.url, files) for _ in range(count)]
    return sends, raws


def save(name, title, files, sends, raws, note="", extra=None):
    size = sum(p.stat().st_size for p in files)
    seconds = benchlib.median([s[0] for s in sends])
    raw = benchlib.median(raws)
    result = {
        "title": title % (size / MB, sends[0][1] / MB),
        "value": "%.2f s (%.1f MB/s of dump)%s" % (seconds, size / MB / seconds, note),
        "baseline": "raw POST of the same bytes (Python) %.2f s (%.0f MB/s)"
                    % (raw, size / MB / raw),
        "ratio": "%.1fx" % (seconds / raw),
        "target": "-",
        "met": None,
        "runs": {"send": [[round(x, 3) for x in s] for s in sends],
                 "raw": [round(x, 3) for x in raws]},
    }
    result.update(extra or {})
    benchlib.save(name, result)


def main():
    count = benchlib.runs(3)
    receiver = Receiver()
    try:
        with harness.DumpDir("bench-mini") as minis, harness.DumpDir("bench-full") as full:
            with harness.Target(["sleep:600000"]) as target:
                first, first_win = minis.file("mini_0.dmp")
                write_dump(target, first_win, [])
            files = [first]
            for i in range(1, MINI_COPIES):
                copy = minis.path / ("mini_%d.dmp" % i)
                shutil.copyfile(first, copy)
                files.append(copy)
            mini_sends, mini_raws = measure(receiver, minis.win, files, count)
            mini_private = max(s[2] for s in mini_sends)

            with harness.Target(["rw:%d" % TARGET_MB, "sleep:600000"]) as target:
                target.wait_for_line("alloc ", 120)
                dump, dump_win = full.file("full.dmp")
                write_dump(target, dump_win, ["-ma"])
            full_sends, full_raws = measure(receiver, full.win, [dump], count)
            peak_private = max(s[2] for s in full_sends)
            peak_rss = max(s[3] for s in full_sends)
            save("upload_send_mini", "-send of 20 mini dumps over loopback (%.1f MB, %.1f MB sent)",
                 files, mini_sends, mini_raws)
            note = ("; peak private bytes %.1f MB (20 mini dumps: %.1f MB), peak resident %.1f MB"
                    % (peak_private / MB, mini_private / MB, peak_rss / MB))
            save("upload_send_full",
                 "-send of one -ma dump of a 300 MB target (%.0f MB, %.1f MB sent)", [dump],
                 full_sends, full_raws, note,
                 {"target": "peak private bytes <= 32 MB", "met": peak_private <= 32 * MB})
    finally:
        receiver.close()


if __name__ == "__main__":
    main()
