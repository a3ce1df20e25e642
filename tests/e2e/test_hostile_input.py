"""Hostile command lines against the real console program under Wine: a
thousand random ones (seeded; the seed is printed, and VH_HOSTILE_SEED
replays a run) and a hand-made list of nasty ones. Every run must end by
itself with exit code 0 or 1, write nothing to standard error, and print
exactly one of the program's documented outputs.

Starting Wine costs about half a second, so the command lines run inside one
Wine start through tests/fixtures/cmdline_driver, which starts the program
once per line (a few at a time). The pure scan is covered far more widely by
tests/unit/option_scan_random_test.cpp; these runs add the real entry, the
acquisition, the user library loading, the launch and the console output.

So that no run can start a long job, every target a random line can name does
not exist: names come from a small list of names that no process has, and no
number in a line can read as the identifier of a live process (Wine gives
processes identifiers that are multiples of four). -w (wait for the process)
and -i (register as postmortem debugger, which changes the registry of the
test prefix) are left out of the random lines; their missing values are among
the hand-made ones.
"""

import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

DEFAULT_SEED = 20261207
RANDOM_LINES = 1000
SAMPLE_32_BIT = 150
CASE_TIMEOUT_MS = 15000
# A Windows command line holds at most 32767 characters.
COMMAND_LINE_LIMIT = 32000

NO_SUCH_NAME = "vh_nosuch.exe"
NO_SUCH_PID = "4000001"

OPTIONS = ["?", "64", "b", "c", "cl", "d", "e", "1", "f", "h", "j", "l", "m", "ml", "ma", "mp",
           "n", "o", "p", "pl", "r", "s", "t", "u", "x", "a", "g", "q", "keep", "free",
           "meta", "stack"]
NEAR_OPTIONS = ["-C", "-MA", "--c", "-", "/", "-c20", "/X", "-W", "-I", "-?x", "- c", "-e ",
                "\u2013c", "-ma\t"]
NUMBERS = ["0", "1", "3", "5", "7", "99", "255", "65535", "4294967295", "4294967297",
           "99999999999999999999", "18446744073709551615", "18446744073709551617", "-1", "-5",
           "+5", " 7", "7 ", "\t9", "0x1f", "1e3", "5.5", "", "007", "-0", "+-3", "--1",
           "\u0661\u0663", "\uff17"]
NAMES = [NO_SUCH_NAME, NO_SUCH_PID, "nosuch", "system", "SYSTEM", "System.exe", "a b.exe",
         "\u6d4b\u8bd5.exe", "%s%s%s%n%x", "%d", "\\\\?\\Z:\\no\\such.exe", "con", "nul",
         "aux.exe", "..", ".", "Z:\\", "Z:\\no\\such.exe", "*", "?.exe", "a\"b.exe"]
PATHS = ["out.dmp", "Z:\\no\\such\\x.dmp", "a\\b\\c.dmp", "C:\\", "\\\\?\\C:\\x.dmp", "nul",
         "con.dmp", "o\\p\\x.dmp", "x.dmp\\", "x.", "\\\\server\\share\\x.dmp"]
COUNTERS = ["\\Process(a)\\Handle Count", "\\Processor(_Total)\\% Processor Time",
            "\\Memory\\Available Bytes", "\\Process", "\\process(x)", "\\PROCESSOR", "\\Process("]
LIBRARIES = ["missing.dll", "kernel32.dll", "Z:\\no\\such.dll", "ntdll"]
LENGTHS = [258, 259, 260, 261, 1022, 1023, 1024, 1025, 5000, 10000]
JUNK_ALPHABET = "-/0123456789abcxXeE .:\\%\"'^&|<>()!\t\u00fc\u6d4b\u20ac\u0e01\U0001f600"

SYSTEM_TEXT = r"[^\n]+\n\n?"
CAPTIONS = ["Failed to open process", "Failed to create process", "Failed to load user dll",
            "Failed to get MiniDumpCallbackRoutine address"]
