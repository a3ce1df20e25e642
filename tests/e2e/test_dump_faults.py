"""Faults while a dump is written, with the real console program and a real
target holding a hundred megabytes: the target killed in the middle of a
full dump, Ctrl+C in the middle of one, a dump folder that fills up or is
read-only, and both monitor threads firing at once. Each must end with a
complete dump (read back with tests/tools/minidump.py) or no file at all, the
documented report and exit code, no process of the run left behind, and no
existing file replaced without -o.

A full dump under Wine runs at about 11 MB/s, so the 100 MB target gives a
window of several seconds in which to strike (each strike waits for a tenth of
the dump to be on disk first).

The race of the two monitor threads runs VH_RACE_ROUNDS rounds, 50 by
default, two at a time (about a minute); a quick look with fewer:

    cd tests/e2e && VH_RACE_ROUNDS=5 python3 -m unittest test_dump_faults.BothThreadsAtOnce

The folder that fills up and the read-only folder are small file systems of
their own (tmpfs), since the tests run as root and permissions would not stop
a write; where mounting is not allowed those two tests are skipped.
"""

import concurrent.futures
import os
import random
import re
import subprocess
import sys
import time
import traceback
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

TARGET_MB = 100
RACE_ROUNDS = int(os.environ.get("VH_RACE_ROUNDS", "50"))
ACCESS_VIOLATION = 0xC0000005
MEMORY_LINE = re.compile(r"^\[\d\d:\d\d:\d\d\] Memory: +\d+Mb$", re.M)
EXCEPTION_LINE = re.compile(r"^\[\d\d:\d\d:\d\d\] Exception: Unhandled - C0000005 ", re.M)
FAILED_WRITE = re.compile(r"Failed to dump process: [^\n]+\n\n?")
FAILED_CREATE = re.compile(r"Failed to create dump file: [^\n]+\n\n?")


class Untouched:
    """Files that exist before a run, with their content and times, to prove
    afterwards that nothing replaced them."""

    def __init__(self):
        self.files = {}

    def make(self, path, size=4096):
        path.parent.mkdir(parents=True, exist_ok=True)
        content = os.urandom(size)
        path.write_bytes(content)
        os.utime(path, ns=(1_000_000_000_000_000_000, 1_000_000_000_000_000_000))
        self.files[path] = content
        return path

    def check(self, test):
        for path, content in self.files.items():
            test.assertTrue(path.exists(), "%s was removed" % path)
            test.assertEqual(1_000_000_000_000_000_000, path.stat().st_mtime_ns,
                             "%s was written to" % path)
            test.assertEqual(content, path.read_bytes(), "%s was changed" % path)


class FaultTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("faults")
        self.addCleanup(self.dumps.__exit__, None, None, None)
        self.untouched = Untouched()
        self.untouched.make(self.dumps.path / "existing.dmp")
        self.addCleanup(self.untouched.check, self)

    def target(self, actions, bits=64):
        target = harness.Target(actions, bits=bits)
        self.addCleanup(target.kill)
        return target

    def big_target(self):
        target = self.target(["rw:%d" % TARGET_MB, "sleep:600000"])
        target.wait_for_line("step sleep", 60)
        return target

    def start(self, args):
        run = harness.start_varnhold(args)
        self.addCleanup(run.kill)
        return run

    def finish(self, run, timeout=120):
        run.wait(timeout)
        # The launcher has ended; nothing that the run started may live on.
        deadline = time.monotonic() + 5
        while run.windows_processes() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual([], run.windows_processes(), "processes of the run left behind")
        return run.output

    def assert_complete_full_dump(self, path):
        dump = harness.read_dump(path)
        self.assertEqual(0x41927, dump.flags)
        self.assertGreaterEqual(dump.memory64_list.total_bytes, TARGET_MB * 1024 * 1024)
        return dump

    def assert_no_dump_but_existing(self, folder=None):
        folder = folder or self.dumps.path
        self.assertEqual(["existing.dmp"], sorted(p.name for p in folder.iterdir()))


class FaultsDuringAFullDump(FaultTest):
    def full_dump_under_way(self, name):
        """A big target and a run whose full dump file holds a tenth of the
        target's memory."""
        target = self.big_target()
        path, win = self.dumps.file(name)
        run = self.start(["-ma", str(target.pid), win])
        run.wait_for_line("Writing dump file", 30)
        harness.wait_until(lambda: harness.file_size(path) >= TARGET_MB * 1024 * 1024 // 10, 60,
                           "a tenth of the full dump in %s" % path.name)
        self.assertIsNone(run.returncode, "the dump ended too soon to be interrupted")
        return target, path, run

    def test_target_killed_while_the_dump_is_written(self):
        target, path, run = self.full_dump_under_way("killed.dmp")
        target.kill()
        out = self.finish(run)
        if path.exists():
            # The platform may finish from what it had already read.
            self.assertEqual(0, run.returncode, out)
            self.assertIn("Dump written.\n", out)
            harness.read_dump(path)
        else:
            self.assertEqual(1, run.returncode, out)
            self.assertRegex(out, FAILED_WRITE)
            self.assertNotIn("Dump written.", out)
            self.assert_no_dump_but_existing()

    def test_ctrl_c_while_the_dump_is_written_lets_it_finish(self):
        target, path, run = self.full_dump_under_way("ctrl-c.dmp")
        self.assertGreater(run.ctrl_c(), 0)
        out = self.finish(run)
        self.assertEqual(0, run.returncode, out)
        self.assertIn("Dump written.\n", out)
        self.assert_complete_full_dump(path)
        self.assertIsNone(target.returncode, "Ctrl+C to the monitor must not end the target")

    def test_existing_file_is_kept_and_no_dump_written_without_o(self):
        target = self.target(["sleep:600000"])
        path = self.untouched.make(self.dumps.path / "taken.dmp")
        win = harness.win_path(path)
        out = self.finish(self.start(["-ma", str(target.pid), win]))
        self.assertRegex(out, FAILED_CREATE)
        self.assertNotIn("Writing dump file", out)
        self.assertNotIn("Dump written.", out)


