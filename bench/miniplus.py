"""MiniPlus region scan of a target with 20,000 allocations (one committed
page each): the scan alone, timed by tests/fixtures/bench_tools/region_scan
running the console program's own scan code, against the mini dump of the
same target; and the dump sizes mini / MiniPlus / full of that target. Dump
times are from "Writing dump file" to "Dump written.", without the program
start."""

import benchlib
from benchlib import harness

ALLOCATIONS = 20000


def dump(target, dumps, options, name):
    path, win = dumps.file(name)
    run = harness.start_varnhold(options + [str(target.pid), win])
    with run:
        started = benchlib.line_time(run, "Writing dump file")
        ended = benchlib.line_time(run, "Dump written.", 600)
        run.wait(60)
    size = path.stat().st_size
    harness.read_dump(path)
    path.unlink()
    return ended - started, size


def main():
    count = benchlib.runs(5)
    with harness.Target(["allocs:%d" % ALLOCATIONS, "sleep:600000"]) as target, \
            harness.DumpDir("bench") as dumps:
        made = int(target.wait_for_line("allocs ", 120).split()[1])
        scanner = harness.WineProcess(harness.fixture("region_scan.exe"),
                                      [str(target.pid), str(count)])
        with scanner:
            scanner.wait(300)
            scans = [line.split() for line in scanner.output.splitlines()
                     if line.startswith("scan-ms ")]
        scan_ms = [float(s[1]) for s in scans]
        entries = int(scans[-1][3])
        mini = [dump(target, dumps, [], "m%d.dmp" % i) for i in range(count)]
        plus = [dump(target, dumps, ["-mp"], "p%d.dmp" % i) for i in range(count)]
        full = dump(target, dumps, ["-ma"], "f.dmp")
    mini_s = benchlib.median([t for t, _ in mini])
    plus_s = benchlib.median([t for t, _ in plus])
    scan_s = benchlib.median(scan_ms) / 1000
    benchlib.save("miniplus", {
        "title": "MiniPlus region scan (%d allocations, %d map entries)" % (made, entries),
        "value": "scan %.3f s; MiniPlus dump %.2f s" % (scan_s, plus_s),
        "baseline": "mini dump %.2f s" % mini_s,
        "ratio": "scan %.2fx, dump %.2fx of the mini dump" % (scan_s / mini_s, plus_s / mini_s),
        "target": "-",
        "met": None,
        "sizes": "mini %.1f MB / MiniPlus %.1f MB / full %.1f MB" % (
            mini[0][1] / 1e6, plus[0][1] / 1e6, full[1] / 1e6),
        "runs": {"scan-ms": scan_ms, "mini": mini, "miniplus": plus, "full": full},
    })


if __name__ == "__main__":
    main()
