"""Long watches end to end: files of a series spaced in time (-g), triggers
armed again (-a) with the run's numbering, the bound on the files kept
(-keep), the free-space guard (-free), first chance dumps that let the target
go on, and Ctrl+C during a gap."""

import json
import os
import re
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

ACCESS_VIOLATION = 0xC0000005
WRITING = re.compile(r"^Writing dump file (.*) \.\.\.$")
SUMMARY = re.compile(r"^Watch ended: (\d+) series, (\d+) files written, (\d+) deleted by -keep, "
                     r"(\d+) skipped by -free\.$", re.MULTILINE)
# A commit trigger that holds at every pass: no target commits 100 GB.
ALWAYS = ["-ml", "100000"]


class LongWatchTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("watch")
        self.addCleanup(self.dumps.__exit__, None, None, None)

    def target(self, actions):
        target = harness.Target(actions)
        self.addCleanup(target.kill)
        return target

    def start(self, options, target, name="w.dmp"):
        run = harness.start_varnhold(options + [str(target.pid), self.dumps.file(name)[1]])
        self.addCleanup(run.kill)
        return run

    def dump_names(self):
        return [f for f in self.dumps.files() if f.endswith(".dmp")]

    def assert_complete(self, names):
        for name in names:
            harness.read_dump(self.dumps.path / name)  # raises on a cut or malformed file


class SeriesInTime(LongWatchTest):
    def test_files_of_a_series_start_a_gap_apart(self):
        target = self.target(["sleep:120000"])
        run = self.start(["-n", "3", "-g", "6"], target)
        starts = []
        for _ in range(3):
            run.wait_for_line(WRITING, 60)
            starts.append(time.monotonic())
        run.wait(60)
        self.assertEqual(0, run.returncode, run.output)
        # The program spaces the starts; what we see of them can only be late.
        for earlier, later in zip(starts, starts[1:]):
            self.assertGreater(later - earlier, 5.8, starts)
        self.assertEqual(["w_0.dmp", "w_1.dmp", "w_2.dmp"], self.dump_names())
        self.assert_complete(self.dump_names())

    def test_ctrl_c_in_a_long_gap_ends_the_program_at_once(self):
        target = self.target(["sleep:120000"])
        run = self.start(["-n", "2", "-g", "60"], target)
        run.wait_for_line("Written: ", 60)  # the first file is complete: the gap begins
        pressed = time.monotonic()
        run.ctrl_c()
        run.wait(30)
        self.assertLess(time.monotonic() - pressed, 2.0)
        self.assertEqual(0, run.returncode, run.output)
        self.assertNotIn("Dump written.", run.output)
        self.assertEqual(["w_0.dmp"], self.dump_names())


class ArmedAgain(LongWatchTest):
    def test_series_numbered_after_the_files_already_there(self):
        earlier = {"w_4.dmp": b"earlier watch", "w.dmp": b"plain", "w_x.dmp": b"other"}
        for name, data in earlier.items():
            (self.dumps.path / name).write_bytes(data)
        target = self.target(["sleep:120000"])
        run = self.start(ALWAYS + ["-a", "3"], target)
        run.wait(120)
        out = run.output
        self.assertEqual(0, run.returncode, out)
        self.assertEqual(3, out.count("Dump written.\n"), out)
        self.assertEqual(("3", "3", "0", "0"), SUMMARY.search(out).groups(), out)
        self.assertEqual(["w.dmp", "w_4.dmp", "w_5.dmp", "w_6.dmp", "w_7.dmp", "w_x.dmp"],
                         self.dump_names())
        self.assert_complete(["w_5.dmp", "w_6.dmp", "w_7.dmp"])
        for name, data in earlier.items():
            self.assertEqual(data, (self.dumps.path / name).read_bytes(), name)

    def test_keep_leaves_the_two_newest_after_ctrl_c(self):
        target = self.target(["sleep:120000"])
        run = self.start(ALWAYS + ["-a", "0", "-keep", "2"], target)
        for _ in range(4):
            run.wait_for_line("Dump written.", 90)
        run.ctrl_c()
        run.wait(60)
        out = run.output
        self.assertEqual(0, run.returncode, out)
        written = [Path(m.group(1).replace("\\", "/")).name
                   for m in map(WRITING.match, out.split("\n")) if m]
        self.assertEqual(written[-2:], self.dump_names(), out)
        self.assert_complete(self.dump_names())
        series, files, deleted, skipped = map(int, SUMMARY.search(out).groups())
        self.assertEqual((files, deleted, skipped), (len(written), len(written) - 2, 0), out)

    def test_first_chance_dumps_let_the_target_go_on(self):
        target = self.target(["wait-stdin", "handled-av", "handled-av", "sleep:120000"])
        run = self.start(["-e", "-1", "-a", "2"], target, "e.dmp")
        target.wait_for_line("debugger attached", 60)
        target.send_line()
        run.wait(120)
        self.assertEqual(0, run.returncode, run.output)
        self.assertEqual(2, run.output.count("Exception: C0000005 ACCESS_VIOLATION\n"), run.output)
        self.assertEqual(["e_0.dmp", "e_1.dmp"], self.dump_names())
        for name in self.dump_names():
            dump = harness.read_dump(self.dumps.path / name)
            self.assertEqual(ACCESS_VIOLATION, dump.exception.code)
            self.assertIn("*** First chance exception: C0000005", dump.comment_w.text)
        target.wait_for_line("step sleep:120000", 30)
        self.assertIsNone(target.returncode)

    def test_a_gap_holds_no_first_chance_exception(self):
        # While a series waits out its gap, an exception the watch does not
        # dump goes back to the target at once instead of holding it still.
        target = self.target(["wait-stdin", "handled-av", "sleep:120000"])
        run = self.start(["-e", "-1", "-f", "ACCESS"] + ALWAYS + ["-n", "2", "-g", "15", "-a", "1"],
                         target)
        target.wait_for_line("debugger attached", 60)
        run.wait_for_line("Written: ", 60)  # the first file is complete: the gap begins
        raised = time.monotonic()
        target.send_line()
        target.wait_for_line("step sleep:120000", 30)
        self.assertLess(time.monotonic() - raised, 7, run.output)
        run.wait(90)
        self.assertEqual(0, run.returncode, run.output)
        self.assertEqual(["w_0.dmp", "w_1.dmp"], self.dump_names())


