"""Monitor overhead: CPU time that varnhold itself uses (the Linux process's
own accounting in /proc/<pid>/stat) while it watches an idle target with -c,
-m and -h together, as a share of one core. Baseline, measured in the same
windows: the idle target, a Wine process that does nothing. The wineserver's
time in the same window is shown too, since each query of the monitor is a
call to it."""

import os
import time

import benchlib
from benchlib import harness

SECONDS = float(os.environ.get("BENCH_SECONDS", "30"))


def one_run():
    with harness.Target(["sleep:600000"]) as target, harness.DumpDir("bench") as dumps:
        # Triggers that never fire on an idle target: CPU at or above 90 %,
        # 1,000,000 MB committed, a hung window (the target has none).
        run = harness.start_varnhold(["-c", "90", "-m", "1000000", "-h", str(target.pid),
                                      dumps.file("never.dmp")[1]])
        with run:
            run.wait_for_line("Dump file:", 30)
            time.sleep(2)  # past the start-up
            monitor = benchlib.linux_pid(run)
            idle = benchlib.linux_pid(target)
            server = benchlib.wineserver_pid()
            before = [benchlib.cpu_seconds(p) if p else 0.0 for p in (monitor, idle, server)]
            started = time.monotonic()
            time.sleep(SECONDS)
            after = [benchlib.cpu_seconds(p) if p else 0.0 for p in (monitor, idle, server)]
            elapsed = time.monotonic() - started
            if run.returncode is not None:
                raise RuntimeError("the monitor ended early:\n" + run.output)
            run.ctrl_c()
            run.wait(30)
        return [(a - b) / elapsed * 100 for a, b in zip(after, before)]


def main():
    shares = [one_run() for _ in range(benchlib.runs(3))]
    monitor, idle, server = (benchlib.median([s[i] for s in shares]) for i in range(3))
    benchlib.save("monitor_overhead", {
        "title": "Monitor overhead (-c -m -h, idle target, %d s)" % SECONDS,
        "value": "%.2f %% of one core" % monitor,
        "baseline": "idle Wine process %.2f %%; wineserver %.2f %%" % (idle, server),
        "ratio": "%.4f of one core" % (monitor / 100),
        "target": "<= 0.5 %",
        "met": monitor <= 0.5,
        "runs": [[round(x, 3) for x in s] for s in shares],
    })


if __name__ == "__main__":
    main()