class SmallFileSystem:
    """A tmpfs of its own, mounted for one test."""

    def __init__(self, test, size_mb, read_only=False):
        self.path = Path(test.dumps.path) / "mounted"
        self.path.mkdir()
        options = "size=%dm,mode=0777" % size_mb + (",ro" if read_only else "")
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(self.path)],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if mounted.returncode != 0:
            self.path.rmdir()
            test.skipTest("a folder that fills up or is read-only needs a small file system of "
                          "its own, and mounting one is not allowed here: %s"
                          % mounted.stderr.decode(errors="replace").strip())
        test.addCleanup(self.unmount)

    def unmount(self):
        subprocess.run(["umount", "-l", str(self.path)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


class UnwritableFolders(FaultTest):
    def test_folder_that_fills_up_during_a_full_dump_leaves_no_file(self):
        small = SmallFileSystem(self, 40)
        kept = Untouched()
        kept.make(small.path / "existing.dmp")
        target = self.big_target()
        win = harness.win_path(small.path / "full.dmp")
        run = self.start(["-ma", str(target.pid), win])
        out = self.finish(run)
        self.assertEqual(1, run.returncode, out)
        self.assertRegex(out, FAILED_WRITE)
        self.assertNotIn("Dump written.", out)
        self.assertEqual(["existing.dmp"], os.listdir(small.path))
        kept.check(self)
        self.assertIsNone(target.returncode)

    def test_read_only_folder_gets_no_file(self):
        small = SmallFileSystem(self, 1, read_only=True)
        target = self.target(["sleep:600000"])
        for name in ("ro.dmp", "sub\\dir\\ro.dmp"):
            with self.subTest(name=name):
                win = harness.win_path(small.path) + "\\" + name
                run = self.start([str(target.pid), win])
                out = self.finish(run)
                self.assertEqual(1, run.returncode, out)
                self.assertRegex(out, FAILED_CREATE)
                self.assertNotIn("Dump written.", out)
                self.assertEqual([], os.listdir(small.path))
        self.assertIsNone(target.returncode)


class BothThreadsAtOnce(FaultTest):
    """The target commits memory past the commit trigger and faults at once:
    the exception and the commit trigger fire together, and whichever writes,
    the other finds the series written. Every other round the dump file exists
    already, so both requests are refused and nothing is replaced."""

    def test_always_exactly_one_series(self):
        # Two rounds at a time: each has its own target, run and dump file,
        # and the load of the other only adds to the phases the rounds meet.
        offsets = [random.Random(RACE_ROUNDS + i).random() for i in range(RACE_ROUNDS)]
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            outcomes = list(pool.map(self.checked_round, range(RACE_ROUNDS), offsets))
        for round_index, (_, failure) in enumerate(outcomes):
            with self.subTest(round=round_index):
                if failure:
                    self.fail(failure)
        both_fired = sum(both for both, _ in outcomes)
        print("\nboth threads fired in %d of %d rounds" % (both_fired, RACE_ROUNDS), flush=True)
        self.assertGreater(both_fired, 0, "the two triggers never fired in the same run")

    def checked_round(self, index, offset):
        try:
            return self.one_round(index, offset), None
        except Exception:  # reported by the round's own subtest
            return 0, traceback.format_exc()

    def one_round(self, index, offset):
        taken = index % 2 == 1
        name = "race%d.dmp" % index
        path = self.dumps.path / name
        if taken:
            self.untouched.make(path)
        target = harness.Target(["wait-stdin", "commit:40", "av", "sleep:60000"])
        try:
            run = harness.start_varnhold(["-e", "-m", "30", str(target.pid),
                                          harness.win_path(path)])
            try:
                run.wait_for_line("Dump file:", 30)
                target.wait_for_line("debugger attached", 30)
                # Not a wait: a random offset into the one-second sampling
                # period, so that the rounds meet the sampling at every phase.
                time.sleep(offset)
                target.send_line()
                out = self.finish(run, 60)
            finally:
                run.kill()
        finally:
            target.kill()
        fired = bool(MEMORY_LINE.search(out)) + bool(EXCEPTION_LINE.search(out))
        self.assertGreaterEqual(fired, 1, out)
        if taken:
            self.assertEqual(1, run.returncode, out)
            self.assertEqual(1, len(FAILED_CREATE.findall(out)), out)
            self.assertNotIn("Writing dump file", out)
            self.assertNotIn("Dump written.", out)
        else:
            self.assertEqual(0, run.returncode, out)
            self.assertEqual(1, out.count("Writing dump file"), out)
            self.assertEqual(1, out.count("Dump written.\n"), out)
            self.assertNotIn("Failed to", out)
            dump = harness.read_dump(path)
            comment = dump.comment_w.text
            if comment.endswith("\nCommit usage >= 30 MB.\n"):
                self.assertIsNone(dump.exception)
            else:
                self.assertTrue(comment.endswith(
                    "\n*** Unhandled exception: C0000005ACCESS_VIOLATION\n"), comment)
                self.assertEqual(ACCESS_VIOLATION, dump.exception.code)
        return 1 if fired == 2 else 0


if __name__ == "__main__":
    unittest.main()
