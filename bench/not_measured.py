"""Records that a benchmark could not run on this machine, and why, so that
the benchmark table says so instead of keeping a figure from another machine.

    python3 bench/not_measured.py <name> <title> <reason>"""

import sys

import benchlib


def main():
    name, title, reason = sys.argv[1:4]
    benchlib.save(name, {"title": title, "value": "not measured: " + reason, "baseline": "-",
                         "ratio": "-", "target": "-", "met": None, "runs": {}})


if __name__ == "__main__":
    main()
