"""The counter sampling thread end to end: the immediate dump, the CPU,
commit, performance-counter and hung-window triggers and the just-in-time
dump, run with the real console program against the real test target.

Wine keeps the process times of another process frozen; the program then
sums the times of the target's threads, so the CPU trigger is tested on real
load here. The machine is shared: what a spinning target gets of it varies,
so the CPU values are checked against the target's own CPU time as Linux
counts it. Wine's pdh has no per-process counters; the counter tests use the
processor total, which it does provide.
"""

import os
import re
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

CPU_COUNT_LINE = re.compile(r"^\[\d\d:\d\d:\d\d\] CPU:       +(\d+)% +(\d+)s$")
MEMORY_LINE = re.compile(r"^\[\d\d:\d\d:\d\d\] Memory:  +(\d+)Mb$")
COUNTER_LINE = re.compile(r"^\[\d\d:\d\d:\d\d\] Counter:   +(-?\d+)    1s$")
LOG_LINE = re.compile(r"^\[\d\d:\d\d:\d\d\] ")
PROCESSOR_TOTAL = r"\Processor(_Total)\% Processor Time"
ACCESS_VIOLATION = 0xC0000005


class TriggerTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("triggers")
        self.addCleanup(self.dumps.__exit__, None, None, None)

    def target(self, actions, bits=64):
        target = harness.Target(actions, bits=bits)
        self.addCleanup(target.kill)
        return target

    def dump_file(self, name="t.dmp"):
        return self.dumps.file(name)

    def assert_dump_written(self, result, path):
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("Dump written.\n", result.stdout)
        self.assertTrue(path.exists(), result.stdout)
        return harness.read_dump(path)

    def assert_comment(self, dump, reason, head="\n*** "):
        """The comment is the head, the monitor's own command line, then the
        reason; the stream carries the terminating zero."""
        comment = dump.comment_w
        self.assertIsNotNone(comment, "dump has no comment stream")
        self.assertTrue(comment.includes_terminator)
        self.assertTrue(comment.text.startswith(head), repr(comment.text))
        self.assertIn("varnhold.exe", comment.text.split("\n")[1])
        self.assertTrue(comment.text.endswith(reason), repr(comment.text))
        return comment.text

    def lines(self, output, pattern):
        return [pattern.match(line) for line in output.split("\n") if pattern.match(line)]


