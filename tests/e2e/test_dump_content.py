"""What goes into a dump beyond the flag word: the user callback library (-d),
the MiniPlus dump (-mp) and reflection (-r), with the real console program,
the real test target and callback libraries of our own
(tests/fixtures/callback_libraries, each logging its calls to the file named by
VH_CALLBACK_LOG).

Two things Wine cannot show here. Wine's MiniDumpWriteDump asks the callback
only for modules and threads, never for memory, so the MiniPlus memory cannot
appear in a dump written under Wine; the hand-out itself is tested in the unit
tests by calling the callback as the platform would, against a real target.
Wine has no RtlCreateProcessReflection, so -r always takes the path where the
clone routine is missing; the clone's dump and side file are tested in the unit
tests with the clone routine replaced by one that hands out a real process.
"""

import sys
import unittest
from collections import Counter
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

MODULE_CALLBACK = 0
THREAD_CALLBACK = 1
DEFAULT_FLAGS = 0x41925  # 0x125 and 0x41800: Wine's debug-help exports EnumDirTreeW
FAULT_TEXT = "Exception in registered MiniDumpCallbackRoutine:\nC0000005\n\n"


def library(kind, bits=64):
    return harness.win_path(harness.fixture("vh_callback_%s.dll" % kind, bits))


def written_tail(win):
    return "\n\nWriting dump file %s ...\n" % win


class DumpContentTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("content")
        self.addCleanup(self.dumps.__exit__, None, None, None)
        self.target = harness.Target(["sleep:60000"])
        self.addCleanup(self.target.kill)

    def run_with_library(self, kind, extra=(), name="d.dmp", target=None):
        """Runs -d with that library against the target (of its bitness);
        returns (result, dump path, Windows path, the logged calls as
        (callback type, parameter) pairs)."""
        target = target or self.target
        bits = target.bits
        log = self.dumps.path / (name + ".log")
        path, win = self.dumps.file(name)
        result = harness.run_varnhold(
            list(extra) + ["-d", library(kind, bits), str(target.pid), win], bits=bits,
            env={"VH_CALLBACK_LOG": harness.win_path(log)})
        calls = []
        if log.exists():
            for line in log.read_text().splitlines():
                word, callback_type, param = line.split()
                self.assertEqual("call", word)
                calls.append((int(callback_type), param))
        return result, path, win, calls


class UserCallbackLibrary(DumpContentTest):
    def test_counting_routine_gets_every_callback_and_the_dump_is_written(self):
        # -mp before -d changes nothing: the user's routine takes every call.
        for extra in ((), ("-mp",)):
            with self.subTest(extra=extra):
                result, path, win, calls = self.run_with_library("count", extra,
                                                                 name="c%d.dmp" % len(extra))
                self.assertEqual(0, result.returncode, result.stdout)
                self.assertTrue(harness.without_file_lines(result.stdout).endswith(
                    written_tail(win) + "Dump written.\n"),
                                result.stdout)
                dump = harness.read_dump(path)
                self.assertEqual(DEFAULT_FLAGS, dump.flags)
                self.assertEqual(1, len(dump.thread_ids))
                self.assertGreater(len(dump.module_names), 0)
                kinds = Counter(callback_type for callback_type, _ in calls)
                self.assertEqual(1, kinds[THREAD_CALLBACK], calls)
                self.assertGreaterEqual(kinds[MODULE_CALLBACK], len(dump.module_names))
                self.assertEqual({"null"}, {param for _, param in calls})

    def test_routine_faulting_on_its_first_call_is_reported_and_the_dump_finishes(self):
        for bits in (64, 32):
            with self.subTest(bits=bits):
                target = self.target
                if bits == 32:
                    target = harness.Target(["sleep:60000"], bits=32)
                    self.addCleanup(target.kill)
                result, path, win, calls = self.run_with_library("fault", name="f%d.dmp" % bits,
                                                                 target=target)
                self.assertEqual(0, result.returncode, result.stdout)
                self.assertTrue(harness.without_file_lines(result.stdout).endswith(
                    written_tail(win) + FAULT_TEXT + "Dump written.\n"), result.stdout)
                self.assertEqual(1, result.stdout.count("Exception in registered"))
                dump = harness.read_dump(path)
                self.assertEqual(DEFAULT_FLAGS, dump.flags)
                # The callbacks after the fault still reach the routine and
                # count: Wine asks for the thread first, and the FALSE given
                # for that faulted call leaves the thread out.
                self.assertGreater(len(calls), 1)
                self.assertEqual(THREAD_CALLBACK, calls[0][0])
                self.assertEqual([], dump.thread_ids)
                self.assertGreater(len(dump.module_names), 0)

    def test_routine_returning_false_has_its_answer_passed_on(self):
        result, path, win, calls = self.run_with_library("false", ("-mp",))
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertTrue(harness.without_file_lines(result.stdout).endswith(
            written_tail(win) + "Dump written.\n"))
        dump = harness.read_dump(path)
        self.assertEqual(DEFAULT_FLAGS, dump.flags)
        # Wine leaves out every thread and module the callback refused.
        self.assertEqual([], dump.thread_ids)
        self.assertEqual([], dump.module_names)
        self.assertIn(THREAD_CALLBACK, [callback_type for callback_type, _ in calls])

    def test_library_without_the_routine_or_missing_ends_the_run(self):
        result, path, _, calls = self.run_with_library("noexport")
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertRegex(result.stdout, r"^Failed to get MiniDumpCallbackRoutine address: \S.*\n")
        self.assertEqual([], calls)
        self.assertEqual([], [name for name in self.dumps.files() if name.endswith(".dmp")])

        missing = harness.win_path(self.dumps.path / "none.dll")
        result = harness.run_varnhold(["-d", missing, str(self.target.pid),
                                       self.dumps.file("m.dmp")[1]])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertRegex(result.stdout, r"^Failed to load user dll: \S.*\n")
        self.assertEqual([], [name for name in self.dumps.files() if name.endswith(".dmp")])


