"""Trigger to dump: from the target's unhandled exception (its "step av"
line, printed just before the fault) to varnhold's "Dump written.", against a
bare MiniDumpWriteDump of the same target in the same state by
tests/fixtures/bench_tools/bare_dump (the time of the call alone)."""

import time

import benchlib
from benchlib import harness


def varnhold_run(dumps, index):
    with harness.Target(["wait-stdin", "av", "sleep:60000"]) as target:
        run = harness.start_varnhold(["-e", str(target.pid), dumps.file("e%d.dmp" % index)[1]])
        with run:
            run.wait_for_line("Dump file:", 30)
            time.sleep(1.5)  # the attach and its breakpoint
            target.send_line()
            fault = benchlib.line_time(target, "step av")
            written = benchlib.line_time(run, "Dump written.")
            run.wait(60)
            return written - fault


def bare_run(dumps, index):
    with harness.Target(["wait-stdin", "sleep:60000"]) as target:
        bare = harness.WineProcess(harness.fixture("bare_dump.exe"),
                                   [str(target.pid), dumps.file("b%d.dmp" % index)[1]])
        with bare:
            line = bare.wait_for_line("dump-ms ", 120)
            bare.wait(30)
            return float(line.split()[1]) / 1000


def main():
    count = benchlib.runs(7)
    ours, bare = [], []
    with harness.DumpDir("bench") as dumps:
        for i in range(count):
            # Taken in turns, so that a drift of the platform's dump time
            # weighs on both alike.
            if i % 2 == 0:
                ours.append(varnhold_run(dumps, i))
                bare.append(bare_run(dumps, i))
            else:
                bare.append(bare_run(dumps, i))
                ours.append(varnhold_run(dumps, i))
    benchlib.save_ratio("trigger_to_dump",
                        "Trigger to dump (unhandled exception to \"Dump written.\")", ours, bare,
                        "bare MiniDumpWriteDump", ("varnhold", "bare"))


if __name__ == "__main__":
    main()
