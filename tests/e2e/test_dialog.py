"""The dialog program varnhold_ui, driven from outside by tests/fixtures/ui_driver.

Each test starts its own copy of varnhold_ui.exe in a fresh folder, so that the
console program it writes beside itself (varnhold-<its pid>.exe) never lands in
dist/. Wine's edit control
shows no balloon tips (EM_SHOWBALLOONTIP does nothing there), so where the
dialog would show one the tests check what it did instead: where the focus
went, which text came back, that nothing was written or started.
Screenshots of the three dialogs are kept in build/artifacts/.
"""

import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
import zlib
from pathlib import Path

import harness

MAIN = "varnhold_ui"
DUMP, CANCEL, ABOUT = 1, 2, 57664
CPU_ENABLE, CPU_ABOVE, CPU_BELOW, CPU_USAGE = 1000, 1001, 1002, 1003
MEM_ENABLE, MEM_ABOVE, MEM_BELOW, MEM_USAGE = 1004, 1005, 1006, 1007
HUNG_WINDOW, EXCEPTION, PROCESS_EXIT = 1008, 1009, 1010
NAME, PROCESS_ID, OPEN_PROCESS, DUMP_PATH = 1011, 1012, 1013, 1014
MINI_DUMP, FULL_DUMP, EFFECTIVE_DUMP = 1017, 1018, 1019
PICKER_TREE, WEB_LINK = 1015, 1018

STILL_RUNNING = ("varnhold.exe is still running.\r\n"
                 "Use Ctrl+C to detach and terminate varnhold first")
ARTIFACTS = harness.BUILD / "artifacts"
ANSWER = re.compile(r"^(ok|err)( |$)")


def driver_exe():
    return harness.fixture("ui_driver.exe", bits=32)


