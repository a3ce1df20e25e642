"""Target acquisition, the immediate dump and the dump writer's naming and
overwrite rules, with the real console program and the real test target."""

import os
import re
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

SUMMARY = (
    "Process:               {name} ({pid})\n"
    "CPU threshold:         n/a\nThreshold seconds:     n/a\n"
    "Performance counter:   n/a\nCommit threshold:      n/a\n"
    "Number of dumps:       {count}\nHung window check:     Disabled\n"
    "Exception monitor:     Disabled\nException filter:      Disabled\n"
    "Terminate monitor:     Disabled\nDump file:             {path}\n\n")


class FirstDumpTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("first")
        self.addCleanup(self.dumps.__exit__, None, None, None)
        self.target = harness.Target(["sleep:60000"])
        self.addCleanup(self.target.kill)


class ImmediateDumps(FirstDumpTest):
    def test_dump_by_identifier_prints_the_summary_and_writes_a_mini_dump(self):
        path, win = self.dumps.file("id.dmp")
        result = harness.run_varnhold([str(self.target.pid), win])
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertEqual(
            SUMMARY.format(name="vh_target.exe", pid=self.target.pid, count=1, path=win) +
            "Writing dump file %s ...\nDump written.\n" % win,
            harness.without_file_lines(result.stdout))
        # The line after the file gives its size.
        self.assertEqual([str(path.stat().st_size)],
                         harness.FILE_WRITTEN_LINE.findall(result.stdout))
        dump = harness.read_dump(path)
        self.assertEqual(0x41925, dump.flags)  # Wine's debug-help exports EnumDirTreeW
        self.assertTrue(dump.comment_w.includes_terminator)
        self.assertRegex(dump.comment_w.text, r"^\n\*\*\* .*varnhold\.exe.*\n\*\*\* Manual dump\.\n$")

    def test_dump_by_name_in_any_case_with_full_memory(self):
        path, win = self.dumps.file("name.dmp")
        result = harness.run_varnhold(["-ma", "VH_Target.EXE", win])
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("Process:               VH_Target.EXE (", result.stdout)
        dump = harness.read_dump(path)
        self.assertEqual(0x41927, dump.flags)
        self.assertGreater(dump.memory_list.total if hasattr(dump.memory_list, "total")
                           else 1, 0)

    def test_series_names_zero_count_and_overwrite(self):
        path, win = self.dumps.file("s.dmp")
        result = harness.run_varnhold(["-n", "3", str(self.target.pid), win])
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertEqual(["s_0.dmp", "s_1.dmp", "s_2.dmp"], self.dumps.files())
        for name in self.dumps.files():
            harness.read_dump(self.dumps.path / name)

        result = harness.run_varnhold(["-n", "0", str(self.target.pid), self.dumps.file("z.dmp")[1]])
        self.assertEqual(0, result.returncode)
        self.assertIn("Dump written.\n", result.stdout)
        self.assertNotIn("z.dmp", self.dumps.files())

        # s_1.dmp exists: s_0 is refused first without -o, nothing is claimed.
        result = harness.run_varnhold(["-n", "3", str(self.target.pid), win])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertIn("Failed to create dump file: ", result.stdout)
        self.assertNotIn("Dump written.", result.stdout)

        first = self.dumps.path / "s_0.dmp"
        os.utime(first, ns=(1_000_000_000_000_000_000, 1_000_000_000_000_000_000))
        result = harness.run_varnhold(["-o", "-n", "3", str(self.target.pid), win])
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertNotEqual(1_000_000_000_000_000_000, first.stat().st_mtime_ns)

    def test_missing_directories_are_created(self):
        path, win = self.dumps.file("a/b/c/deep.dmp")
        result = harness.run_varnhold([str(self.target.pid), win])
        self.assertEqual(0, result.returncode, result.stdout)
        harness.read_dump(path)

    def test_default_path_is_a_folder_beside_the_program(self):
        result = harness.run_varnhold([str(self.target.pid)])
        self.assertEqual(0, result.returncode, result.stdout)
        match = re.search(r"Dump file:             (.*)\n", result.stdout)
        written = match.group(1)
        self.assertRegex(written, r"\\vh_target_%d_\d{8}_\d{6}\\vh_target\.dmp$" % self.target.pid)
        linux = Path(written[2:].replace("\\", "/"))
        self.addCleanup(lambda: __import__("shutil").rmtree(linux.parent, ignore_errors=True))
        harness.read_dump(linux)

    def test_failed_write_leaves_no_file_and_exits_1(self):
        path, win = self.dumps.file("blocked.dmp")
        path.mkdir()  # a directory where the file should go
        result = harness.run_varnhold([str(self.target.pid), win])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertIn("Failed to create dump file: ", result.stdout)
        self.assertNotIn("Dump written.", result.stdout)