class MiniPlus(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dumps = harness.DumpDir("miniplus")
        cls.target = harness.Target(["rw:64", "sleep:60000"])
        cls.alloc = [int(word, 16) for word in cls.target.wait_for_line("alloc ").split()[1:]]
        cls.path, cls.win = cls.dumps.file("mp.dmp")
        cls.result = harness.run_varnhold(["-mp", str(cls.target.pid), cls.win])

    @classmethod
    def tearDownClass(cls):
        cls.target.kill()
        cls.dumps.__exit__(None, None, None)

    def test_mini_plus_writes_a_valid_dump_with_the_plain_flag_word(self):
        self.assertEqual(0, self.result.returncode, self.result.stdout)
        self.assertTrue(harness.without_file_lines(self.result.stdout).endswith(
            written_tail(self.win) + "Dump written.\n"))
        dump = harness.read_dump(self.path)
        self.assertEqual(DEFAULT_FLAGS, dump.flags)
        self.assertEqual(1, len(dump.thread_ids))
        self.assertIsNone(dump.stream(harness.minidump.MEMORY64_LIST_STREAM))

    def test_mini_plus_memory_is_in_the_dump(self):
        base, size = self.alloc
        dump = harness.read_dump(self.path)
        ranges = dump.memory_list.ranges if dump.memory_list else []
        covered = any(r.start <= base and base + size <= r.start + r.size for r in ranges)
        if not covered:
            self.skipTest("Wine's MiniDumpWriteDump never asks the callback for memory, so the "
                          "MiniPlus ranges cannot show in a dump written here (the hand-out is "
                          "unit-tested against a real target)")
        self.assertTrue(covered)


class Reflection(DumpContentTest):
    def test_reflect_without_the_clone_routine_writes_only_the_live_dump(self):
        # Wine has no RtlCreateProcessReflection: the live dump gets exactly the
        # small default content and nothing else is written or printed.
        cases = ((("-r",), "app.dmp", ["app.dmp"]),
                 (("-r", "-ma"), "full.dmp", ["full.dmp"]),
                 (("-r", "-n", "2"), "two.dmp", ["two_0.dmp", "two_1.dmp"]))
        for extra, name, files in cases:
            with self.subTest(extra=extra):
                with harness.DumpDir("reflect") as folder:
                    win = folder.file(name)[1]
                    result = harness.run_varnhold(list(extra) + [str(self.target.pid), win])
                    self.assertEqual(0, result.returncode, result.stdout)
                    self.assertEqual(files, folder.files())
                    out = harness.without_file_lines(result.stdout)
                    after = out[out.index("\n\nWriting dump file"):]
                    expected = "".join("\n\nWriting dump file %s ...\n" % folder.file(f)[1]
                                       for f in files[:1])
                    expected += "".join("Writing dump file %s ...\n" % folder.file(f)[1]
                                        for f in files[1:])
                    self.assertEqual(expected + "Dump written.\n", after)
                    for f in files:
                        self.assertEqual(0x125, harness.read_dump(folder.path / f).flags)


if __name__ == "__main__":
    unittest.main()
