"""The console program up to the end of its command-line scan, both builds:
help texts, usage errors and the refusals that end a run before any target is
looked at."""

import re
import unittest

import harness

BANNER = ("\nvarnhold v1.0 - Writes process dump files.\n"
          "Copyright (C) 2026 The varnhold project. All rights reserved.\n"
          "The varnhold project - https://varnhold.example.org\n\n")

DESCRIPTION = ("Monitors a process and writes a dump file when the process exceeds the\n"
               "specified criteria or has an exception.\n")
SYNOPSIS = ("usage: varnhold.exe [-64] [[-c|-cl CPU usage] [-u] [-s seconds]] [-n exceeds] "
            "[-e [-1 [-b] [-f filter]] [-h] [-l] [-m|-ml commit usage] [-ma | -mp] [-o] "
            "[-p|-pl counter threshold] [-r] [-t] [-d <callback DLL>] <[-w] <process name or "
            "PID> [dump file] | -i <dump file> | -x <dump file> <image file> [arguments] >\n")
OPTION_ORDER = ["-64", "-b", "-c", "-cl", "-d", "-e", "-f", "-h", "-i", "-l", "-m", "-ml",
                "-ma", "-mp", "-n", "-o", "-p", "-pl", "-r", "-s", "-t", "-u", "-w", "-x"]
LATER_OPTIONS = ["-a", "-g", "-q", "-keep", "-free", "-rate", "-all", "-meta", "-log", "-stack",
                 "-upload", "-send"]
USAGE_CLOSING = ("\nUse -? -e to see example command lines.\n\n"
                 "If you omit the dump file name, it defaults to "
                 "<processname>_<pid>_<datetime>.dmp.\n\n")
POSTMORTEM_PARAGRAPH = (
    "Postmortem debugger registration:\n"
    "   -i      Without a process name or PID, varnhold only registers itself\n"
    "           and ends: exit code 0 when every registry value was written,\n"
    "           1 otherwise. The Debugger and Auto values it replaces are kept.\n"
    "           Every crash gets a dump of its own: when the dump file is there,\n"
    "           the next free numbered name is taken. A dump file ending in \\\n"
    "           (or an existing folder) is a dump folder, where each crash\n"
    "           writes <image>_<pid>_<yyMMdd>_<HHmmss>.dmp. -keep, -free,\n"
    "           -meta, -rate, -log and -upload, given with -i, are registered\n"
    "           too.\n"
    "   -iu     Undo the registration: put the kept values back, or delete\n"
    "           varnhold's values when none were kept. Exit code 1 when\n"
    "           varnhold is not the registered postmortem debugger.\n\n")

# What the usage text adds after the registration's paragraph.
CLOSING_HEADINGS = ["Registration notes:", "Notes:"]

FILTER_MESSAGE = "Filtering requires 1st chance exception monitoring (-e -1).\n"
DUMP_PATH_TOO_LONG = "The dump file path is too long (at most 259 characters).\n"
NAME_TOO_LONG = "The process name is too long (at most 259 characters).\n"
ARGUMENTS_TOO_LONG = ("The argument string of the process to launch is too long "
                      "(at most 1023 characters).\n")

MISSING_LIBRARY = harness.BUILD / "e2e-tmp" / "no such library.dll"
# A real library without the export the option asks for.
LIBRARY_WITHOUT_EXPORT = "C:\\windows\\system32\\version.dll"


def plain(text):
    """The system's error texts end in CRLF of their own, which the console
    turns into CR CR LF; compare them without carriage returns."""
    return text.replace("\r", "")


