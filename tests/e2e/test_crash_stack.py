"""The crash reason and the crashing thread's stack (-stack), end to end: the
real console program on the test target, which crashes three calls deep in
functions of its own (vh_crash_outer -> vh_crash_middle -> vh_crash_inner, a
write to 0x10). Frame offsets are checked against the link map the target's
build writes beside it."""

import json
import re
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from crash_server import CrashServer, answer  # noqa: E402

ACCESS_VIOLATION = 0xC0000005
OWN_FRAMES = ["vh_crash_inner", "vh_crash_middle", "vh_crash_outer"]
FRAME_LINE = re.compile(r"^  at (?:(\S+)\+0x([0-9a-f]+)|0x([0-9a-f]+))( \(frame pointer\))?$")
MAP_SYMBOL = re.compile(r"^\s+0x([0-9a-f]+)\s+(\S.*?)\s*$")
MAP_IMAGE_BASE = re.compile(r"\b__image_base__ = 0x([0-9a-f]+)")
CUT_SHORT = "  (stack cut short: %s)"
NO_UNWIND_DATA = "no unwind data for the code of the last frame"
PROCESS_ENDED = "the process has ended"
# Each build and the target it walks: the 64-bit build also walks a 32-bit
# target, from outside its 32-bit world.
BUILDS = [(64, 64), (32, 32), (64, 32)]


def function_ranges(bits):
    """{name: (first offset, end offset)} of the target's functions, from the
    map its link wrote: a function runs up to the next symbol."""
    text = (harness.target_exe(bits).parent / "vh_target.map").read_text(errors="replace")
    base = int(MAP_IMAGE_BASE.search(text).group(1), 16)
    symbols = {}
    for line in text.splitlines():
        found = MAP_SYMBOL.match(line)
        if found and "=" not in found.group(2):
            symbols.setdefault(found.group(2), int(found.group(1), 16) - base)
    starts = sorted(set(symbols.values()))
    return {name: (start, next((s for s in starts if s > start), start + 1))
            for name, start in symbols.items()}


def stack_of(output):
    """The block -stack printed: (header line, frames as dicts, closing line or None)."""
    lines = output.split("\n")
    first = next(i for i, line in enumerate(lines) if line.startswith(("Crash: ", "Hung: ")))
    frames, end = [], None
    for line in lines[first + 1:]:
        found = FRAME_LINE.match(line)
        if not found:
            end = line if line.startswith("  (") else None
            break
        module, offset, address, guessed = found.groups()
        frame = ({"module": module, "offset": int(offset, 16)} if module
                 else {"address": int(address, 16)})
        if guessed:
            frame["found"] = "framePointer"
        frames.append(frame)
    return lines[first], frames, end


def metadata(path):
    return json.loads(Path(str(path) + ".json").read_text(encoding="utf-8"))


