"""Hand-over: wall time of a manual dump of a 64-bit target through the
32-bit build (which writes out its 64-bit build, runs it and deletes it)
against the same dump by the 64-bit build directly. Both are whole program
runs, Wine start included, taken in turns on a fresh target per pair."""

import benchlib
from benchlib import harness


def timed(bits, target, dumps, name):
    result = harness.run_varnhold([str(target.pid), dumps.file(name)[1]], bits=bits, timeout=120)
    if result.returncode != 0 or "Dump written." not in result.stdout:
        raise RuntimeError("dump failed:\n" + result.stdout)
    return result.elapsed


def main():
    count = benchlib.runs(9)
    direct, handed = [], []
    with harness.DumpDir("bench") as dumps:
        for i in range(count):
            # A fresh target for each pair, and the order of the pair taken
            # in turns: the time of a dump of the same process drifts.
            with harness.Target(["sleep:600000"]) as target:
                pair = [(64, direct, "d%d.dmp" % i), (32, handed, "h%d.dmp" % i)]
                for bits, times, name in (pair if i % 2 == 0 else pair[::-1]):
                    times.append(timed(bits, target, dumps, name))
    benchlib.save_ratio("handover", "Hand-over (32-bit build dumping a 64-bit target)", handed,
                        direct, "64-bit build directly", ("32-bit", "64-bit"))


if __name__ == "__main__":
    main()