class BothBuilds(unittest.TestCase):
    def run_both(self, args, check):
        """Runs both builds and calls check(returncode, output) with the output
        of the 32-bit build stripped of its banner."""
        for bits in (64, 32):
            with self.subTest(build=bits, args=args):
                result = harness.run_varnhold(args, bits=bits, timeout=30)
                out = plain(result.stdout)
                if bits == 32:
                    self.assertTrue(out.startswith(BANNER), out[:300])
                    self.assertEqual(out.count("varnhold v1.0"), 1)
                    out = out[len(BANNER):]
                else:
                    self.assertNotIn("varnhold v1.0", out)
                check(result.returncode, out)


class HelpTexts(BothBuilds):
    def check_usage(self, out):
        self.assertTrue(out.startswith(DESCRIPTION + "\n" + SYNOPSIS + "\n"), out[:400])
        self.assertIn(USAGE_CLOSING, out, out[-300:])
        body, later = out[len(DESCRIPTION + "\n" + SYNOPSIS + "\n"):].split(USAGE_CLOSING)
        self.assertEqual(self.options_of(body), OPTION_ORDER)
        # The later options come in paragraphs of their own after the closing
        # lines, the postmortem registration's last; notes follow it.
        self.assertIn("\n" + POSTMORTEM_PARAGRAPH, later, later[-700:])
        later, closing = later.split("\n" + POSTMORTEM_PARAGRAPH)
        later += "\n"
        self.check_closing(closing)
        headings = re.findall(r"^\S.*:$", later, re.MULTILINE)
        self.assertEqual(["Long watches:", "Every instance:", "Reports:", "Crash server:"],
                         headings)
        self.assertTrue(later.startswith("Long watches:\n") and later.endswith("\n\n"), later)
        self.assertEqual(self.options_of(re.sub(r"^\S.*:\n", "", later, flags=re.MULTILINE)),
                         LATER_OPTIONS)

    def check_closing(self, closing):
        self.assertEqual(CLOSING_HEADINGS, re.findall(r"^\S.*:$", closing, re.MULTILINE))
        self.assertTrue(closing.endswith(".\n\n"), closing[-200:])
        notes = closing.split("Notes:\n")
        self.assertEqual(["-i", "-j"], self.options_of(notes[0].split(":\n", 1)[1]))
        for line in notes[1].strip("\n").split("\n"):
            self.assertRegex(line, r"^   \S.{0,75}$")

    def options_of(self, body):
        options = []
        for line in body.split("\n"):
            if not line:
                continue
            match = re.match(r"^   (-\w+) +(\S.*)$", line)
            if match:
                options.append(match.group(1))
                # The explanation starts in column 12 (index 11).
                self.assertEqual(line.index(match.group(2)), 11, line)
            else:
                self.assertRegex(line, r"^ {11}\S", "continuation not aligned")
        return options

    def test_usage_for_no_arguments_and_for_help(self):
        for args, code in (([], 1), (["-?"], 0), (["/?"], 0), (["-?", "-x"], 0),
                           (["-?", "-E"], 0)):
            def check(returncode, out):
                self.assertEqual(returncode, code)
                self.check_usage(out)
            self.run_both(args, check)

    def test_examples_after_help_and_e(self):
        for args in (["-?", "-e"], ["/?", "/e"]):
            self.run_both(args, self.check_examples)

    def check_examples(self, returncode, out):
        self.assertEqual(returncode, 0)
        head = DESCRIPTION + "\n" + SYNOPSIS + "\nExamples:\n\n"
        self.assertTrue(out.startswith(head), out[:400])
        examples = re.findall(r"^- .*\n(?:  .*\n)*     C:\\>varnhold .*$", out, re.MULTILINE)
        self.assertEqual(len(examples), 24, out)
        self.assertIn("C:\\>varnhold -h -n 3 -g 10 notepad.exe c:\\dumps\\hang.dmp", examples[14])
        # The later examples: a CPU series, a registration with -rate that
        # uploads, -send, and the undoing of a registration.
        for example, shown in zip(examples[20:], ("-n 3 -g 10", "-rate 6 -upload", "-send",
                                                  "C:\\>varnhold -iu")):
            self.assertIn(shown, example)
        self.assertIn("C:\\>varnhold -ma -i c:\\dumps\\crash.dmp", out)