def bmp_to_png(bmp, png):
    """A 24-bit bottom-up BMP as an RGB PNG, with the standard library only."""
    data = Path(bmp).read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24 or height <= 0:
        raise ValueError("%s: not a bottom-up 24-bit bitmap" % bmp)
    stride = (width * 3 + 3) & ~3
    raw = bytearray()
    for y in range(height):
        row = data[offset + (height - 1 - y) * stride:][:width * 3]
        raw.append(0)  # no filter
        for x in range(0, len(row), 3):
            raw += bytes((row[x + 2], row[x + 1], row[x]))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    Path(png).write_bytes(b"\x89PNG\r\n\x1a\n"
                          + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                          + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


class Driver:
    """The driver program: one command line in, one answer line out."""

    def __init__(self):
        self.proc = harness.WineProcess(driver_exe(), [], stdin_pipe=True)

    def __call__(self, *fields, timeout=60):
        self.proc.send_line("\t".join(str(f) for f in fields))
        line = self.proc.wait_for_line(ANSWER, timeout)
        if line.startswith("err"):
            raise AssertionError("driver: %s -> %s" % (" ".join(map(str, fields)), line))
        return line[3:].replace("\\r", "\r").replace("\\n", "\n").replace("\\\\", "\\")

    def state(self, control):
        enabled, check = self("state", control).split()
        return enabled == "1", int(check)

    def typed(self, control, text):
        """The user's typing: the edit has the focus while its text changes."""
        self("focus", control)
        self("set", control, text)

    def shot(self, name):
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        bmp = ARTIFACTS / (name + ".bmp")
        self("shot", harness.win_path(bmp))  # the driver lets the dialog finish painting first
        bmp_to_png(bmp, ARTIFACTS / (name + ".png"))
        bmp.unlink()

    def close(self):
        self.proc.kill()


@unittest.skipUnless(harness.has_display(), "the dialogs need a display (scripts/test runs Xvfb)")
class DialogTest(unittest.TestCase):
    def setUp(self):
        harness.TMP.mkdir(parents=True, exist_ok=True)
        self.folder = Path(tempfile.mkdtemp(prefix="dialog-", dir=str(harness.TMP)))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.ui_image = self.folder / "varnhold_ui.exe"
        shutil.copyfile(harness.ui_exe(), self.ui_image)
        self.ui = harness.WineProcess(self.ui_image, [], cwd=self.folder)
        self.addCleanup(self.ui.kill)
        self.drive = Driver()
        self.addCleanup(self.drive.close)
        self.drive("wait", MAIN, 30000)

    def console_images(self):
        """The console programs the dialog has written beside itself."""
        return sorted(p for p in self.folder.iterdir()
                      if re.match(r"^varnhold-\d+(-\d+)?\.exe$", p.name))

    def close_dialog(self):
        self.drive("close")
        return self.ui.wait(30)

    def started_programs(self):
        """Windows command lines of what the dialog program started. Wine
        starts its desktop window's process (explorer.exe /desktop) for the
        first window of a prefix, with the dialog's environment: that one is
        Wine's, not the dialog's."""
        return [cmdline for _, cmdline in self.ui.windows_processes()
                if "varnhold_ui.exe" not in cmdline.lower()
                and not cmdline.lower().endswith("explorer.exe /desktop")]

    def test_fresh_start_shows_the_defaults(self):
        drive = self.drive
        drive.shot("main_dialog")
        self.assertEqual(drive.state(MINI_DUMP)[1], 1)
        self.assertEqual([drive.state(c)[1] for c in (FULL_DUMP, EFFECTIVE_DUMP)], [0, 0])
        for enable, above, below, usage, number in ((CPU_ENABLE, CPU_ABOVE, CPU_BELOW, CPU_USAGE,
                                                     "10"),
                                                    (MEM_ENABLE, MEM_ABOVE, MEM_BELOW, MEM_USAGE,
                                                     "50")):
            self.assertEqual(drive.state(enable), (True, 0))
            self.assertEqual(drive.state(above), (False, 1))
            self.assertEqual(drive.state(below), (False, 0))
            self.assertFalse(drive.state(usage)[0])
            self.assertEqual(drive("text", usage), number)
        for box in (HUNG_WINDOW, EXCEPTION, PROCESS_EXIT):
            self.assertEqual(drive.state(box), (True, 0))
        self.assertEqual(drive("text", NAME), "")
        self.assertEqual(drive("text", PROCESS_ID), "")
        self.assertRegex(drive("text", DUMP_PATH), r"^[A-Za-z]:\\.*\\Desktop\\Minidump\.dmp$")
        self.assertEqual(self.close_dialog(), 2)

    def test_enable_rule_and_range_guard(self):
        drive = self.drive
        drive("click", CPU_ENABLE)
        self.assertEqual([drive.state(c)[0] for c in (CPU_ABOVE, CPU_BELOW, CPU_USAGE)],
                         [True] * 3)
        self.assertEqual([drive.state(c)[0] for c in (MEM_ABOVE, MEM_BELOW, MEM_USAGE)],
                         [False] * 3)
        drive("click", MEM_ENABLE)
        self.assertTrue(drive.state(MEM_USAGE)[0])
        drive("click", CPU_ENABLE)
        self.assertEqual([drive.state(c)[0] for c in (CPU_ABOVE, CPU_BELOW, CPU_USAGE)],
                         [False] * 3)
        drive("click", CPU_ENABLE)

        drive.typed(CPU_USAGE, "100")
        drive("type", CPU_USAGE, "0")  # 1000: out of range, the balloon's case
        self.assertEqual(drive("text", CPU_USAGE), "100")
        self.assertEqual(drive("focused"), str(CPU_USAGE))
        drive.typed(CPU_USAGE, "")  # no number: a beep and the last number back
        self.assertEqual(drive("text", CPU_USAGE), "100")
        drive.typed(MEM_USAGE, "4096")
        drive("type", MEM_USAGE, "1")
        self.assertEqual(drive("text", MEM_USAGE), "4096")
        self.assertEqual(drive("msgbox", 500), "none")
        self.assertEqual(self.close_dialog(), 2)

    def test_dump_refuses_missing_or_unsafe_input_and_starts_nothing(self):
        drive = self.drive
        drive("click", DUMP)
        self.assertEqual(drive("focused"), str(NAME))  # "Please input process name"

        drive.typed(NAME, "no-such-program.exe")
        self.assertEqual(drive("text", PROCESS_ID), "0")
        drive.typed(PROCESS_ID, "")
        self.assertEqual(drive("text", NAME), "no-such-program.exe")
        drive("focus", CANCEL)
        drive("click", DUMP)
        self.assertEqual(drive("focused"), str(PROCESS_ID))  # "Please input process id"

        drive.typed(PROCESS_ID, "0")  # accepted, and it empties the name ...
        drive.typed(NAME, "no-such-program.exe")  # ... which the name edit gets back
        drive("set", DUMP_PATH, "")
        drive("focus", CANCEL)
        drive("click", DUMP)
        self.assertEqual(drive("focused"), str(DUMP_PATH))  # "Please input dump file path"

        # A quote would end the quoting of the line given to cmd.exe and run
        # the rest of the path as commands; no file name can hold one anyway.
        drive("set", DUMP_PATH, harness.win_path(self.folder) + '\\x" & echo hi > "y.dmp')
        drive("focus", CANCEL)
        drive("click", DUMP)
        self.assertEqual(drive("focused"), str(DUMP_PATH))
        self.assertEqual(drive("msgbox", 500), "none")
        self.assertEqual([], self.console_images())
        self.assertEqual(self.started_programs(), [])

        # A folder the image cannot be written into makes writing it fail.
        # Tests run as root, for whom only an immutable folder is unwritable.
        made = subprocess.run(["chattr", "+i", str(self.folder)], capture_output=True)
        if made.returncode != 0:
            self.skipTest("no immutable folders here: %s" % made.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["chattr", "-i", str(self.folder)])
        drive("set", DUMP_PATH, harness.win_path(self.folder / "x.dmp"))
        drive("post", DUMP)
        self.assertEqual(drive("msgbox", 30000),
                         "Unable to extract image. Run varnhold_ui from a writeable directory.")
        self.assertEqual(self.started_programs(), [])
        self.assertEqual(self.close_dialog(), 2)

    def test_dump_runs_the_console_program_in_a_console_window(self):
        drive = self.drive
        target_image = self.folder / "vh_dialog_target.exe"
        shutil.copyfile(harness.target_exe(32), target_image)
        dump_linux = self.folder / "dumps" / "from dialog.dmp"
        with harness.Target(["sleep:120000"], bits=32, image=target_image) as target:
            drive.typed(NAME, "VH_Dialog_Target.exe")  # only A to Z fold
            self.assertEqual(drive("text", PROCESS_ID), str(target.pid))
            drive("set", NAME, "")
            drive.typed(PROCESS_ID, str(target.pid))
            self.assertEqual(drive("text", NAME), "vh_dialog_target.exe")
            drive("set", DUMP_PATH, harness.win_path(dump_linux))
            drive("click", DUMP)

            images = self.console_images()
            self.assertEqual(1, len(images), images)
            self.image = images[0]
            self.assertEqual(self.image.read_bytes(), (harness.DIST / "varnhold.exe").read_bytes())
            started = self.started_programs()
            self.assertTrue(any("cmd.exe" in c.lower() for c in started), started)
            self.wait_for_console_program(dump_linux)
            dump = harness.read_dump(dump_linux)
            self.assertIn(" %d " % target.pid, dump.comment_w.text)
            self.assertTrue(any(m.lower().endswith("vh_dialog_target.exe")
                                for m in dump.module_names), dump.module_names)

            # cmd.exe now waits at "pause": its window is still open.
            drive("post", DUMP)
            self.assertEqual(drive("msgbox", 30000), STILL_RUNNING)
            self.assertEqual(self.close_dialog(), 2)
            self.assertEqual([], self.console_images())

    def wait_for_console_program(self, dump, timeout=90):
        """Until the console program has written the dump and ended."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            running = any(c.lower().startswith(harness.win_path(self.image).lower())
                          for c in self.started_programs())
            if dump.exists() and not running:
                return
            time.sleep(0.3)
        self.fail("no dump from the console program: %s" % self.started_programs())

    def test_picker_and_about_box(self):
        drive = self.drive
        drive("post", OPEN_PROCESS)
        drive("wait", "Processes", 30000)
        drive.shot("processes_dialog")
        drive("post", DUMP)  # OK in the picker, nothing selected yet
        self.assertEqual(drive("msgbox", 30000), "Please select a process to dump.")
        drive("selectfirst", PICKER_TREE)
        drive("post", DUMP)
        drive("gone", 30000)
        drive("wait", MAIN, 30000)
        self.assertRegex(drive("text", PROCESS_ID), r"^[0-9]+$")

        drive("post", ABOUT)
        drive("wait", "About", 30000)
        drive.shot("about_dialog")
        self.assertEqual(drive("text", WEB_LINK), "varnhold.example.org")
        drive("post", 1)
        drive("gone", 30000)
        drive("wait", MAIN, 30000)
        self.assertEqual(self.close_dialog(), 2)


if __name__ == "__main__":
    unittest.main()