class CrashStackTest(unittest.TestCase):
    def setUp(self):
        self.dumps = harness.DumpDir("stack")
        self.addCleanup(self.dumps.__exit__, None, None, None)

    def crash(self, action, options, bits=64, target_bits=None, name="crash.dmp"):
        """The target crashes with action under varnhold -e and the options;
        returns (run output, dump path) once the run has ended."""
        target = harness.Target(["wait-stdin", action, "sleep:60000"], bits=target_bits or bits)
        self.addCleanup(target.kill)
        path, win = self.dumps.file(name)
        run = harness.start_varnhold(["-e"] + options + [str(target.pid), win], bits=bits)
        self.addCleanup(run.kill)
        run.wait_for_line("Dump file:", 30)
        target.wait_for_line("debugger attached", 30)
        target.send_line()
        run.wait(90)
        self.assertEqual(0, run.returncode, run.output)
        return run.output, path

    def assert_in_function(self, frame, ranges, function):
        first, end = ranges[function]
        self.assertEqual("vh_target.exe", frame.get("module"), frame)
        self.assertTrue(first <= frame["offset"] < end,
                        "0x%x not in %s (0x%x to 0x%x)" % (frame["offset"], function, first, end))

    def test_crash_three_calls_deep_names_the_write_and_the_own_frames_in_order(self):
        for bits, target_bits in BUILDS:
            with self.subTest(build=bits, target=target_bits):
                if 32 in (bits, target_bits):
                    harness.require_32_bit()
                out, path = self.crash("deep-av", ["-stack", "-meta"], bits, target_bits,
                                       "deep%d_%d.dmp" % (bits, target_bits))
                address = "0x" + "0" * (14 if target_bits == 64 else 6) + "10"
                header, frames, end = stack_of(out)
                self.assertRegex(header, r"^Crash: ACCESS_VIOLATION writing %s in "
                                 r"vh_target\.exe\+0x[0-9a-f]+$" % address)
                # After the dump's own line, before the series' last.
                self.assertLess(out.index("Written: "), out.index(header))
                self.assertLess(out.index(header), out.index("Dump written.\n"))
                ranges = function_ranges(target_bits)
                for frame, function in zip(frames, OWN_FRAMES):
                    self.assert_in_function(frame, ranges, function)
                self.assertTrue(header.endswith("vh_target.exe+0x%x" % frames[0]["offset"]))
                self.assertIsNone(end, out)  # walked to the stack's end
                self.assertEqual("ntdll.dll", frames[-1]["module"])
                # A 32-bit stack is walked by its frame pointers: every frame
                # after the first is marked as such a guess.
                guessed = [f.get("found") == "framePointer" for f in frames[1:]]
                self.assertEqual([target_bits == 32] * len(guessed), guessed)

                meta = metadata(path)
                self.assertEqual(header.split(": ", 1)[1].split(" in ")[0],
                                 meta["crash"]["reason"])
                self.assertEqual(0x10, meta["crash"]["address"])
                self.assertEqual(frames, meta["crash"]["frames"])
                self.assertNotIn("incomplete", meta["crash"])
                self.assertEqual(ACCESS_VIOLATION, harness.read_dump(path).exception.code)

    def test_same_crash_in_two_runs_has_one_signature_everywhere(self):
        out, first = self.crash("deep-av", ["-stack", "-meta"], name="first.dmp")
        log, log_win = self.dumps.file("events.log")
        with CrashServer([answer(200, "CrashID=bp-1\n")]) as server:
            # Without -stack not a line of the output changes.
            quiet, second = self.crash("deep-av", ["-meta", "-log", log_win, "-upload",
                                                   server.url()], name="second.dmp")
            (request,) = server.requests
        self.assertNotRegex(quiet, r"(?m)^(Crash: |Hung: |  at |  \(stack)")
        _, frames, _ = stack_of(out)
        one, two = metadata(first), metadata(second)
        own = " | ".join("vh_target.exe+0x%x" % f["offset"] for f in frames[:3])
        self.assertEqual(own + " | ACCESS_VIOLATION writing", one["signature"])
        self.assertEqual(one["signature"], two["signature"])
        self.assertEqual(one["crash"], two["crash"])
        self.assertEqual(two["signature"], request.parts["signature"].data.decode())
        (written,) = [e for e in map(json.loads, log.read_text(encoding="utf-8").splitlines())
                      if e["event"] == "dump_written"]
        self.assertEqual((two["signature"], two["crash"]["reason"], own.split(" | ")[0]),
                         (written["signature"], written["crashReason"], written["topFrame"]))

    def test_stack_through_code_without_unwind_data(self):
        for bits in (64, 32):
            with self.subTest(build=bits):
                if bits == 32:
                    harness.require_32_bit()
                out, path = self.crash("nounwind-av", ["-stack", "-meta"], bits,
                                       name="nounwind%d.dmp" % bits)
                _, frames, end = stack_of(out)
                ranges = function_ranges(bits)
                for frame, function in zip(frames, OWN_FRAMES + ["vh_call_without_unwind_data"]):
                    self.assert_in_function(frame, ranges, function)
                if bits == 64:
                    # The frame of code without unwind data is found, its
                    # caller would be a guess: the walk ends there, and says so.
                    self.assertEqual(4, len(frames), out)
                    self.assertEqual(CUT_SHORT % NO_UNWIND_DATA, end)
                    self.assertEqual(NO_UNWIND_DATA, metadata(path)["crash"]["incomplete"])
                else:
                    # Its frame pointer leads on to its caller.
                    self.assertIsNone(end, out)
                    self.assertEqual("ntdll.dll", frames[-1]["module"])
                self.assertEqual(frames, metadata(path)["crash"]["frames"])

    def test_target_gone_before_the_walk_gives_the_frames_so_far_and_says_so(self):
        # The callback library ends the target while its dump is written.
        library = harness.win_path(harness.fixture("vh_callback_endtarget.dll"))
        out, path = self.crash("deep-av", ["-stack", "-meta", "-d", library])
        header, frames, end = stack_of(out)
        self.assertTrue(header.startswith("Crash: ACCESS_VIOLATION writing 0x"), header)
        self.assertLessEqual(len(frames), 1, out)
        self.assertEqual(CUT_SHORT % PROCESS_ENDED, end)
        self.assertEqual(PROCESS_ENDED, metadata(path)["crash"]["incomplete"])

    def test_just_in_time_record_gets_the_report_of_the_context_it_names(self):
        target = harness.Target(["jit-record", "sleep:60000"])
        self.addCleanup(target.kill)
        _, address, _ = target.wait_for_line("jit ", 30).split()
        path, win = self.dumps.file("jit.dmp")
        result = harness.run_varnhold(["-stack", "-meta", "-j", win, str(target.pid), "12",
                                       address], timeout=60)
        self.assertEqual(0, result.returncode, result.stdout)
        header, frames, _ = stack_of(result.stdout)
        # The record the target built: a write to address 0, at its own
        # captured context.
        self.assertTrue(header.startswith("Crash: ACCESS_VIOLATION writing 0x%s in " % ("0" * 16)),
                        header)
        self.assert_in_function(frames[0], function_ranges(64), "BuildJitRecord()")
        self.assertEqual(frames, metadata(path)["crash"]["frames"])

    @unittest.skipUnless(harness.has_display(),
                         "a window needs an X display: run inside xvfb-run (the runner does)")
    def test_hung_window_dump_tells_the_window_threads_stack(self):
        target = harness.Target(["hang-window"])
        self.addCleanup(target.kill)
        target.wait_for_line("window hung", 30)
        path, win = self.dumps.file("hang.dmp")
        result = harness.run_varnhold(["-h", "-stack", "-meta", str(target.pid), win],
                                      timeout=60)
        self.assertEqual(0, result.returncode, result.stdout)
        header, frames, _ = stack_of(result.stdout)
        self.assertTrue(header.startswith("Hung: window not responding in "), header)
        first, end = function_ranges(64)["ShowAndHangWindow()"]
        self.assertTrue(any(f.get("module") == "vh_target.exe" and first <= f["offset"] < end
                            for f in frames), result.stdout)
        crash = metadata(path)["crash"]
        self.assertEqual(("window not responding", None, frames),
                         (crash["reason"], crash["address"], crash["frames"]))


if __name__ == "__main__":
    unittest.main()
