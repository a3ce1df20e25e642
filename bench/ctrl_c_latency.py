"""Ctrl+C latency: from the Ctrl+C (SIGINT to the console program's Linux
process) to the end of the program, while it samples an idle target once a
second. The moment of the press is spread over the sampling second, so the
median covers where the sampling thread happens to be. Baseline, in the same
run: the same program's end when it has nothing to wait for (a usage error),
which is what starting and ending a Wine process costs here."""

import random
import time

import benchlib
from benchlib import harness


def one_press(rng):
    with harness.Target(["sleep:600000"]) as target, harness.DumpDir("bench") as dumps:
        run = harness.start_varnhold(["-m", "1000000", str(target.pid),
                                      dumps.file("never.dmp")[1]])
        with run:
            run.wait_for_line("Dump file:", 30)
            time.sleep(1.0 + rng.random())  # somewhere in a later sampling second
            pressed = time.monotonic()
            run.ctrl_c()
            run.wait(30)
            return time.monotonic() - pressed


def bare_exit():
    started = time.monotonic()
    harness.run_varnhold(["-n"], timeout=30)
    return time.monotonic() - started


def main():
    rng = random.Random(7)
    presses = [one_press(rng) for _ in range(benchlib.runs(10))]
    bare = [bare_exit() for _ in range(benchlib.runs(10))]
    value = benchlib.median(presses)
    benchlib.save("ctrl_c_latency", {
        "title": "Ctrl+C to the end of the program (idle target, -m)",
        "value": "%.2f s" % value,
        "baseline": "start and end of a usage error %.2f s" % benchlib.median(bare),
        "ratio": "-",
        "target": "<= 0.3 s",
        "met": value <= 0.3,
        "runs": {"presses": [round(x, 3) for x in presses], "bare": [round(x, 3) for x in bare]},
    })


if __name__ == "__main__":
    main()