class ImmediateDump(TriggerTest):
    def test_no_trigger_writes_the_manual_dump_at_once(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold([str(target.pid), win], timeout=60)
        dump = self.assert_dump_written(result, path)
        text = self.assert_comment(dump, "\n*** Manual dump.\n")
        self.assertIn(" %d " % target.pid, text)
        self.assertIn(win, text)
        self.assertIsNone(dump.exception)
        self.assertIsNone(target.returncode, "the target must run on after its dump")


class CpuTrigger(TriggerTest):
    def test_idle_target_fires_cpu_at_or_below_with_its_count_lines(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-cl", "5", "-s", "2", str(target.pid), win], timeout=60)
        dump = self.assert_dump_written(result, path)
        counts = self.lines(result.stdout, CPU_COUNT_LINE)
        self.assertEqual(["1", "2"], [m.group(2) for m in counts], result.stdout)
        for match in counts:
            self.assertLessEqual(int(match.group(1)), 5)
        self.assertNotIn("Above", result.stdout)
        self.assertLess(result.stdout.index(counts[-1].group(0)),
                        result.stdout.index("Dump written."))
        self.assert_comment(dump, "\nCPU Threshold <= 5% for 2 seconds.\n")

    def spinning(self, threads, *then):
        # More threads than cores keep the target's share high on a busy
        # machine.
        target = self.target(["spin-threads:%d" % threads] + list(then or ["sleep:600000"]))
        target.wait_for_line("threads %d" % threads, timeout=30)
        return target

    def test_spinning_target_fires_cpu_at_or_above_with_its_count_lines(self):
        target = self.spinning(4)
        path, win = self.dump_file()
        result = harness.run_varnhold(["-c", "30", "-s", "3", str(target.pid), win], timeout=90)
        dump = self.assert_dump_written(result, path)
        counts = self.lines(result.stdout, CPU_COUNT_LINE)
        self.assertEqual(["1", "2", "3"], [m.group(2) for m in counts[-3:]], result.stdout)
        for match in counts[-3:]:
            self.assertGreaterEqual(int(match.group(1)), 30)
        self.assert_comment(dump, "\nCPU Threshold >= 30% for 3 seconds.\n")

    def test_busy_target_is_sampled_without_firing_cpu_at_or_below_until_it_exits(self):
        target = self.spinning(4, "sleep:6000", "exit:0")
        path, win = self.dump_file()
        result = harness.run_varnhold(["-cl", "5", "-s", "3", str(target.pid), win], timeout=60)
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("The process has exited.\n", result.stdout)
        # Under Wine, on a loaded machine, the process's total can stand still
        # for one sample (read as 0 %); it must never stand still for the
        # three seconds that would fire the trigger.
        counts = [int(match.group(2)) for match in self.lines(result.stdout, CPU_COUNT_LINE)]
        self.assertTrue(all(count < 3 for count in counts), result.stdout)
        self.assertFalse(path.exists())
        self.assertEqual([], self.dumps.files())

    def test_work_done_in_short_threads_counts(self):
        # Each thread spins 150 ms and ends, so none is there for two samples
        # in a row: its time must count all the same.
        target = self.target(["short-threads:60000", "exit:0"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-u", "-c", "20", "-s", "3", str(target.pid), win],
                                      timeout=90)
        self.assert_dump_written(result, path)
        self.assertNotIn("The process has exited.", result.stdout)

    def test_single_core_scale_reads_what_the_target_threads_used(self):
        # Two spinning threads read about 200 % of one core when the machine
        # gives them both cores, less when it is busy: each value is compared
        # with the target's CPU time that Linux counted in the same second.
        # -cl 1000 prints every value; -n 0 writes no dump at the end.
        target = self.spinning(2)
        linux_pid = wine_process_pid(target)
        _, win = self.dump_file()
        marks = []
        with harness.start_varnhold(["-u", "-cl", "1000", "-s", "3", "-n", "0", str(target.pid),
                                     win]) as run:
            for _ in range(3):
                line = run.wait_for_line(CPU_COUNT_LINE, 60)
                marks.append((time.monotonic(), cpu_seconds(linux_pid),
                              int(CPU_COUNT_LINE.match(line).group(1))))
            self.assertEqual(0, run.wait(60), run.output)
        monitor = (marks[1][2] + marks[2][2]) / 2
        linux = 100 * (marks[2][1] - marks[0][1]) / (marks[2][0] - marks[0][0])
        self.assertLessEqual(abs(monitor - linux), 10 + 0.15 * linux, (marks, linux))
        self.assertGreater(linux, 20, "the target got almost no processor time")


def wine_process_pid(proc):
    """The Linux process that runs a Windows program started by the harness."""
    names = (harness.win_path(proc.image).lower(), str(proc.image).lower())
    for pid, cmdline in proc.windows_processes():
        if cmdline.lower().startswith(names):
            return pid
    raise AssertionError("no Linux process runs %s" % proc.image)


def cpu_seconds(pid):
    """User plus system time of a Linux process, all its threads together."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class CommitTrigger(TriggerTest):
    def test_target_committing_hundreds_of_megabytes_fires_at_or_above(self):
        target = self.target(["commit:300", "sleep:60000"])
        target.wait_for_line("step sleep", timeout=60)
        path, win = self.dump_file()
        result = harness.run_varnhold(["-m", "250", str(target.pid), win], timeout=60)
        dump = self.assert_dump_written(result, path)
        memory = self.lines(result.stdout, MEMORY_LINE)
        self.assertEqual(1, len(memory), result.stdout)
        self.assertGreaterEqual(int(memory[0].group(1)), 300)
        self.assert_comment(dump, "\nCommit usage >= 250 MB.\n")

    def test_at_or_below_fires_at_the_first_pass_with_its_memory_line(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-ml", "4000", str(target.pid), win], timeout=60)
        dump = self.assert_dump_written(result, path)
        memory = self.lines(result.stdout, MEMORY_LINE)
        self.assertEqual(1, len(memory), result.stdout)
        self.assertLess(int(memory[0].group(1)), 4000)
        self.assert_comment(dump, "\nCommit usage <= 4000 MB.\n")

    def test_commit_below_threshold_prints_nothing_and_samples_on(self):
        target = self.target(["sleep:2500", "exit:0"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-m", "4000", str(target.pid), win], timeout=60)
        self.assertEqual(0, result.returncode)
        self.assertEqual([], self.lines(result.stdout, MEMORY_LINE))
        self.assertIn("The process has exited.\n", result.stdout)
        self.assertFalse(path.exists())


class CounterTrigger(TriggerTest):
    def test_processor_total_at_or_above_fires_with_its_counter_line(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-p", PROCESSOR_TOTAL, "0", str(target.pid), win],
                                      timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertEqual(1, len(self.lines(result.stdout, COUNTER_LINE)), result.stdout)
        self.assert_comment(dump, "\nPerformance counter >= 0.\n")

    def test_processor_total_at_or_below_fires_with_its_counter_line(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-pl", PROCESSOR_TOTAL, "1000000", str(target.pid), win],
                                      timeout=60)
        dump = self.assert_dump_written(result, path)
        counter = self.lines(result.stdout, COUNTER_LINE)
        self.assertEqual(1, len(counter), result.stdout)
        self.assertLessEqual(int(counter[0].group(1)), 1000000)
        self.assert_comment(dump, "\nPerformance counter <= 1000000.\n")

    def test_unknown_counter_ends_the_run_without_a_dump_and_with_exit_code_1(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(
            ["-p", r"\Process(no_such_process)\No Such Counter", "1", str(target.pid), win],
            timeout=60)
        self.assertIn("Failed to add counter: ", result.stdout)
        self.assertNotIn("Dump written.", result.stdout)
        # A monitor that cannot watch what was asked for ends the run as a
        # failure: a script must not take it for a watch that saw nothing.
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertEqual([], self.dumps.files())
        self.assertIsNone(target.returncode)


class TriggerOrder(TriggerTest):
    def test_only_the_first_met_trigger_of_a_pass_fires(self):
        # Commit and counter are both met at the first pass (and -h finds a
        # window only under a display); commit comes first.
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(
            ["-m", "0", "-pl", PROCESSOR_TOTAL, "1000000", "-h", str(target.pid), win],
            timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertEqual(1, len(self.lines(result.stdout, MEMORY_LINE)))
        self.assertEqual([], self.lines(result.stdout, COUNTER_LINE))
        self.assert_comment(dump, "\nCommit usage >= 0 MB.\n")
        self.assertEqual(1, result.stdout.count("Dump written."))


@unittest.skipUnless(harness.has_display(),
                     "a window needs an X display: run inside xvfb-run (the runner does)")
class HungWindowTrigger(TriggerTest):
    def test_window_that_stops_pumping_fires_without_a_log_line(self):
        target = self.target(["hang-window"])
        window = int(target.wait_for_line("window ", timeout=30).split()[1], 16)
        # The system counts the window as hung some seconds after its thread
        # stopped taking messages (about 5 s under Wine); the target says when.
        target.wait_for_line("window hung", timeout=30)
        path, win = self.dump_file()
        result = harness.run_varnhold(["-h", str(target.pid), win], timeout=60)
        dump = self.assert_dump_written(result, path)
        text = self.assert_comment(dump, " .\n", head="\n***")
        self.assertFalse(text.startswith("\n*** "), "no blank after the asterisks")
        found = re.search(r"\nHung window detected: ([0-9A-F]+) \.\n$", text)
        self.assertIsNotNone(found, repr(text))
        self.assertEqual(window, int(found.group(1), 16))
        self.assertEqual([], self.lines(result.stdout, LOG_LINE), "no log line for a hung window")

    def test_responsive_target_without_window_does_not_fire(self):
        target = self.target(["sleep:2500", "exit:0"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-h", str(target.pid), win], timeout=60)
        self.assertIn("The process has exited.\n", result.stdout)
        self.assertFalse(path.exists())


class JustInTimeDump(TriggerTest):
    def jit_comment(self, pid, event, address):
        return ("\n*** Just-In-Time debugger. PID: %d Event Handle: %d JIT Context: .jdinfo 0x%016X.\n"
                % (pid, event, address))

    def test_without_address_the_dump_has_no_exception(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-j", win, str(target.pid), "7"], timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertIsNone(dump.exception)
        self.assert_comment(dump, self.jit_comment(target.pid, 7, 0))

    def test_record_names_the_thread_exception_and_context(self):
        target = self.target(["jit-record", "sleep:60000"])
        _, address, thread = target.wait_for_line("jit ", timeout=30).split()
        path, win = self.dump_file()
        result = harness.run_varnhold(["-j", win, str(target.pid), "12", address], timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertIsNotNone(dump.exception, "the record was not followed")
        self.assertEqual(int(thread), dump.exception.thread_id)
        self.assertEqual(ACCESS_VIOLATION, dump.exception.code)
        self.assertEqual([1, 0], dump.exception.parameters)
        self.assertIn(int(thread), dump.thread_ids)
        self.assert_comment(dump, self.jit_comment(target.pid, 12, int(address, 16)))

    def test_memory_that_is_no_record_gives_a_dump_without_exception(self):
        # Zeros where a record should be: size field 0, no addresses (Wine
        # itself passes such an address to a postmortem debugger).
        target = self.target(["rw:1", "sleep:60000"])
        address = target.wait_for_line("alloc ", timeout=30).split()[1]
        path, win = self.dump_file()
        result = harness.run_varnhold(["-j", win, str(target.pid), "3", address], timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertIsNone(dump.exception)
        self.assert_comment(dump, self.jit_comment(target.pid, 3, int(address, 16)))

    def test_unreadable_address_gives_a_dump_without_exception(self):
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-j", win, str(target.pid), "3", "10"], timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertIsNone(dump.exception)

    def test_trigger_met_in_the_first_pass_replaces_the_jit_dump(self):
        # The address argument is always consumed, so it must be given here.
        target = self.target(["sleep:60000"])
        path, win = self.dump_file()
        result = harness.run_varnhold(["-j", win, str(target.pid), "3", "0", "-ml", "4000"],
                                      timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assert_comment(dump, "\nCommit usage <= 4000 MB.\n")

    def test_32_bit_build_follows_the_record_of_a_32_bit_target(self):
        target = self.target(["jit-record", "sleep:60000"], bits=32)
        _, address, thread = target.wait_for_line("jit ", timeout=30).split()
        path, win = self.dump_file()
        result = harness.run_varnhold(["-j", win, str(target.pid), "5", address], bits=32,
                                      timeout=60)
        dump = self.assert_dump_written(result, path)
        self.assertIsNotNone(dump.exception, result.stdout)
        self.assertEqual(int(thread), dump.exception.thread_id)
        self.assertEqual(ACCESS_VIOLATION, dump.exception.code)


if __name__ == "__main__":
    unittest.main()