FIXED_MESSAGES = [
    "Filtering requires 1st chance exception monitoring (-e -1).\n",
    "-r  can only be used in Windows 7 and higher\n",
    "The dump file path is too long (at most 259 characters).\n",
    "The argument string of the process to launch is too long (at most 1023 characters).\n",
    "The process name is too long (at most 259 characters).\n",
    "Writing a dump for the System process is not supported.\n",
    "The image file path of the process to launch is too long (at most 259 characters).\n",
    "-keep needs a number of files of at least 1.\n",
]
BANNER_32 = re.compile(r"\A\nvarnhold v[^\n]*\n[^\n]*\n[^\n]*\n\n")


def as_printed(text):
    """The text as the console shows it: a character that code page 936
    lacks is a '?' for each of its UTF-16 units."""
    shown = []
    for c in text:
        try:
            c.encode(harness.CONSOLE_ENCODING)
            shown.append(c)
        except UnicodeEncodeError:
            shown.append(c if c == "\u20ac" else "?" * (2 if ord(c) > 0xFFFF else 1))
    return "".join(shown)


def may_name_a_live_process(text):
    """Whether some number in the text could read as the identifier of a
    running process: wcstoul and %ld read the digits, wrapping or saturating
    at 32 bits; Wine's identifiers are small multiples of four."""
    for digits in re.findall(r"\d+", text):
        for value in (int(digits) % 2 ** 32, min(int(digits), 2 ** 32 - 1),
                      min(int(digits), 2 ** 31 - 1)):
            if 0 < value < 1 << 20 and value % 4 == 0:
                return True
    return False


def random_argument(rng):
    kind = rng.randrange(12)
    if kind <= 3:
        return rng.choice("-/") + rng.choice(OPTIONS)
    if kind == 4:
        return rng.choice(NEAR_OPTIONS)
    if kind in (5, 6):
        return rng.choice(NUMBERS)
    if kind == 7:
        return rng.choice(NAMES + PATHS)
    if kind == 8:
        return rng.choice(COUNTERS + LIBRARIES)
    if kind == 9:
        length = rng.choice(LENGTHS)
        if rng.randrange(2):
            return rng.choice("abxyz") * length
        return ("Z:\\" + "d\\" * length)[:length] + ".dmp"
    if kind == 10:
        return "".join(rng.choice(JUNK_ALPHABET) for _ in range(rng.randrange(14)))
    return str(rng.randrange(1, 2 ** 33) * 4 + rng.choice((1, 2, 3)))


def random_line(rng):
    while True:
        args = [random_argument(rng) for _ in range(rng.randrange(1, 9))]
        if any(may_name_a_live_process(a) for a in args):
            continue
        if len(subprocess.list2cmdline(args)) < COMMAND_LINE_LIMIT:
            return args


