"""Shared pieces of the benchmarks: the Wine harness of the end-to-end tests,
medians, CPU time from /proc, and one JSON result file per benchmark under
build/bench/ that bench/report.py turns into the table in DEVELOPING.md."""

import json
import os
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

RESULTS = ROOT / "build" / "bench"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def runs(default):
    """Number of runs of each measurement; BENCH_RUNS overrides it."""
    return int(os.environ.get("BENCH_RUNS", default))


def median(values):
    return statistics.median(values)


def linux_pid(proc, image=None):
    """The Linux process of a Windows program started through the harness."""
    image = image or proc.image
    # Through Wine's 64-bit loader alone a program's Linux command line is the
    # path it was started with rather than its Windows name.
    prefixes = (harness.win_path(image).lower(), str(image).lower())
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        for pid, cmdline in proc.windows_processes():
            if cmdline.lower().startswith(prefixes):
                return pid
        time.sleep(0.1)
    raise RuntimeError("no Linux process for %s" % image)


def cpu_seconds(pid):
    """User plus system time of a Linux process (all its threads), in seconds."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # Fields 14 and 15 of the whole line: utime, stime; here after the name.
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def cpu_ns(pid):
    """Time on a processor of all present threads of a Linux process."""
    total = 0
    for task in Path("/proc/%d/task" % pid).iterdir():
        try:
            total += int((task / "schedstat").read_text().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return total


def shares_of_a_watch(run, seconds):
    """Shares of one core, in percent, of the running monitor and of the
    wineserver over the next seconds (after two more of start-up); then
    presses Ctrl+C and waits for the monitor's end."""
    time.sleep(2)  # past the start-up and the first samples
    processes = [linux_pid(run), wineserver_pid()]
    before = [cpu_ns(p) if p else 0 for p in processes]
    started = time.monotonic()
    time.sleep(seconds)
    after = [cpu_ns(p) if p else 0 for p in processes]
    elapsed = time.monotonic() - started
    if run.returncode is not None:
        raise RuntimeError("the monitor ended early:\n" + run.output)
    run.ctrl_c()
    run.wait(60)
    return [(a - b) / 1e9 / elapsed * 100 for a, b in zip(after, before)]


def wineserver_pid():
    """The wineserver serving this project's prefix, or None."""
    prefix = harness.wine_environment()["WINEPREFIX"]
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as f:
                if not f.read().startswith("wineserver"):
                    continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=%s" % prefix).encode() in env:
            return int(entry)
    return None


def save(name, result):
    RESULTS.mkdir(parents=True, exist_ok=True)
    result["measured"] = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    (RESULTS / (name + ".json")).write_text(json.dumps(result, indent=2) + "\n")
    print(json.dumps(result, indent=2), flush=True)


def save_ratio(name, title, measured, baseline, baseline_label, run_labels, limit=1.3):
    """Saves a timing as the ratio of its median to the baseline's median."""
    ratio = median(measured) / median(baseline)
    save(name, {
        "title": title,
        "value": "%.2f s" % median(measured),
        "baseline": "%s %.2f s" % (baseline_label, median(baseline)),
        "ratio": "%.2fx" % ratio,
        "target": "<= %.1fx" % limit,
        "met": ratio <= limit,
        "runs": {run_labels[0]: [round(x, 3) for x in measured],
                 run_labels[1]: [round(x, 3) for x in baseline]},
    })


def line_time(proc, prefix, timeout=120):
    """Waits for the output line and returns the moment it was read."""
    proc.wait_for_line(prefix, timeout)
    return time.monotonic()