class Acquisition(FirstDumpTest):
    def test_refusals(self):
        cases = [
            (["nosuch.exe"], "Failed to open process (name): nosuch.exe\n"),
            (["4000000"], "Failed to open process (pid): 4000000\n"),
            (["SyStEm"], "Writing a dump for the System process is not supported.\n"),
            # No target at all is identifier 0. Windows lists an idle process
            # with it and the open step fails; Wine lists none.
            (["-ma"], re.compile(r"Failed to open process(: | \(pid\): 0\n)")),
            (["vh_target", "x.dmp"], "Failed to open process (name): vh_target\n"),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                result = harness.run_varnhold(args)
                self.assertEqual(1, result.returncode, result.stdout)
                if isinstance(expected, str):
                    self.assertIn(expected, result.stdout)
                else:
                    self.assertRegex(result.stdout, expected)

    def test_wait_finds_a_process_started_later(self):
        path, win = self.dumps.file("w.dmp")
        run = harness.start_varnhold(["-w", "vh_late.exe", win])
        self.addCleanup(run.kill)
        # The waiting run prints nothing; the image it waits for does not even
        # exist before the run is up.
        run.wait_until_running(30)
        late = self.dumps.path / "vh_late.exe"
        late.write_bytes(harness.target_exe(64).read_bytes())
        with harness.Target(["sleep:30000"], image=late) as target:
            run.wait(60)
            self.assertEqual(0, run.returncode, run.output)
            # Nothing came before the summary: the wait itself printed nothing.
            self.assertTrue(run.output.startswith(
                "Process:               vh_late.exe (%d)\n" % target.pid), run.output)
            harness.read_dump(path)

    def test_launch_and_missing_image(self):
        path, win = self.dumps.file("x.dmp")
        image = harness.win_path(harness.target_exe(64))
        result = harness.run_varnhold(["-x", win, image, "vh_target.exe sleep:4000"])
        self.assertEqual(0, result.returncode, result.stdout)
        harness.read_dump(path)
        result = harness.run_varnhold(["-x", win, "Z:\\no\\such.exe"])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertIn("Failed to create process: ", result.stdout)


class Supervision(FirstDumpTest):
    def test_target_exit_and_ctrl_c_end_the_run_with_0(self):
        short = harness.Target(["sleep:2000", "exit:0"])
        self.addCleanup(short.kill)
        result = harness.run_varnhold(["-c", "90", str(short.pid), self.dumps.file("e.dmp")[1]])
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("The process has exited.\n", result.stdout)

        # At or below 100 % qualifies every second: each pass prints a count
        # line, the sign that the run is in its sampling loop.
        run = harness.start_varnhold(["-cl", "100", "-s", "3600", str(self.target.pid),
                                      self.dumps.file("c.dmp")[1]])
        self.addCleanup(run.kill)
        run.wait_for_line(re.compile(r"\[\d\d:\d\d:\d\d\] CPU: +\d+% +1s$"), 30)
        self.assertGreater(run.ctrl_c(), 0)
        run.wait(30)
        self.assertEqual(0, run.returncode, run.output)
        self.assertEqual([], self.dumps.files())


if __name__ == "__main__":
    unittest.main()