def hand_made_cases():
    """(arguments, expected exit code, expected output: a text, a pattern, or
    "usage" / "examples")."""
    name, pid = NO_SUCH_NAME, NO_SUCH_PID
    open_name = "Failed to open process (name): %s\n" % name
    open_pid = "Failed to open process (pid): %s\n" % pid
    create = re.compile(r"Failed to create process: " + SYSTEM_TEXT)
    path_long = FIXED_MESSAGES[2]
    args_long = FIXED_MESSAGES[3]
    name_long = FIXED_MESSAGES[4]
    image_long = FIXED_MESSAGES[6]
    long_name = "n" * 255 + ".exe"  # 259 characters: fits
    cases = [
        # Help and no arguments.
        ([], 1, "usage"),
        (["-?"], 0, "usage"),
        (["/?"], 0, "usage"),
        (["-?", "-e"], 0, "examples"),
        (["/?", "/e"], 0, "examples"),
        (["-?", "-E"], 0, "usage"),
        (["-?", "e"], 0, "usage"),
        # Missing values, at the end and followed by nothing else.
        (["-c"], 1, "usage"),
        (["-cl"], 1, "usage"),
        (["-m"], 1, "usage"),
        (["-ml"], 1, "usage"),
        (["-n"], 1, "usage"),
        (["-s"], 1, "usage"),
        (["-d"], 1, "usage"),
        (["-i"], 1, "usage"),
        (["/i"], 1, "usage"),
        (["-p"], 1, "usage"),
        (["-p", "\\Process(a)\\Handle Count"], 1, "usage"),
        (["-pl", "\\Process(a)\\Handle Count"], 1, "usage"),
        (["-j"], 1, "usage"),
        (["-j", "a.dmp", "13"], 1, "usage"),
        (["-x"], 1, "usage"),
        (["-x", "a.dmp"], 1, "usage"),
        (["-e", "-1", "-f"], 1, "usage"),
        # A usage error after -w or -i ends the run before any waiting or
        # registration.
        (["-w", name, "-c"], 1, "usage"),
        (["-w", "-n", "x", name], 1, "usage"),
        (["-i", "a.dmp", "-s"], 1, "usage"),
        (["-i", "a.dmp", "-f", "x"], 1, FIXED_MESSAGES[0]),
        (["-f"], 1, FIXED_MESSAGES[0]),
        (["-e", "-f", "x", pid], 1, FIXED_MESSAGES[0]),
        (["-1", "-e", pid], 1, "usage"),
        (["-b", "-e", pid], 1, "usage"),
        # Numbers: signs, blanks, other bases, overflow.
        (["-c", "5", name], 1, open_name),
        (["-c", "+5", name], 1, open_name),
        (["-c", " 5", name], 1, open_name),
        (["-c", "5 ", name], 1, "usage"),
        (["-c", "", name], 1, open_name),
        (["-c", "0x10", name], 1, "usage"),
        (["-c", "1e3", name], 1, "usage"),
        (["-c", "5.5", name], 1, "usage"),
        (["-c", "-5", name], 1, "usage"),
        (["-n", "-1", name], 1, "usage"),
        (["-s", "-0", name], 1, "usage"),
        (["-m", "4294967295", name], 1, open_name),
        (["-m", "4294967296", name], 1, "usage"),
        (["-ml", "99999999999999999999", name], 1, "usage"),
        # The runtime's reader takes full-width digits as digits.
        (["-n", "\uff17", name], 1, open_name),
        (["-p", "\\Process(a)\\Handle Count", "18446744073709551615", name], 1, open_name),
        (["-p", "\\Process(a)\\Handle Count", "18446744073709551616", name], 1, "usage"),
        (["-p", "\\Process(a)\\Handle Count", "1 ", name], 1, "usage"),
        (["-p", "\\Memory\\Available Bytes", "1", name], 1, "usage"),
        (["-p", "\\Process", "1", name], 1, "usage"),
        (["-pl", "\\pROCESSOR(_Total)\\% Processor Time", "7", name], 1, open_name),
        (["-j", "a.dmp", "x", "3"], 1, "usage"),
        (["-j", "a.dmp", "4000001", "y"], 1, "usage"),
        (["-j", "a.dmp", "4000001", "3", "zz"], 1, "usage"),
        (["-j", "a.dmp", pid, "3"], 1, open_pid),
        (["-j", "a.dmp", pid + "junk", "3", "0"], 1, open_pid),
        ([pid], 1, open_pid),
        (["+" + pid], 1, open_pid),
        (["99999999999"], 1, "Failed to open process (name): 99999999999\n"),
        (["-7"], 1, "Failed to open process (name): -7\n"),
        # Over-long paths and arguments, at and just past the limits.
        (["n" * 260], 1, name_long),
        (["n" * 10000], 1, name_long),
        ([long_name], 1, "Failed to open process (name): %s\n" % long_name),
        ([name, "Z:\\" + "p" * 252 + ".dmp"], 1, open_name),
        ([name, "Z:\\" + "p" * 253 + ".dmp"], 1, path_long),
        ([name, "p" * 10000], 1, path_long),
        (["-x", "Z:\\" + "p" * 256 + ".dmp", "Z:\\no\\such.exe"], 1, path_long),
        (["-x", "a.dmp", "Z:\\no\\such.exe", "a" * 1023], 1, create),
        (["-x", "a.dmp", "Z:\\no\\such.exe", "a" * 1024], 1, args_long),
        (["-x", "a.dmp", "Z:\\no\\such.exe", "a" * 10000], 1, args_long),
        (["-x", "a.dmp", "Z:\\" + "i" * 252 + ".exe"], 1, create),
        (["-x", "a.dmp", "Z:\\" + "i" * 253 + ".exe"], 1, image_long),
        (["-x", "a.dmp", "Z:\\" + "i" * 10000 + ".exe"], 1, image_long),
        (["-j", "p" * 260, pid, "3"], 1, path_long),
        (["-d", "Z:\\" + "l" * 10000 + ".dll"], 1,
         re.compile(r"Failed to load user dll: " + SYSTEM_TEXT)),
        (["-e", "-1", "-f", "f" * 10000, name], 1, open_name),
        (["-p", "\\Process(" + "c" * 10000 + ")\\x", "1", name], 1, open_name),
        # Values that look like options are values.
        (["-s", "-c", name], 1, "usage"),
        (["-e", "-1", "-f", "-ma", name], 1, open_name),
        (["-x", "-c", "-n", "-o"], 1, create),
        (["-x", "a.dmp", "-?", "-e"], 1, create),
        (["-d", "-e"], 1, re.compile(r"Failed to load user dll: " + SYSTEM_TEXT)),
        (["-d", "kernel32.dll", name], 1,
         re.compile(r"Failed to get MiniDumpCallbackRoutine address: " + SYSTEM_TEXT)),
        # Look-alikes of options are targets or ignored.
        (["-C", "10", name], 1, "Failed to open process (name): -C\n"),
        (["--c", "10"], 1, "Failed to open process (name): --c\n"),
        (["-", "/"], 1, "Failed to open process (name): -\n"),
        # Names that are format texts, quotes, blanks, and the System process.
        (["%s%s%s%n%x"], 1, "Failed to open process (name): %s%s%s%n%x\n"),
        (["a \"b\" c.exe"], 1, "Failed to open process (name): a \"b\" c.exe\n"),
        (["\u6d4b\u8bd5.exe"], 1, "Failed to open process (name): \u6d4b\u8bd5.exe\n"),
        (["\u20ac\u00fc.exe"], 1, "Failed to open process (name): \u20ac\u00fc.exe\n"),
        # Characters the console's code page lacks are shown as '?', and the
        # line goes on after them.
        (["\u0e01\u0e02.exe"], 1, "Failed to open process (name): ??.exe\n"),
        (["\U0001f600x.exe", "-c"], 1, "usage"),
        (["\U0001f600x.exe"], 1, "Failed to open process (name): ??x.exe\n"),
        (["system"], 1, FIXED_MESSAGES[5]),
        (["sYsTeM", "x.dmp"], 1, FIXED_MESSAGES[5]),
        (["-ma"], 1, re.compile(r"Failed to open process(: " + SYSTEM_TEXT + r"| \(pid\): 0\n)")),
    ]
    return cases


