"""What a run tells besides its console lines, end to end: the metadata file
beside each dump (-meta) and the event log (-log), both read with Python's
own json; and that the progress line of a long dump never reaches output
that is redirected."""

import json
import re
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

ACCESS_VIOLATION = 0xC0000005
UTC_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("reports")
        self.addCleanup(self.dumps.__exit__, None, None, None)

    def target(self, actions):
        target = harness.Target(actions)
        self.addCleanup(target.kill)
        return target

    def metadata(self, path):
        """The metadata file beside a dump, parsed; the dump itself must be complete."""
        harness.read_dump(path)
        return json.loads(Path(str(path) + ".json").read_text(encoding="utf-8"))

    def assert_no_progress(self, out):
        self.assertNotIn("\r", out)
        self.assertNotIn("Writing dump:", out)


class Metadata(ReportTest):
    def test_manual_dump_has_every_field(self):
        target = self.target(["sleep:60000"])
        path, win = self.dumps.file("m.dmp")
        result = harness.run_varnhold(["-meta", str(target.pid), win])
        self.assertEqual(0, result.returncode, result.stdout)
        self.assert_no_progress(result.stdout)
        meta = self.metadata(path)
        self.assertEqual(["tool", "version", "build", "handedOver", "host", "commandLine",
                          "process", "trigger", "signature", "dump"], list(meta))
        self.assertEqual(("varnhold", "x64", False), (meta["tool"], meta["build"],
                                                      meta["handedOver"]))
        self.assertRegex(meta["version"], r"^\d+\.\d+\.\d+$")
        self.assertTrue(meta["host"])
        self.assertIn(" -meta ", meta["commandLine"])
        process = meta["process"]
        self.assertEqual((target.pid, "vh_target.exe"), (process["id"], process["name"]))
        self.assertTrue(process["image"].lower().endswith("\\vh_target.exe"), process)
        # The creation time the system gives, which a later -send turns into ptime.
        self.assertRegex(process["created"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        self.assertLess(process["created"], meta["dump"]["started"])
        self.assertEqual({"kind": "manual"}, meta["trigger"])
        # Without an exception the signature is the image and the trigger.
        self.assertEqual("vh_target.exe:manual", meta["signature"])
        dump = meta["dump"]
        self.assertEqual((win, 0x41925, path.stat().st_size, 1, 1),
                         (dump["path"], dump["type"], dump["bytes"], dump["series"], dump["file"]))
        self.assertRegex(dump["started"], UTC_TIME)
        self.assertRegex(dump["finished"], UTC_TIME)
        self.assertLessEqual(dump["started"], dump["finished"])
        self.assertGreater(dump["milliseconds"], 0)

    def test_exception_dump_names_the_exception(self):
        target = self.target(["wait-stdin", "av", "sleep:60000"])
        path, win = self.dumps.file("e.dmp")
        run = harness.start_varnhold(["-e", "-meta", str(target.pid), win])
        self.addCleanup(run.kill)
        target.wait_for_line("debugger attached", 60)
        target.send_line()
        run.wait(60)
        self.assertEqual(0, run.returncode, run.output)
        meta = self.metadata(path)
        self.assertEqual({"kind": "exception"}, meta["trigger"])
        exception = meta["exception"]
        self.assertEqual((ACCESS_VIOLATION, "ACCESS_VIOLATION", False),
                         (exception["code"], exception["name"], exception["firstChance"]))
        dump = harness.read_dump(path)
        self.assertEqual(dump.exception.thread_id, exception["threadId"])
        self.assertNotEqual(0, exception["address"])

    def test_cpu_below_dump_gives_threshold_value_and_seconds(self):
        target = self.target(["sleep:60000"])
        path, win = self.dumps.file("c.dmp")
        result = harness.run_varnhold(["-cl", "90", "-s", "2", "-meta", str(target.pid), win])
        self.assertEqual(0, result.returncode, result.stdout)
        trigger = self.metadata(path)["trigger"]
        self.assertEqual(("cpu", "below", 90, 2),
                         (trigger["kind"], trigger["direction"], trigger["threshold"],
                          trigger["seconds"]))
        self.assertLessEqual(trigger["value"], 90)


class EventLog(ReportTest):
    def test_watch_of_two_series_is_logged_line_by_line(self):
        target = self.target(["sleep:60000"])
        log, log_win = self.dumps.file("events.log")
        result = harness.run_varnhold(["-a", "2", "-log", log_win, str(target.pid),
                                       self.dumps.file("l.dmp")[1]])
        self.assertEqual(0, result.returncode, result.stdout)
        events = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
        for event in events:
            self.assertEqual(["time", "event"], list(event)[:2], event)
            self.assertRegex(event["time"], UTC_TIME)
        self.assertEqual("run_started", events[0]["event"])
        self.assertIn("-log", events[0]["settings"]["commandLine"])
        self.assertEqual({"event": "run_ended", "exitCode": 0},
                         {k: v for k, v in events[-1].items() if k != "time"})
        written = [e for e in events if e["event"] == "dump_written"]
        self.assertEqual(["l_0.dmp", "l_1.dmp"], [Path(e["path"].replace("\\", "/")).name
                                                  for e in written])
        for event in written:
            name = Path(event["path"].replace("\\", "/")).name
            self.assertEqual((self.dumps.path / name).stat().st_size, event["bytes"])
        self.assertEqual(2, [e["event"] for e in events].count("trigger"))

    def test_log_that_cannot_be_opened_ends_the_run_before_any_dump(self):
        target = self.target(["sleep:60000"])
        folder = self.dumps.path / "a folder"
        folder.mkdir()
        result = harness.run_varnhold(["-log", harness.win_path(folder), str(target.pid),
                                       self.dumps.file("x.dmp")[1]])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertRegex(result.stdout, r"^Failed to open the event log: [^\n]+\n")
        self.assertEqual(["a folder"], self.dumps.files())


if __name__ == "__main__":
    unittest.main()
