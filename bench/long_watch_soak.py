"""Long-watch soak: a watch of 100 series of one small dump each on a small
idle target, with -keep 3 and a quiet second between series (-q 1).
Reports the monitor's CPU share outside dump writing (its own time between
"Dump written." and the next "Writing dump file", over that wall time), its
private bytes in the quiet time after series 10 and after series 100 (the
watch asks for one series more, so that it is still there to be measured),
and the dump files left.
Baseline in the same run: the wineserver's share over the same windows."""

import os
import re
import subprocess
import time

import benchlib
from benchlib import harness

SERIES = int(os.environ.get("BENCH_SERIES", "100"))
EARLY = min(10, SERIES)


def private_bytes():
    """The monitor's private committed bytes, as the system counts them."""
    result = subprocess.run(["wine", str(harness.fixture("private_bytes.exe")), "varnhold.exe"],
                            env=harness.wine_environment(), capture_output=True, timeout=60)
    match = re.search(rb"private (\d+)", result.stdout)
    if not match:
        raise RuntimeError("no private bytes: %r %r" % (result.stdout, result.stderr))
    return int(match.group(1))


def main():
    with harness.Target(["sleep:3600000"]) as target, harness.DumpDir("soak") as dumps:
        run = harness.start_varnhold(["-ml", "100000", "-a", str(SERIES + 1), "-q", "1", "-keep",
                                      "3", str(target.pid), dumps.file("soak.dmp")[1]])
        with run:
            monitor = benchlib.linux_pid(run)
            server = benchlib.wineserver_pid()
            quiet_cpu = quiet_server = quiet_wall = 0.0
            memory = {}
            for series in range(1, SERIES + 1):
                run.wait_for_line("Dump written.", 120)
                if series in (EARLY, SERIES):
                    memory[series] = private_bytes()
                before = (time.monotonic(), benchlib.cpu_seconds(monitor),
                          benchlib.cpu_seconds(server) if server else 0.0)
                run.wait_for_line("Writing dump file", 120)
                quiet_wall += time.monotonic() - before[0]
                quiet_cpu += benchlib.cpu_seconds(monitor) - before[1]
                quiet_server += (benchlib.cpu_seconds(server) if server else 0.0) - before[2]
            run.wait(120)
            left = [f for f in dumps.files() if f.endswith(".dmp")]
    share = quiet_cpu / quiet_wall * 100
    growth = (memory[SERIES] - memory[EARLY]) / 1024 / 1024
    benchlib.save("long_watch_soak", {
        "title": "Long watch of %d series with -keep 3 (-ml, -q 1)" % SERIES,
        "value": "%.2f %% of one core outside dump writing; private bytes %.1f MB at series %d, "
                 "%.1f MB at series %d (growth %.2f MB); %d files left"
                 % (share, memory[EARLY] / 1048576, EARLY, memory[SERIES] / 1048576, SERIES,
                    growth, len(left)),
        "baseline": "wineserver %.2f %% in the same windows" % (quiet_server / quiet_wall * 100),
        "ratio": "%.4f of one core" % (share / 100),
        "target": "<= 0.1 %, growth < 1 MB, 3 files",
        "met": share <= 0.1 and growth < 1 and len(left) == 3,
        "runs": {"quiet_seconds": round(quiet_wall, 1), "monitor_cpu": round(quiet_cpu, 3),
                 "private_bytes": memory, "files_left": left},
    })


if __name__ == "__main__":
    main()
