"""Holds the layers of the product code: reads every #include of the sources
under common/, console/ and gui/ and fails, naming file and line, on an
include that goes against the directions below, on a quoted include of a
file that does not exist, and on two source units that include each other
(a unit is a header with its .cpp)."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# Each layer and the layers it may include besides itself. The one place
# where the directions are written.
ALLOWED = {
    "common": set(),
    "console/report": {"common"},
    "console/options": {"common", "console/report"},
    "console/dumpwriter": {"common", "console/report"},
    "console/dumpfolder": {"common", "console/report", "console/dumpwriter"},
    "console/retention": {"common", "console/report", "console/dumpwriter", "console/dumpfolder"},
    "console/series": {"common", "console/report", "console/dumpwriter", "console/dumpfolder",
                       "console/retention"},
    "console/monitors": {"common", "console/report", "console/options", "console/dumpwriter",
                         "console/dumpfolder", "console/retention", "console/series"},
    "console/postmortem": {"common", "console/report", "console/options"},
    "console/handover": {"common", "console/report", "console/options"},
    "console/upload": {"common", "console/report", "console/dumpwriter", "console/dumpfolder",
                       "console/retention"},
    "console/run": {"common", "console/report", "console/options", "console/dumpwriter",
                    "console/dumpfolder", "console/retention", "console/series", "console/monitors",
                    "console/postmortem", "console/handover", "console/upload"},
    "gui": {"common"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

# The program's raw command line may hold a crash server's key (-upload);
# every text that quotes it (dump comments, metadata, the event log) takes
# the shown one. Only these read the raw line: the one place that shows it,
# and the hand-over, which passes it on whole to the 64-bit build.
RAW_COMMAND_LINE = re.compile(r"\bGetCommandLineW\b")
RAW_COMMAND_LINE_READERS = {"common/shown_command_line.cpp", "console/handover/x64_handover.cpp"}


def layer_of(relative):
    """The layer a path below the root belongs to, or None outside them."""
    text = relative.as_posix()
    for layer in sorted(ALLOWED, key=len, reverse=True):
        if text == layer or text.startswith(layer + "/"):
            return layer
    return None


def product_sources(root):
    for top in ("common", "console", "gui"):
        for path in sorted((root / top).rglob("*")):
            if path.suffix in (".h", ".cpp"):
                yield path


def includes_of(path, root):
    """(line number, included path relative to the root) of each quoted include."""
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        match = INCLUDE.match(line)
        if match:
            yield number, Path(match.group(1))


def unit_of(relative):
    return relative.with_suffix("").as_posix()


def find_cycles(edges):
    """Each cycle of the unit graph once, as a list of units."""
    cycles, state, stack = [], {}, []

    def visit(unit):
        state[unit] = "open"
        stack.append(unit)
        for other in sorted(edges.get(unit, ())):
            if state.get(other) == "open":
                cycles.append(stack[stack.index(other):] + [other])
            elif other not in state:
                visit(other)
        stack.pop()
        state[unit] = "done"

    for unit in sorted(edges):
        if unit not in state:
            visit(unit)
    return cycles


def check(root):
    problems = []
    edges = {}
    where = {}
    for path in product_sources(root):
        relative = path.relative_to(root)
        source_layer = layer_of(relative)
        for number, included in includes_of(path, root):
            place = "%s:%d" % (relative.as_posix(), number)
            # A header the build generates from a template (common/version.h)
            # exists as that template in the source tree.
            generated = (root / included).with_name(included.name + ".in")
            if not (root / included).is_file() and not generated.is_file():
                problems.append("%s: includes %s, which does not exist" % (place, included))
                continue
            target_layer = layer_of(included)
            if target_layer is None:
                problems.append("%s: includes %s, which belongs to no layer" % (place, included))
                continue
            if target_layer != source_layer and target_layer not in ALLOWED[source_layer]:
                problems.append("%s: %s may not include %s (%s)"
                                % (place, source_layer, target_layer, included.as_posix()))
            source_unit, target_unit = unit_of(relative), unit_of(included)
            if source_unit != target_unit:
                edges.setdefault(source_unit, set()).add(target_unit)
                where.setdefault((source_unit, target_unit), place)
    for path in product_sources(root):
        relative = path.relative_to(root).as_posix()
        if relative in RAW_COMMAND_LINE_READERS or not relative.startswith("console/"):
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            if RAW_COMMAND_LINE.search(line):
                problems.append("%s:%d: reads the raw command line; quote ShownCommandLine()"
                                % (relative, number))
    for cycle in find_cycles(edges):
        steps = ", ".join("%s (%s)" % (b, where[(a, b)]) for a, b in zip(cycle, cycle[1:]))
        problems.append("include cycle: %s -> %s" % (cycle[0], steps))
    return problems


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT
    problems = check(root)
    for problem in problems:
        print("layers: " + problem)
    print("layers: %s" % ("%d problem(s)" % len(problems) if problems else "every include "
                          "follows the layer directions"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