class Refusals(BothBuilds):
    def test_usage_errors_print_the_usage_and_exit_1(self):
        for args in (["-c"], ["-n", "3x", "1"], ["-1", "-e", "1"], ["-b", "-e", "1"],
                     ["-s", " 3 ", "1"], ["-p", "\\Memory\\Available Bytes", "5", "1"],
                     ["-x", "Z:\\a.dmp"], ["-i", "Z:\\a.dmp", "-iu"]):
            self.run_both(args, self.check_usage_error)

    def check_usage_error(self, returncode, out):
        self.assertEqual(returncode, 1)
        self.assertTrue(out.startswith(DESCRIPTION + "\n" + SYNOPSIS), out[:300])
        self.assertIn(USAGE_CLOSING, out)
        self.assertIn("\n" + POSTMORTEM_PARAGRAPH + CLOSING_HEADINGS[0], out)
        self.assertTrue(out.endswith(".\n\n"), out[-200:])

    def test_messages_that_end_the_scan(self):
        long_path = "Z:\\" + "d" * 256 + ".dmp"
        cases = [
            (["-f", "access", "1"], FILTER_MESSAGE),
            (["-e", "-f", "access", "1"], FILTER_MESSAGE),
            (["1", long_path], DUMP_PATH_TOO_LONG),
            (["-i", long_path], DUMP_PATH_TOO_LONG),
            (["-x", long_path, "Z:\\app.exe"], DUMP_PATH_TOO_LONG),
            (["-x", "Z:\\a.dmp", "Z:\\app.exe", "app.exe " + "a" * 1016], ARGUMENTS_TOO_LONG),
            (["n" * 260 + ".exe"], NAME_TOO_LONG),
            (["-d", harness.win_path(MISSING_LIBRARY), "1"],
             "Failed to load user dll: Module not found.\n\n"),
            (["-d", LIBRARY_WITHOUT_EXPORT, "1"],
             "Failed to get MiniDumpCallbackRoutine address: Procedure not found.\n\n"),
            # Bad crash server URLs end the run before anything is watched;
            # the message never repeats the URL, which may hold a key.
            (["-upload", "ftp://h/x?key=SECRET", "1"],
             "The URL given to -upload is not an http:// or https:// URL.\n"),
            (["-e", "-upload", "https:///x?key=SECRET", "1"],
             "The URL given to -upload names no host.\n"),
            (["-upload", "http://h:0/?key=SECRET", "1"],
             "The URL given to -upload has a port that is not a number from 1 to 65535.\n"),
            (["-upload", "http://h/" + "a" * 2100 + "?key=SECRET", "1"],
             "The URL given to -upload is too long (at most 2083 characters, a host name at "
             "most 253).\n"),
            (["-send", "Z:\\dumps", "1"],
             "-send needs -upload and the URL of the crash server.\n"),
        ]
        for args, message in cases:
            self.run_both(args, lambda code, out, message=message:
                          self.assertEqual((code, out), (1, message)))

    def test_values_that_just_fit_are_taken(self):
        # 259 characters is the longest dump path; 1023 the longest argument
        # string. Both get past the scan and fail later at the missing target.
        fitting_path = "Z:\\" + "d" * 252 + ".dmp"
        self.assertEqual(len(fitting_path), 259)
        for args in ((["4294967295", fitting_path]),
                     (["-x", "Z:\\a.dmp", "Z:\\no such app.exe", "app.exe " + "a" * 1015])):
            self.run_both(args, self.check_past_the_scan)

    def check_past_the_scan(self, returncode, out):
        self.assertEqual(returncode, 1)
        self.assertNotIn("too long", out)
        self.assertFalse(out.startswith(DESCRIPTION), out[:200])


if __name__ == "__main__":
    unittest.main()
