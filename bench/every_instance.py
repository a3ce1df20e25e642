"""-all: the monitor's CPU over 20 idle processes of one name (CPU and
memory triggers armed), next to -m -h over one idle process; and its
resident size after 200 short-lived processes of the name have come and
gone, next to after 10. CPU time comes from the per-thread scheduler
statistics in /proc, the wineserver's beside it (every query of another
process is served by it); the sizes are the Linux process's own peak and
current resident size (VmHWM, VmRSS) and the private bytes the system
counts for it."""

import os
import re
import time

import benchlib
from benchlib import harness
from long_watch_soak import private_bytes

SECONDS = float(os.environ.get("BENCH_SECONDS", "30"))
IDLE = 20
SHORT_LIVED = int(os.environ.get("BENCH_SHORT_LIVED", "200"))
EARLY = 10
AT_ONCE = 5
NEVER = ["-c", "90", "-m", "1000000"]  # never met by an idle process


def pool_image(dumps, name):
    image = dumps.path / name
    image.write_bytes(harness.target_exe(64).read_bytes())
    return image


def every_instance_window():
    with harness.DumpDir("bench") as dumps:
        image = pool_image(dumps, "vh_idle.exe")
        targets = [harness.Target(["sleep:600000"], image=image) for _ in range(IDLE)]
        try:
            run = harness.start_varnhold(NEVER + ["-all", "-w", image.name,
                                                  dumps.file("never.dmp")[1]])
            with run:
                for _ in range(IDLE - 1):
                    run.wait_for_line(re.compile(r"^\[.*\) Watched from now on\.$"), 60)
                return benchlib.shares_of_a_watch(run, SECONDS)
        finally:
            for target in targets:
                target.kill()


def single_window(options, neighbours=0):
    """One idle process watched; with neighbours, that many more idle
    processes of another image run beside it (the list every CPU sample
    reads under Wine is as long as in the -all window)."""
    with harness.Target(["sleep:600000"]) as target, harness.DumpDir("bench") as dumps:
        image = pool_image(dumps, "vh_beside.exe")
        others = [harness.Target(["sleep:600000"], image=image) for _ in range(neighbours)]
        try:
            run = harness.start_varnhold(options + [str(target.pid),
                                                    dumps.file("never.dmp")[1]])
            with run:
                run.wait_for_line("Dump file:", 30)
                return benchlib.shares_of_a_watch(run, SECONDS)
        finally:
            for other in others:
                other.kill()


def memory_of(linux_pid):
    """VmHWM and VmRSS of a Linux process, in kB."""
    values = {}
    with open("/proc/%d/status" % linux_pid) as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmHWM", "VmRSS"):
                values[key] = int(rest.split()[0])
    return values


def exited(run):
    return run.output.count(") The process has exited.\n")


def short_lived_soak():
    """Sizes after EARLY and after SHORT_LIVED processes came and went."""
    with harness.DumpDir("bench") as dumps:
        image = pool_image(dumps, "vh_short.exe")
        lifetime = ["sleep:2500"]  # long enough for a look through the process list
        alive = [harness.Target(lifetime, image=image)]
        started = 1
        run = harness.start_varnhold(["-e"] + NEVER + ["-all", "-w", image.name,
                                                       dumps.file("never.dmp")[1]])
        sizes = {}
        with run:
            run.wait_for_line("Dump file:", 60)
            monitor = benchlib.linux_pid(run)
            while started < SHORT_LIVED or alive:
                for target in [t for t in alive if t.returncode is not None]:
                    target.kill()
                    alive.remove(target)
                while len(alive) < AT_ONCE and started < SHORT_LIVED:
                    alive.append(harness.Target(lifetime, image=image))
                    started += 1
                if EARLY not in sizes and exited(run) >= EARLY:
                    time.sleep(1.5)  # the ended watches let go of
                    sizes[EARLY] = dict(memory_of(monitor), private=private_bytes())
                time.sleep(0.2)
            harness.wait_until(lambda: exited(run) >= SHORT_LIVED, 60, "every process's exit")
            time.sleep(1.5)
            sizes[SHORT_LIVED] = dict(memory_of(monitor), private=private_bytes())
            run.ctrl_c()
            run.wait(60)
        return sizes


def main():
    every, single, alike = [], [], []
    for _ in range(benchlib.runs(3)):
        # Taken in turns, so that a drift of the machine's load weighs on all.
        every.append(every_instance_window())
        single.append(single_window(["-m", "1000000", "-h"]))
        alike.append(single_window(NEVER + ["-h"], IDLE - 1))
    monitor, server = (benchlib.median([s[i] for s in every]) for i in range(2))
    base, base_server = (benchlib.median([s[i] for s in single]) for i in range(2))
    alike_monitor, alike_server = (benchlib.median([s[i] for s in alike]) for i in range(2))
    ratio = monitor / base if base > 0 else float("inf")
    benchlib.save("every_instance_cpu", {
        "title": "-all over %d idle processes (-c -m), %d s" % (IDLE, SECONDS),
        "value": "%.3f %% of one core (wineserver %.3f %%)" % (monitor, server),
        "baseline": "-m -h over one idle process %.3f %% (wineserver %.3f %%); -c -m -h over "
                    "one beside %d idle processes %.3f %% (wineserver %.3f %%)"
                    % (base, base_server, IDLE - 1, alike_monitor, alike_server),
        "ratio": "%.1fx of -m -h, %.2fx of -c -m -h" % (ratio, monitor / alike_monitor),
        "target": "<= 3x of -m -h",
        "met": ratio <= 3,
        "runs": {"every": [[round(x, 4) for x in s] for s in every],
                 "single": [[round(x, 4) for x in s] for s in single],
                 "alike": [[round(x, 4) for x in s] for s in alike]},
    })
    sizes = short_lived_soak()
    early, late = sizes[EARLY], sizes[SHORT_LIVED]
    growth = (late["VmHWM"] - early["VmHWM"]) / 1024
    benchlib.save("every_instance_memory", {
        "title": "-all -e over %d short-lived processes" % SHORT_LIVED,
        "value": "peak resident %.1f MB after %d, %.1f MB after %d (growth %.2f MB); "
                 "resident %.1f / %.1f MB; private bytes %.1f / %.1f MB"
                 % (early["VmHWM"] / 1024, EARLY, late["VmHWM"] / 1024, SHORT_LIVED, growth,
                    early["VmRSS"] / 1024, late["VmRSS"] / 1024,
                    early["private"] / 1048576, late["private"] / 1048576),
        "baseline": "after %d processes" % EARLY,
        "ratio": "%.2f MB" % growth,
        "target": "< 1 MB apart",
        "met": growth < 1,
        "runs": sizes,
    })


if __name__ == "__main__":
    main()
