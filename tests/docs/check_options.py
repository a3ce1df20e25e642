#!/usr/bin/env python3
"""Keeps the option documentation in step with the program.

Reads the options the scan accepts (kOptions in console/options/option_scan.cpp)
and the ones a registration carries (kContentOptions and kBoundOptions in
console/postmortem/registered_line.cpp), and checks that
- every option appears in the usage text (console/options/usage_text.cpp),
- every option has a row in README.md's option table, and no other does,
- the table marks exactly the carried options as carried ("yes"),
- the usage text's two lists of carried options name exactly those.
Prints one line per fault, naming the option and the place; exit code 1 on
any. `--self-test` checks that the checks catch what they should."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
OPTION_SCAN = ROOT / "console/options/option_scan.cpp"
REGISTERED_LINE = ROOT / "console/postmortem/registered_line.cpp"
USAGE_TEXT = ROOT / "console/options/usage_text.cpp"
README = ROOT / "README.md"

# The usage text's paragraph that lists everything -i carries, and the
# postmortem paragraph's sentence on the bounds registered with it.
CARRIED_LIST = re.compile(r"Carried into the registration:(.*?)Any other option", re.S)
BOUNDS_SENTENCE = re.compile(r"writes <image>_<pid>_<yyMMdd>_<HHmmss>\.dmp\.(.*?)are registered",
                             re.S)
OPTION_TOKEN = re.compile(r"(?<![\w-])-(\?|\w+)")


def table_block(source, name):
    match = re.search(r"\b%s\[\]\s*=\s*\{(.*?)\n\};" % name, source, re.S)
    if not match:
        raise SystemExit("check_options: no table %s found" % name)
    return match.group(1)


def scanned_options(source):
    return re.findall(r'^    \{L"([^"]+)"', table_block(source, "kOptions"), re.M)


def carried_options(source):
    names = []
    for table in ("kContentOptions", "kBoundOptions"):
        names += re.findall(r'\{L" -(\w+)"', table_block(source, table))
    return names


def usage_text(source):
    """The usage text (kUsage) as the program prints it."""
    macros = dict(re.findall(r"#define (\w+)((?:.*\\\n)*.*)", source))
    body = re.search(r"const char kUsage\[\] =(.*?);\n", source, re.S).group(1)
    for name, value in macros.items():
        body = body.replace(name, value.replace("\\\n", ""))
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', body)
    return "".join(literals).encode().decode("unicode_escape")


def readme_table(text):
    """Option name -> carried, from the rows of the "## Options" table."""
    section = text.split("\n## Options\n", 1)[1].split("\n## ", 1)[0]
    rows = {}
    for line in section.splitlines():
        match = re.match(r"^\| `-([^`]+)` \|(.*)\|\s*$", line)
        if match:
            rows[match.group(1)] = match.group(2).split("|")[-1].strip().startswith("yes")
    return rows


def tokens(text):
    return {match.group(1) for match in OPTION_TOKEN.finditer(text)}


def faults(options, carried, usage, readme):
    found = []
    usage_tokens = tokens(usage)
    for name in options:
        if name not in usage_tokens:
            found.append("-%s: not in the usage text (%s)" % (name, USAGE_TEXT.name))
    rows = readme_table(readme)
    for name in options:
        if name not in rows:
            found.append("-%s: no row in the option table of README.md" % name)
        elif rows[name] != (name in carried):
            found.append("-%s: README.md's option table marks it %s" %
                         (name, "carried, but -i does not carry it" if rows[name]
                          else "not carried, but -i carries it"))
    for name in sorted(set(rows) - set(options)):
        found.append("-%s: a row in README.md's option table, but no such option" % name)
    lists = [("the usage text's \"Carried into the registration\" list", CARRIED_LIST,
              set(carried)),
             ("the usage text's sentence on what is registered with -i", BOUNDS_SENTENCE,
              set(carried) - {"ma", "mp", "d"})]
    for place, pattern, expected in lists:
        match = pattern.search(usage)
        if not match:
            found.append("%s is missing" % place)
            continue
        listed = tokens(match.group(1)) - {"i"}
        found += ["-%s: carried by -i, missing from %s" % (n, place) for n in sorted(expected - listed)]
        found += ["-%s: in %s, but -i does not carry it" % (n, place) for n in sorted(listed - expected)]
    return found


def inputs():
    return (scanned_options(OPTION_SCAN.read_text()), carried_options(REGISTERED_LINE.read_text()),
            usage_text(USAGE_TEXT.read_text()), README.read_text())


def self_test():
    options, carried, usage, readme = inputs()
    assert not faults(options, carried, usage, readme)
    cases = [
        (options + ["zz"], carried, usage, readme, ["-zz: not in the usage text", "-zz: no row"]),
        (options, carried, usage, readme.replace("| `-keep` |", "| `-kept` |"),
         ["-keep: no row", "-kept: a row"]),
        (options, carried + ["stack"], usage, readme,
         ["-stack: README.md's option table marks it not carried",
          "-stack: carried by -i, missing from the usage text's \"Carried"]),
        (options, [c for c in carried if c != "rate"], usage, readme,
         ["-rate: README.md's option table marks it carried", "-rate: in the usage text's"]),
    ]
    for case_options, case_carried, case_usage, case_readme, expected in cases:
        found = faults(case_options, case_carried, case_usage, case_readme)
        for start in expected:
            assert any(f.startswith(start) for f in found), (start, found)
    print("check_options: self-test passed")


def main():
    if "--self-test" in sys.argv:
        self_test()
        return 0
    options, carried, usage, readme = inputs()
    if len(options) < 30 or len(carried) < 5:
        print("check_options: read only %d options and %d carried ones; did a table change "
              "its shape?" % (len(options), len(carried)))
        return 1
    found = faults(options, carried, usage, readme)
    for fault in found:
        print("check_options: " + fault)
    if not found:
        print("check_options: %d options, %d carried into -i: usage text and README.md agree" %
              (len(options), len(carried)))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