class FollowAService(LongWatchTest):
    """-w <name> -a: the watch outlives its process and takes the next
    process of that name, as a service manager starts it again."""

    def service(self, actions):
        """A process of the service's image, a copy of the test target."""
        image = self.dumps.path / "vh_svc.exe"
        if not image.exists():
            image.write_bytes(harness.target_exe(64).read_bytes())
        target = harness.Target(actions, image=image)
        self.addCleanup(target.kill)
        return target

    def test_each_restarted_process_gets_its_crash_dumped(self):
        path, win = self.dumps.file("svc.dmp")
        log, log_win = self.dumps.file("events.log")
        run = harness.start_varnhold(["-e", "-a", "2", "-meta", "-log", log_win, "-w",
                                      "vh_svc.exe", win])
        self.addCleanup(run.kill)
        run.wait_until_running(30)
        crashed = []
        for _ in range(2):
            service = self.service(["wait-stdin", "av"])
            run.wait_for_line("Process:               vh_svc.exe (%d)" % service.pid, 60)
            service.wait_for_line("debugger attached", 60)
            service.send_line()
            run.wait_for_line("Dump written.", 60)
            crashed.append(service.pid)
            if len(crashed) == 1:
                run.wait_for_line("Waiting for the next vh_svc.exe ...", 60)
        self.assertEqual(0, run.wait(60), run.output)
        self.assertEqual(["svc_0.dmp", "svc_1.dmp"], self.dump_names())
        for name, pid in zip(self.dump_names(), crashed):
            dump = harness.read_dump(self.dumps.path / name)
            self.assertEqual(ACCESS_VIOLATION, dump.exception.code)
            self.assertTrue(dump.module_names[0].lower().endswith("vh_svc.exe"), dump.module_names)
            # Each process's watch is filled for that process: its dump and
            # its metadata name it, not the one followed before.
            self.assertEqual(pid, dump.process_id, name)
            meta = json.loads((self.dumps.path / (name + ".json")).read_text(encoding="utf-8"))
            self.assertEqual(pid, meta["process"]["id"], name)
        self.assertIn("Processes watched: vh_svc.exe (%d, %d).\n" % tuple(crashed), run.output)
        events = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
        self.assertEqual(crashed, [e["processId"] for e in events
                                   if e["event"] == "process_started"])
        self.assertEqual(crashed, [e["processId"] for e in events
                                   if e["event"] == "process_exited"])

    def test_ctrl_c_while_waiting_for_the_next_process_ends_at_once(self):
        _, win = self.dumps.file("svc.dmp")
        run = harness.start_varnhold(["-m", "100000", "-a", "0", "-w", "vh_svc.exe", win])
        self.addCleanup(run.kill)
        run.wait_until_running(30)
        service = self.service(["wait-stdin", "exit:0"])
        run.wait_for_line("Process:               vh_svc.exe (%d)" % service.pid, 60)
        service.send_line()
        run.wait_for_line("Waiting for the next vh_svc.exe ...", 60)
        pressed = time.monotonic()
        run.ctrl_c()
        self.assertEqual(0, run.wait(30), run.output)
        self.assertLess(time.monotonic() - pressed, 3.0)
        self.assertEqual([], self.dump_names())


class DiskGuard(LongWatchTest):
    def test_free_space_larger_than_the_disk_writes_nothing(self):
        target = self.target(["sleep:120000"])
        run = self.start(["-free", "4294967295"], target)
        run.wait(60)
        self.assertEqual(1, run.returncode, run.output)
        self.assertRegex(run.output, r"Dump file not written: \d+ MB free in Z:\\[^\n]*, -free "
                                     r"asks for 4294967295 MB\.\n")
        self.assertNotIn("Dump written.", run.output)
        self.assertEqual([], self.dumps.files())

    def test_free_space_counts_the_full_dump_about_to_be_written(self):
        target = self.target(["rw:300", "sleep:120000"])
        target.wait_for_line("alloc ", 60)
        stats = os.statvfs(self.dumps.path)
        free_mb = stats.f_bavail * stats.f_frsize // (1024 * 1024)
        # Room for the floor, not for the floor and a dump of 300 MB.
        run = self.start(["-ma", "-free", str(free_mb - 150)], target)
        run.wait(120)
        self.assertEqual(1, run.returncode, run.output)
        self.assertRegex(run.output, r"Dump file not written: \d+ MB free in Z:\\[^\n]*, -free "
                                     r"asks for \d+ MB beyond the dump's (3\d\d) MB\.\n")
        self.assertEqual([], self.dumps.files())


if __name__ == "__main__":
    unittest.main()