AEDEBUG_KEY = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"


def postmortem_registration():
    """The postmortem debugger values of both registry views, as text."""
    views = []
    for view in ("/reg:64", "/reg:32"):
        done = subprocess.run(["wine", "reg", "query", AEDEBUG_KEY, view],
                              env=harness.wine_environment(), stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=60)
        views.append(done.stdout.decode("latin-1").replace("\r", ""))
    return views


class DriverRun:
    """One cmdline_driver run: the cases' exit codes and outputs."""

    def __init__(self, bits, cases):
        self.bits = bits
        self.cases = cases
        harness.TMP.mkdir(parents=True, exist_ok=True)
        self.folder = Path(tempfile.mkdtemp(prefix="hostile-", dir=str(harness.TMP)))
        self.out = self.folder / "out"
        (self.folder / "cwd").mkdir()
        self.outcomes, self.leftovers = self._drive(cases, self.out)
        self._run_again_what_never_started()
        self.cwd_files = os.listdir(self.folder / "cwd")

    def _drive(self, cases, out):
        """Runs the cases through one driver start: (outcome by case index,
        processes left running), the outputs in out."""
        out.mkdir()
        lines = [subprocess.list2cmdline(args) for args in cases]
        listing = out / "cases.txt"
        listing.write_bytes(("\n".join(lines) + "\n").encode("utf-8"))
        driver = harness.fixture("cmdline_driver.exe")
        proc = harness.WineProcess(driver, [harness.win_path(harness.exe(self.bits)),
                                            harness.win_path(listing), harness.win_path(out),
                                            "2", str(CASE_TIMEOUT_MS)],
                                   cwd=self.folder / "cwd")
        try:
            proc.wait(timeout=len(cases) * 2 + 60)
            # The driver waits for every program it starts; give the last
            # ones a moment to be gone from /proc.
            deadline = time.monotonic() + 5
            while proc.windows_processes() and time.monotonic() < deadline:
                time.sleep(0.2)
            leftovers = proc.windows_processes()
        finally:
            proc.kill()
        outcomes = {}
        for line in proc.output.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0] == "case":
                outcomes[int(parts[1])] = " ".join(parts[2:])
        return outcomes, leftovers

    def _run_again_what_never_started(self):
        """Wine's loader has (once in the 1100 starts of one run) ended a
        fresh program with STATUS_DLL_INIT_FAILED before any of its code ran,
        with no output at all. Such a start says nothing about the command
        line: it is run once more, and the test says so."""
        status = harness.STATUS_DLL_INIT_FAILED
        for attempt in (1, 2):
            failed = [i for i, outcome in self.outcomes.items()
                      if outcome == "exit %d" % status
                      and not self._raw(self.out, i, "out") and not self._raw(self.out, i, "err")]
            if not failed:
                return
            print("\nhostile input: Wine's loader ended %d start(s) before the program ran "
                  "(0x%08X, no output); running them again" % (len(failed), status), flush=True)
            again = self.folder / ("again-%d" % attempt)
            outcomes, leftovers = self._drive([self.cases[i] for i in failed], again)
            self.leftovers += leftovers
            for new_index, index in enumerate(failed):
                self.outcomes[index] = outcomes.get(new_index)
                for kind in ("out", "err"):
                    shutil.copyfile(again / ("%d.%s" % (new_index, kind)),
                                    self.out / ("%d.%s" % (index, kind)))

    @staticmethod
    def _raw(out, index, kind):
        return (out / ("%d.%s" % (index, kind))).read_bytes()

    def output(self, index):
        text = harness.decode_console(self._raw(self.out, index, "out"))
        if self.bits == 32:
            banner = BANNER_32.match(text)
            if banner is None:
                return None
            text = text[banner.end():]
        return text

    def errors(self, index):
        return self._raw(self.out, index, "err")

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


