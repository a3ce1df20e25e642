"""-all end to end: every process of one image name watched at once, the
one running when the watch starts and those started later, each with the
run's triggers for itself, each named in the output, the log and its dump;
Ctrl+C ends every watch and kills none. And the refusals of -all."""

import json
import re
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

ACCESS_VIOLATION = 0xC0000005
IMAGE = "vh_pool.exe"
NEEDS_A_NAME = ("-all needs -w and the image name of the processes to watch "
                "(for example -w app.exe).\n")
NO_COUNTER = ("-all cannot be used with -p or -pl: a performance counter is one value for "
              "the whole system, not one for each process.\n")


DUMP_WRITTEN = re.compile(r"^\[\d\d:\d\d:\d\d\] %s \((\d+)\) Dump written\.$" % re.escape(IMAGE))


def labelled(pid, text):
    """A line of one process of the pool: its time, name and id first."""
    return re.compile(r"^\[\d\d:\d\d:\d\d\] %s \(%d\) %s" % (re.escape(IMAGE), pid,
                                                              re.escape(text)), re.MULTILINE)


class EveryInstance(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("every")
        self.addCleanup(self.dumps.__exit__, None, None, None)
        self.image = self.dumps.path / IMAGE
        self.image.write_bytes(harness.target_exe(64).read_bytes())

    def pool(self, actions):
        """A process of the pool's image, a copy of the test target."""
        process = harness.Target(actions, image=self.image)
        self.addCleanup(process.kill)
        return process

    def test_each_process_has_its_triggers_and_ctrl_c_ends_every_watch(self):
        spinner = self.pool(["spin:0"])  # running before the watch starts
        _, dump_win = self.dumps.file("pool.dmp")
        log, log_win = self.dumps.file("events.log")
        run = harness.start_varnhold(["-e", "-c", "30", "-u", "-s", "3", "-meta", "-log", log_win,
                                      "-all", "-w", IMAGE, dump_win])
        self.addCleanup(run.kill)
        run.wait_for_line("Process:               %s (%d)" % (IMAGE, spinner.pid), 60)
        crasher = self.pool(["wait-stdin", "av"])
        run.wait_for_line(labelled(crasher.pid, "Watched from now on."), 30)
        crasher.wait_for_line("debugger attached", 60)
        crasher.send_line()
        idle = self.pool(["sleep:300000"])
        run.wait_for_line(labelled(idle.pid, "Watched from now on."), 30)
        written = {int(DUMP_WRITTEN.match(run.wait_for_line(DUMP_WRITTEN, 120)).group(1))
                   for _ in range(2)}
        self.assertEqual({spinner.pid, crasher.pid}, written, run.output)
        pressed = time.monotonic()
        run.ctrl_c()
        self.assertEqual(0, run.wait(30), run.output)
        self.assertLess(time.monotonic() - pressed, 1.0, run.output)
        self.assertIsNone(idle.returncode)  # detached, not ended
        out = run.output
        self.assertRegex(out, labelled(spinner.pid, "CPU:"))
        self.assertRegex(out, labelled(crasher.pid, "Exception: Unhandled - C0000005"))
        self.assertIn("Processes watched: %s (%d: 1 dump, %d: 1 dump, %d: 0 dumps).\n"
                      % (IMAGE, spinner.pid, crasher.pid, idle.pid), out)

        # One dump each for the spinner and the crasher, numbered on across
        # the processes, each with its process in the dump and its metadata.
        names = sorted(f for f in self.dumps.files() if f.endswith(".dmp"))
        self.assertEqual(["pool_0.dmp", "pool_1.dmp"], names)
        kinds = {}
        for name in names:
            dump = harness.read_dump(self.dumps.path / name)
            meta = json.loads((self.dumps.path / (name + ".json")).read_text(encoding="utf-8"))
            self.assertEqual(dump.process_id, meta["process"]["id"], name)
            kinds[dump.process_id] = meta["trigger"]["kind"]
            if dump.process_id == crasher.pid:
                self.assertEqual(ACCESS_VIOLATION, dump.exception.code)
        self.assertEqual({spinner.pid: "cpu", crasher.pid: "exception"}, kinds)

        events = [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]
        self.assertEqual([spinner.pid, crasher.pid, idle.pid],
                         [e["processId"] for e in events if e["event"] == "process_started"])
        self.assertEqual({spinner.pid, crasher.pid},
                         {e["processId"] for e in events if e["event"] == "dump_written"})
        self.assertIn(crasher.pid,
                      [e["processId"] for e in events if e["event"] == "process_exited"])

    def test_all_needs_a_waited_name_and_no_counter(self):
        cases = [(64, ["-all", IMAGE], NEEDS_A_NAME),
                 (64, ["-all", "-w", IMAGE, "-p", "\\Processor(_Total)\\% Processor Time", "90"],
                  NO_COUNTER),
                 (32, ["-w", "1234", "-all"], NEEDS_A_NAME)]
        for bits, args, message in cases:
            with self.subTest(bits=bits, args=args):
                if bits == 32:
                    harness.require_32_bit()
                result = harness.run_varnhold(args, bits=bits, timeout=60)
                self.assertEqual(1, result.returncode, result.stdout)
                self.assertTrue(result.stdout.endswith(message), result.stdout)


if __name__ == "__main__":
    unittest.main()