class HostileCommandLines(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        seed = int(os.environ.get("VH_HOSTILE_SEED", DEFAULT_SEED))
        print("\nhostile input: seed %d (VH_HOSTILE_SEED=%d replays it)" % (seed, seed),
              flush=True)
        cls.registration_before = postmortem_registration()
        rng = random.Random(seed)
        cls.random_lines = [random_line(rng) for _ in range(RANDOM_LINES)]
        cls.hand_made = hand_made_cases()
        help_lines = [["-?"], ["-?", "-e"]]
        cls.runs = {}
        cases64 = help_lines + [c[0] for c in cls.hand_made] + cls.random_lines
        cls.runs[64] = DriverRun(64, cases64)
        sample = rng.sample(cls.random_lines, SAMPLE_32_BIT)
        cls.sample_32 = sample
        cases32 = help_lines + [c[0] for c in cls.hand_made] + sample
        if harness.runs_32_bit():
            cls.runs[32] = DriverRun(32, cases32)
        cls.registration_after = postmortem_registration()

    @classmethod
    def tearDownClass(cls):
        for run in cls.runs.values():
            run.remove()

    def help_texts(self, run):
        usage, examples = run.output(0), run.output(1)
        self.assertEqual("exit 0", run.outcomes.get(0))
        self.assertEqual("exit 0", run.outcomes.get(1))
        self.assertTrue(usage.startswith(
            "Monitors a process and writes a dump file when the process exceeds the\n"
            "specified criteria or has an exception.\n"), usage[:200])
        self.assertIn("\nusage: varnhold.exe [-64] ", usage)
        self.assertIn("\nExamples:", examples)
        return usage, examples

    def documented(self, args, text, code, usage, examples):
        """Why the output is not documented, or None when it is."""
        if text == usage:
            return None if code in (0, 1) else "usage text with exit code %d" % code
        if text == examples:
            return None if code == 0 else "examples text with exit code %d" % code
        if code != 1:
            return "exit code %d" % code
        if text in FIXED_MESSAGES:
            return None
        found = re.fullmatch(r"Failed to open process \(name\): ([^\n]*)\n", text)
        if found:
            # The name is printed whole: one of the arguments, never cut.
            shown = [as_printed(a) for a in args]
            return None if found.group(1) in shown else "a name that is no argument"
        if re.fullmatch(r"Failed to open process \(pid\): -?\d+\n", text):
            return None
        for caption in CAPTIONS:
            if re.fullmatch(re.escape(caption) + ": " + SYSTEM_TEXT, text):
                return None
        return "undocumented output"

    def check_run(self, run):
        usage, examples = self.help_texts(run)
        self.assertEqual([], run.leftovers, "processes left running")
        self.assertEqual([], run.cwd_files, "files written into the working folder")
        bad = []
        for index, args in enumerate(run.cases):
            outcome = run.outcomes.get(index)
            if outcome is None or not outcome.startswith("exit "):
                bad.append((args, outcome or "no outcome", ""))
                continue
            code = int(outcome.split()[1])
            text = run.output(index)
            if text is None:
                bad.append((args, "no banner", ""))
                continue
            if run.errors(index):
                bad.append((args, "standard error", run.errors(index)[:200]))
                continue
            why = self.documented(args, text, code, usage, examples)
            if why:
                bad.append((args, why, text[:300]))
        shown = ["%s: %s\n    %r" % (why, [a if len(a) < 40 else a[:20] + "...(%d)" % len(a)
                                          for a in args], text) for args, why, text in bad[:10]]
        self.assertEqual([], shown, "%d of %d command lines failed" % (len(bad), len(run.cases)))

    def check_hand_made(self, run):
        usage, examples = self.help_texts(run)
        for offset, (args, code, expected) in enumerate(self.hand_made):
            index = offset + 2
            short = [a if len(a) < 40 else a[:10] + "...(%d chars)" % len(a) for a in args]
            with self.subTest(bits=run.bits, args=short):
                self.assertEqual("exit %d" % code, run.outcomes.get(index))
                text = run.output(index)
                self.assertEqual(b"", run.errors(index))
                if expected == "usage":
                    self.assertEqual(usage, text)
                elif expected == "examples":
                    self.assertEqual(examples, text)
                elif isinstance(expected, str):
                    self.assertEqual(expected, text)
                else:
                    self.assertRegex(text, expected)

    def test_random_lines_end_in_documented_outputs_64_bit(self):
        self.check_run(self.runs[64])

    def test_random_lines_end_in_documented_outputs_32_bit_sample(self):
        harness.require_32_bit()
        self.check_run(self.runs[32])

    def test_no_line_changed_the_postmortem_registration(self):
        self.assertEqual(self.registration_before, self.registration_after)
        self.assertIn("AeDebug", self.registration_before[0])

    def test_hand_made_lines_64_bit(self):
        self.check_hand_made(self.runs[64])

    def test_hand_made_lines_32_bit(self):
        harness.require_32_bit()
        self.check_hand_made(self.runs[32])


if __name__ == "__main__":
    unittest.main()
