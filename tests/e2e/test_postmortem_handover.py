"""The postmortem registration of -i in both builds, the real postmortem start
of a crashing process by Wine, and the 32-bit build's hand-over of a run to its
embedded 64-bit build under Wine's real WOW64.

The programs run from copies in folders whose names have blanks, so that the
registered command line is checked with quoted paths and the extracted
copy of the 64-bit build appears in a folder of this module's own. The AeDebug values of
the prefix are saved before the first test and restored after the last.
"""

import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

import harness
import minidump
from crash_server import CrashServer, answer
from test_command_line import BANNER, plain

AEDEBUG = {
    64: r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AeDebug",
    32: r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug",
}
AEDEBUG_VALUES = ("Auto", "Debugger")
# Where -i keeps the values it replaces, for -iu.
SAVED_VALUES = ("VarnholdSavedAuto", "VarnholdSavedDebugger")
ALL_VALUES = AEDEBUG_VALUES + SAVED_VALUES
# What a fresh prefix has in both views.
WINEDBG = {"Auto": "1", "Debugger": "winedbg --auto %ld %ld"}
WINEDBG_KEY = r"HKCU\Software\Wine\WineDbg"
SET_BLOCK = "Set:\n  {key}\n    (REG_SZ) Auto     = 1\n    (REG_SZ) Debugger = {line}\n\n"
EXTRACT_FAILED = "Unable to extract x64 image. Run varnhold from a writeable directory.\n"
DETACHING = "\nDetaching...\n"
ACCESS_VIOLATION = 0xC0000005
ARCHITECTURE = {64: harness.minidump.ARCH_AMD64, 32: harness.minidump.ARCH_X86}
# Each hand-over writes the 64-bit build under a name of its own run.
EXTRACTED = re.compile(r"^varnhold64-\d+(-\d+)?\.exe$")
# A postmortem start took 0.6 to 2 s here from the crash to the end of
# the crashed process, the dump included; much more is allowed on a busy machine.
POSTMORTEM_TIMEOUT = 90
RUN_TIMEOUT = 90


# -- the registry of the prefix, through Wine's own reg.exe ---------------------

def reg(*args):
    """Runs `wine reg` on the 64-bit registry view; the 32-bit view is reached
    through its Wow6432Node path, as the program's messages name it."""
    result = subprocess.run(["wine", "reg"] + list(args) + ["/reg:64"],
                            env=harness.wine_environment(), stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=60)
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", "")


def read_values(key, names=AEDEBUG_VALUES):
    """{name: data} of the string values of the key (of those named, when
    names is not None)."""
    _, out = reg("query", key)
    values = {}
    for line in out.splitlines():
        match = re.match(r"^    (\S+)    REG_(?:SZ|DWORD)    (.*)$", line)
        if match and (names is None or match.group(1) in names):
            values[match.group(1)] = match.group(2)
    return values


def write_values(key, values, names):
    """Makes the named values of the key what `values` holds: written, or
    deleted when absent there."""
    for name in names:
        if name in values:
            reg("add", key, "/v", name, "/t", "REG_SZ", "/d", values[name], "/f")
        else:
            reg("delete", key, "/v", name, "/f")


SENTINEL = {"Auto": "0", "Debugger": "sentinel %ld %ld"}

_programs = {}  # bits -> Linux path of this module's copy of that build


def setUpModule():
    harness.ensure_wineserver()
    saved = {bits: read_values(key, ALL_VALUES) for bits, key in AEDEBUG.items()}

    def restore():
        for bits, key in AEDEBUG.items():
            write_values(key, saved[bits], ALL_VALUES)
    unittest.addModuleCleanup(restore)

    # Wine's crash dialog would wait for a click under a display; the setup
    # script turns it off, a prefix made otherwise may not have it.
    dialog = read_values(WINEDBG_KEY, None).get("ShowCrashDialog")
    if dialog != "0x0":
        reg("add", WINEDBG_KEY, "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f")
        if dialog is None:
            unittest.addModuleCleanup(reg, "delete", WINEDBG_KEY, "/v", "ShowCrashDialog", "/f")
        else:
            unittest.addModuleCleanup(reg, "add", WINEDBG_KEY, "/v", "ShowCrashDialog", "/t",
                                      "REG_DWORD", "/d", dialog, "/f")

    harness.TMP.mkdir(parents=True, exist_ok=True)
    root = Path(tempfile.mkdtemp(prefix="postmortem programs ", dir=str(harness.TMP)))
    unittest.addModuleCleanup(shutil.rmtree, root, True)
    for bits in (64, 32):
        folder = root / ("build %d" % bits)
        folder.mkdir()
        _programs[bits] = folder / "varnhold.exe"
        shutil.copy(harness.exe(bits), _programs[bits])


def program(bits):
    return _programs[bits]


def program_folder_files(bits=32):
    return sorted(p.name for p in program(bits).parent.iterdir())


def extracted_images(folder=None):
    """The hand-over copies of the 64-bit build lying in the folder (by
    default the 32-bit build's own)."""
    folder = folder or program(32).parent
    return sorted(p.name for p in Path(folder).iterdir() if EXTRACTED.match(p.name))


def debugger_line(bits, option, dump_win):
    return '"%s"%s -j "%s" %%ld %%ld %%p' % (harness.win_path(program(bits)), option, dump_win)


def callback_library(bits, folder):
    """A copy, in a folder with a blank, of the counting user callback library
    of that bitness."""
    built = harness.fixture("vh_callback_count.dll", bits)
    copy = folder / ("my libs %d" % bits) / "count callback.dll"
    copy.parent.mkdir(exist_ok=True)
    shutil.copy(built, copy)
    return harness.win_path(copy)


class PostmortemTest(unittest.TestCase):
    def events(self, log):
        # Every line is whole JSON: runs writing at once never cut each other.
        return [json.loads(line) for line in log.read_text(encoding="utf-8").splitlines()]

    @classmethod
    def setUpClass(cls):
        cls._sleepers = {}

    @classmethod
    def sleeper(cls, bits):
        """A target of that bitness that sleeps for the class's tests, started
        by the first test that asks for it (a 32-bit one skips where 32-bit
        programs cannot start)."""
        if bits not in cls._sleepers:
            cls._sleepers[bits] = harness.Target(["sleep:300000"], bits=bits)
            cls.addClassCleanup(cls._sleepers[bits].kill)
        return cls._sleepers[bits]

    def setUp(self):
        self.dumps = harness.DumpDir("postmortem")
        self.addCleanup(self.dumps.__exit__, None, None, None)

    def crashes(self, count, together=False):
        """That many targets crashing with an access violation, one after the
        other or, together, at the same moment; each waited for."""
        targets = []
        for _ in range(count):
            targets.append(harness.Target(["wait-stdin", "av"] if together else ["av"]))
            self.addCleanup(targets[-1].kill)
            if not together:
                targets[-1].wait(POSTMORTEM_TIMEOUT)
        if together:
            for target in targets:
                target.send_line()
            for target in targets:
                target.wait(POSTMORTEM_TIMEOUT)
        return targets

    def register(self, bits, options, dump_win, target_bits=None):
        """-i from the copy of that build, aimed at a sleeping target; -n 0
        keeps the run that follows the registration from writing a dump."""
        target = self.sleeper(target_bits or bits)
        return harness.run_varnhold(["-n", "0"] + options + ["-i", dump_win, str(target.pid)],
                                    image=program(bits), timeout=RUN_TIMEOUT)


class Registration(PostmortemTest):
    def test_set_blocks_and_registry_values_for_each_dump_content_option(self):
        dump, dump_win = self.dumps.file("crash dumps/post mortem.dmp")
        libraries = {bits: callback_library(bits, self.dumps.path) for bits in (64, 32)}
        cases = [
            (64, ["-ma"], " -ma"),
            (64, ["-mp"], " -mp"),
            (64, [], ""),
            (64, ["-d", "lib"], ' -d "lib"'),
            (64, ["-ma", "-mp", "-d", "lib"], " -ma"),
            (64, ["-mp", "-d", "lib"], " -mp"),
            (32, ["-ma"], " -ma"),
            (32, ["-mp", "-ma"], " -ma"),
            (32, ["-d", "lib"], ' -d "lib"'),
        ]
        for bits, options, option in cases:
            with self.subTest(build=bits, options=options):
                if "lib" in options:
                    options = [libraries[bits] if o == "lib" else o for o in options]
                    option = option.replace("lib", libraries[bits])
                for key in AEDEBUG.values():
                    write_values(key, SENTINEL, AEDEBUG_VALUES)

                result = self.register(bits, options, dump_win)
                self.assertEqual(0, result.returncode, result.stdout)
                line = debugger_line(bits, option, dump_win)
                expected = SET_BLOCK.format(key=AEDEBUG[64], line=line)
                if bits == 32:
                    expected = BANNER + expected + SET_BLOCK.format(key=AEDEBUG[32], line=line)
                out = plain(result.stdout)
                self.assertEqual(expected, out[:out.find("Process:")], out)
                self.assertTrue(out.endswith("Dump written.\n"), out)

                self.assertEqual({"Auto": "1", "Debugger": line}, read_values(AEDEBUG[64]))
                self.assertEqual({"Auto": "1", "Debugger": line} if bits == 32 else SENTINEL,
                                 read_values(AEDEBUG[32]))
        self.assertFalse(dump.exists())

    def test_a_missing_key_is_reported_not_created_and_the_run_goes_on_to_end_with_1(self):
        # The tests run with full rights on the prefix's registry, so a key
        # that can be opened can be written: the "Failed to set:" reports
        # cannot be reached here, only the "Failed to open:" ones.
        _, dump_win = self.dumps.file("post mortem.dmp")
        for bits, missing in ((64, 64), (32, 32), (32, 64)):
            with self.subTest(build=bits, missing_view=missing):
                for key in AEDEBUG.values():
                    write_values(key, SENTINEL, AEDEBUG_VALUES)
                reg("delete", AEDEBUG[missing], "/f")
                self.addCleanup(write_values, AEDEBUG[missing], SENTINEL, AEDEBUG_VALUES)

                result = self.register(bits, [], dump_win)
                # The dump is written; the failed registration is no success.
                self.assertEqual(1, result.returncode, result.stdout)
                line = debugger_line(bits, "", dump_win)
                expected = "Failed to open:\n  %s\n" % AEDEBUG[missing]
                if missing == 32:
                    expected = SET_BLOCK.format(key=AEDEBUG[64], line=line) + expected
                if bits == 32:
                    expected = BANNER + expected
                out = plain(result.stdout)
                self.assertEqual(expected, out[:out.find("Process:")], out)
                self.assertEqual({}, read_values(AEDEBUG[missing]))
                other = 32 if missing == 64 else 64
                self.assertEqual(SENTINEL if missing == 64 else {"Auto": "1", "Debugger": line},
                                 read_values(AEDEBUG[other]))
                write_values(AEDEBUG[missing], SENTINEL, AEDEBUG_VALUES)

    def test_a_handed_over_run_keeps_the_registration_of_the_32bit_build(self):
        # The 64-bit build sees -i on the command line it is given; the image
        # it runs from is deleted at the end, so it must not register itself.
        _, dump_win = self.dumps.file("crash dumps/post mortem.dmp")
        for key in AEDEBUG.values():
            write_values(key, SENTINEL, AEDEBUG_VALUES)
        result = self.register(32, ["-mp"], dump_win, target_bits=64)
        self.assertEqual(0, result.returncode, result.stdout)
        line = debugger_line(32, " -mp", dump_win)
        out = plain(result.stdout)
        self.assertEqual(BANNER + SET_BLOCK.format(key=AEDEBUG[64], line=line) +
                         SET_BLOCK.format(key=AEDEBUG[32], line=line),
                         out[:out.find("Process:")], out)
        self.assertEqual(2, out.count("Set:\n"), out)
        self.assertIn("Process:               vh_target.exe (%d)" % self.sleeper(64).pid, out)
        for key in AEDEBUG.values():
            self.assertEqual({"Auto": "1", "Debugger": line}, read_values(key))
        self.assertEqual([], extracted_images())


class RegistrationOnly(PostmortemTest):
    """-i without a target, and -iu."""

    def run_alone(self, bits, args):
        result = harness.run_varnhold(args, image=program(bits), timeout=RUN_TIMEOUT)
        out = plain(result.stdout)
        if bits == 32:
            self.assertTrue(out.startswith(BANNER), out)
            out = out[len(BANNER):]
        return result, out

    def test_i_alone_registers_in_every_view_and_ends(self):
        _, dump_win = self.dumps.file("alone/crash.dmp")
        for bits in (64, 32):
            with self.subTest(build=bits):
                for key in AEDEBUG.values():
                    write_values(key, WINEDBG, ALL_VALUES)
                result, out = self.run_alone(bits, ["-ma", "-i", dump_win])
                line = debugger_line(bits, " -ma", dump_win)
                views = (64, 32) if bits == 32 else (64,)
                self.assertEqual((0, "".join(SET_BLOCK.format(key=AEDEBUG[v], line=line)
                                             for v in views)), (result.returncode, out))
                # Nothing is looked up or opened, nothing is waited for.
                self.assertLess(result.elapsed, 20)
                for view in (64, 32):
                    self.assertEqual({"Auto": "1", "Debugger": line} if view in views else WINEDBG,
                                     read_values(AEDEBUG[view]))

    def test_iu_gives_back_what_i_replaced(self):
        _, dump_win = self.dumps.file("undo.dmp")
        restored = "Restored:\n  {key}\n{lines}\n"
        ours = debugger_line(64, "", dump_win)
        cases = [
            # Registering twice keeps the first original.
            ("the prefix's winedbg", WINEDBG, 2, restored.format(
                key=AEDEBUG[64], lines="    (REG_SZ) Auto     = 1\n"
                "    (REG_SZ) Debugger = winedbg --auto %ld %ld\n")),
            ("an absent value is deleted again", {"Auto": "0"}, 1, restored.format(
                key=AEDEBUG[64], lines="    (REG_SZ) Auto     = 0\n    (deleted) Debugger\n")),
            ("ours with nothing kept", {"Auto": "1", "Debugger": ours}, 0,
             "Deleted:\n  %s\n    Auto\n    Debugger\n\n" % AEDEBUG[64]),
        ]
        for what, before, registrations, block in cases:
            with self.subTest(what):
                write_values(AEDEBUG[64], before, ALL_VALUES)
                for index in range(registrations):
                    self.assertEqual(0, self.run_alone(64, ["-i", "%s%d" % (dump_win, index)])[0]
                                     .returncode)
                result, out = self.run_alone(64, ["-iu"])
                self.assertEqual((0, block), (result.returncode, out))
                expected = {} if before.get("Debugger") == ours else before
                self.assertEqual(expected, read_values(AEDEBUG[64], ALL_VALUES))

    def test_iu_without_our_registration_changes_nothing(self):
        for key in AEDEBUG.values():
            write_values(key, WINEDBG, ALL_VALUES)
        before = {bits: read_values(key, None) for bits, key in AEDEBUG.items()}
        result, out = self.run_alone(64, ["-iu"])
        self.assertEqual((1, "varnhold is not the registered postmortem debugger:\n  %s\n"
                          "    (REG_SZ) Debugger = winedbg --auto %%ld %%ld\n\n" % AEDEBUG[64]),
                         (result.returncode, out))
        self.assertEqual(before, {bits: read_values(key, None) for bits, key in AEDEBUG.items()})


class PostmortemStart(PostmortemTest):
    """Wine starts the registered debugger for an unhandled exception with the
    process identifier, an event handle value and, in the third place, an
    address that holds no just-in-time record (see the dump check below);
    Windows passes a real record, which Wine cannot show."""

    def crash(self, bits):
        """Starts a target of that bitness that faults at once and waits for
        its end; returns it and its output, which holds the debugger's too."""
        target = harness.Target(["av"], bits=bits)
        self.addCleanup(target.kill)
        returncode = target.wait(POSTMORTEM_TIMEOUT)
        # The crashed process ends with its exception code (modulo 256).
        self.assertEqual(ACCESS_VIOLATION & 0xFF, returncode, target.output)
        return target, plain(target.output)

    def check_dump(self, path, dump_win, target, registered_bits, dump_bits, option=""):
        dump = harness.read_dump(path)
        self.assertEqual(ARCHITECTURE[dump_bits], dump.system_info.processor_architecture)
        self.assertIsNone(dump.exception)
        self.assertRegex(
            dump.comment_w.text,
            r'^\n\*\*\* %s%s -j "%s" %d \d+ [0-9A-Fa-f]+\n'
            r"\*\*\* Just-In-Time debugger\. PID: %d Event Handle: \d+ "
            r"JIT Context: \.jdinfo 0x[0-9A-Fa-f]+\.\n$"
            % (re.escape('"%s"' % harness.win_path(program(registered_bits))), option,
               re.escape(dump_win), target.pid, target.pid))
        return dump

    def test_64bit_build_dumps_a_crashing_process_with_the_registered_option(self):
        path, dump_win = self.dumps.file("jit 64/crash.dmp")
        self.assertEqual(0, self.register(64, ["-ma"], dump_win).returncode)
        target, out = self.crash(64)
        self.assertIn("Writing dump file %s ...\nDump written.\n" % dump_win,
                      harness.without_file_lines(out))
        self.assertNotIn("varnhold v1.0", out)
        dump = self.check_dump(path, dump_win, target, 64, 64, " -ma")
        self.assertEqual(0x41927, dump.flags)  # -ma was carried into the registration

    def test_registration_without_a_target_dumps_a_later_crash(self):
        path, dump_win = self.dumps.file("jit alone/crash.dmp")
        result = harness.run_varnhold(["-i", dump_win], image=program(64), timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        target, out = self.crash(64)
        self.assertIn("Writing dump file %s ...\nDump written.\n" % dump_win,
                      harness.without_file_lines(out))
        self.check_dump(path, dump_win, target, 64, 64)

    def test_32bit_build_dumps_32bit_crashes_itself_and_hands_64bit_ones_over(self):
        path, dump_win = self.dumps.file("jit 32/crash.dmp")
        # Registered by a run that is itself handed over: the 64-bit view must
        # still start the 32-bit build.
        self.assertEqual(0, self.register(32, [], dump_win, target_bits=64).returncode)
        for bits in (32, 64):
            with self.subTest(crashing=bits):
                if path.exists():
                    path.unlink()
                target, out = self.crash(bits)
                self.assertEqual(1, out.count("varnhold v1.0"), out)
                self.assertIn("Writing dump file %s ...\nDump written.\n" % dump_win,
                      harness.without_file_lines(out))
                self.check_dump(path, dump_win, target, 32, bits)
                self.assertEqual([], extracted_images())


class EveryCrash(PostmortemTest):
    """A registered postmortem start never loses a later crash: a dump file
    already there is followed by the next free numbered name, a dump folder
    gets a file per crash named after it, and -keep, -free and -meta travel
    with the registration."""

    def register_alone(self, options, dump_win):
        result = harness.run_varnhold(options + ["-i", dump_win], image=program(64),
                                      timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        return plain(result.stdout)

    def crash(self, actions=("av",)):
        target = harness.Target(list(actions))
        self.addCleanup(target.kill)
        return target

    def dump_names(self, folder):
        names = sorted(p.name for p in folder.iterdir() if p.suffix == ".dmp")
        for name in names:
            harness.read_dump(folder / name)  # complete, not cut
        return names

    def test_crashes_in_turn_each_get_a_file_and_its_metadata(self):
        path, dump_win = self.dumps.file("turns/crash.dmp")
        self.assertEqual(SET_BLOCK.format(key=AEDEBUG[64],
                                          line=debugger_line(64, " -meta", dump_win)),
                         self.register_alone(["-meta"], dump_win))
        targets = []
        for _ in range(3):
            targets.append(self.crash())
            targets[-1].wait(POSTMORTEM_TIMEOUT)
        names = self.dump_names(path.parent)
        self.assertEqual(["crash.dmp", "crash_0.dmp", "crash_1.dmp"], names)
        for name, target in zip(names, targets):
            meta = json.loads((path.parent / (name + ".json")).read_text(encoding="utf-8"))
            self.assertEqual(("jit", target.pid), (meta["trigger"]["kind"], meta["process"]["id"]))

    def test_a_dump_folder_with_keep_holds_the_newest_named_after_the_image(self):
        folder, folder_win = self.dumps.file("per crash")
        folder_win += "\\"
        out = self.register_alone(["-keep", "2", "-free", "1"], folder_win)
        # The folder's backslash is doubled, so that the quote still closes.
        line = debugger_line(64, " -keep 2 -free 1", folder_win + "\\")
        self.assertEqual(SET_BLOCK.format(key=AEDEBUG[64], line=line), out)
        targets = []
        for _ in range(4):
            targets.append(self.crash())
            targets[-1].wait(POSTMORTEM_TIMEOUT)
        names = self.dump_names(folder)
        self.assertEqual(2, len(names), names)
        for name in names:
            self.assertRegex(name, r"^vh_target_\d+_\d{6}_\d{6}\.dmp$")
        self.assertEqual({t.pid for t in targets[2:]}, {int(n.split("_")[2]) for n in names})
        self.assertEqual(0, harness.run_varnhold(["-iu"], image=program(64)).returncode)
        self.assertNotEqual(line, read_values(AEDEBUG[64]).get("Debugger"))

    def test_two_crashes_at_the_same_moment_get_two_files(self):
        path, dump_win = self.dumps.file("together/crash.dmp")
        self.register_alone([], dump_win)
        targets = [self.crash(("wait-stdin", "av")) for _ in range(2)]
        for target in targets:
            target.send_line()
        for target in targets:
            target.wait(POSTMORTEM_TIMEOUT)
            self.assertNotIn("Failed to create dump file", target.output)
        self.assertEqual(["crash.dmp", "crash_0.dmp"], self.dump_names(path.parent))


class CrashStorm(PostmortemTest):
    """Crashes one after the other and then three at the same moment, into a
    registered dump folder or dump file (in a folder whose name holds a "%",
    which the system's formatting of the registered line must not eat), with
    -keep and -meta, among files that are not ours. Whatever the build
    registered, at the end: every crash has its dump or a stated reason, at
    most -keep dumps of ours remain and they are the newest, and every other
    file is untouched byte for byte."""

    KEEP = 2
    WRITING = re.compile(r"^Writing dump file (.*) \.\.\.$", re.M)
    DELETED = re.compile(r"^Deleted old dump file (.*)$", re.M)
    OLD = 1600000000  # 2020: older than any crash

    def seed(self, folder, like_ours, ours_not_a_dump):
        foreign = {"notes.txt": b"the user's own notes\n",
                   like_ours: b"a text file named exactly like one of our dumps\n",
                   ours_not_a_dump: b"MDMP" + bytes(60)}
        folder.mkdir(parents=True)
        for name, data in foreign.items():
            (folder / name).write_bytes(data)
            os.utime(folder / name, (self.OLD, self.OLD))
        return foreign

    def crash_storm(self, registered_bits, value_win, folder, foreign, options=()):
        result = harness.run_varnhold(
            ["-keep", str(self.KEEP), "-meta"] + list(options) + ["-i", value_win],
            image=program(registered_bits), timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        in_turn = self.crashes(3)
        together = self.crashes(3, together=True)
        targets = in_turn + together
        # A postmortem start that sends its dump outlives the crashed process.
        harness.wait_until(lambda: not any(t.windows_processes() for t in targets),
                           POSTMORTEM_TIMEOUT, "the end of every postmortem start")
        for target in targets:
            target.wait(POSTMORTEM_TIMEOUT)
        return targets, self.check_invariants(targets, together, folder, foreign)

    def local(self, win):
        return Path(win[2:].replace("\\", "/"))

    def check_invariants(self, targets, newest, folder, foreign):
        """The dumps written, by the pid of their crash."""
        outputs = {t.pid: plain(t.output) for t in targets}
        deleted = {self.local(m) for out in outputs.values() for m in self.DELETED.findall(out)}
        written = {}
        for target in targets:
            # Every crashing program ends, with its own exception.
            self.assertEqual(ACCESS_VIOLATION & 0xFF, target.returncode, outputs[target.pid])
            files = [self.local(m) for m in self.WRITING.findall(outputs[target.pid])]
            self.assertEqual(1, len(files), outputs[target.pid])
            self.assertIn("Dump written.\n", outputs[target.pid])
            written[target.pid] = files[0]
            if self.dump_of(files[0]) == target.pid:
                harness.read_dump(files[0])
            else:  # gone (its name may have been taken again since), and a later crash said so
                self.assertIn(files[0], deleted, outputs)
        ours = sorted(p for p in folder.iterdir()
                      if p.name not in foreign and p.name not in harness.FOLDER_STATE)
        dumps = [p for p in ours if p.suffix == ".dmp"]
        self.assertEqual(self.KEEP, len(dumps), ours)
        sent = [Path(str(d) + ".sent") for d in dumps if Path(str(d) + ".sent").exists()]
        self.assertEqual(sorted(dumps + [Path(str(d) + ".json") for d in dumps] + sent), ours)
        self.assertTrue(set(dumps) <= {written[t.pid] for t in newest}, (dumps, written))
        for name, data in foreign.items():
            self.assertEqual(data, (folder / name).read_bytes(), name)
            self.assertEqual(self.OLD, int((folder / name).stat().st_mtime), name)
        return written

    def dump_of(self, path):
        """The process whose dump the file holds, by its metadata."""
        try:
            meta = json.loads(Path(str(path) + ".json").read_text(encoding="utf-8"))
        except FileNotFoundError:
            return None
        return meta["process"]["id"]

    def test_crash_storm_into_a_dump_folder(self):
        for bits in (64, 32):
            with self.subTest(registered=bits):
                folder, folder_win = self.dumps.file("storm %%d folder %d" % bits)
                foreign = self.seed(folder, "vh_target_4242_261208_101010.dmp",
                                    "vh_target_4243_261208_101011_3.dmp")
                if bits == 32:
                    harness.require_32_bit()
                self.crash_storm(bits, folder_win + "\\", folder, foreign)

    def test_crash_storm_into_a_dump_file(self):
        for bits in (64, 32):
            with self.subTest(registered=bits):
                folder, folder_win = self.dumps.file("storm %%d file %d" % bits)
                foreign = self.seed(folder, "crash_7.dmp", "crash_8.dmp")
                if bits == 32:
                    harness.require_32_bit()
                self.crash_storm(bits, folder_win + "\\crash.dmp", folder, foreign)

    def test_crash_storm_sent_to_a_crash_server(self):
        """The same storm with -upload and -log: -keep deletes dumps that other
        starts are still sending. Every crash's dump reaches the server or its
        start says it was deleted first; the server gets our dumps only, each
        once; a .sent lies beside each kept dump, and none is left without
        its dump."""
        folder, folder_win = self.dumps.file("storm %d upload")
        foreign = self.seed(folder, "vh_target_4242_261208_101010.dmp",
                            "vh_target_4243_261208_101011_3.dmp")
        log, log_win = self.dumps.file("storm.log")
        # Each answer takes a while, so that starts delete dumps others are sending.
        slow = lambda request, count: time.sleep(2)  # noqa: E731
        with CrashServer([answer(200, "CrashID=bp-storm")], on_request=slow) as server:
            targets, written = self.crash_storm(
                64, folder_win + "\\", folder, foreign,
                ["-upload", server.url("/submit", "key=stormkey"), "-log", log_win])
            requests = list(server.requests)
        shown = server.shown_url("/submit")
        received = []
        for request in requests:
            minidump.Minidump(request.parts["upload_file_minidump"].data)  # a whole dump
            pid = json.loads(request.parts["varnhold_metadata"].data)["process"]["id"]
            self.assertIn(pid, written)
            received.append(pid)
        self.assertEqual(len(received), len(set(received)), "a dump sent twice")
        print("\n%d of %d dumps reached the server; -keep deleted the others first"
              % (len(received), len(targets)), flush=True)
        for target in targets:
            out = plain(target.output)
            dump_win = "Z:" + str(written[target.pid]).replace("/", "\\")
            if target.pid in received:
                self.assertIn("Uploaded %s to %s: CrashID=bp-storm\n" % (dump_win, shown), out)
            else:
                self.assertIn("Upload of %s failed: the dump was deleted before it was sent"
                              % dump_win, out)
            self.assertNotIn("stormkey", out)
        for dump in folder.glob("*.dmp"):
            if dump.name not in foreign:
                self.assertTrue(Path(str(dump) + ".sent").exists(), dump)
        self.assertEqual(len(received),
                         len([e for e in self.events(log) if e["event"] == "upload_sent"]))


class SharedFolder(PostmortemTest):
    """Postmortem starts and -send runs sharing one registered dump folder, at
    the same moment: crashes at once, registered with -keep 1 -rate 5 -meta
    -log -upload, while two -send runs of the folder go round and round.
    Every crash has its dump or a printed and logged reason, -rate holds
    across the starts although -keep deletes their dumps, no dump reaches the
    server twice, every .sent lies beside its dump, and nothing that is not
    ours is touched: among it a complete minidump of another tool named like
    our dumps, a day old."""

    CRASHES = 8
    RATE = 5
    WRITING = re.compile(r"^Writing dump file (.*) \.\.\.$", re.M)
    SKIPPED = "Dump skipped: %d dumps in the last hour, -rate allows %d.\n" % (RATE, RATE)
    DAY_AGO = int(time.time()) - 86400

    def foreign_minidump(self, path):
        """A complete minidump of another tool: one of ours whose comment
        stream is made a stream of a kind nobody reads."""
        _, win = self.dumps.file("source.dmp")
        result = harness.run_varnhold([str(self.sleeper(64).pid), win], timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        data = bytearray((self.dumps.path / "source.dmp").read_bytes())
        dump = minidump.Minidump(bytes(data))
        _, _, count, directory = struct.unpack_from("<IIII", data, 0)
        for entry in range(count):
            if struct.unpack_from("<I", data, directory + 12 * entry)[0] == 11:
                struct.pack_into("<I", data, directory + 12 * entry, 0xFFFF)
        self.assertIn(11, dump.stream_types())
        self.assertNotIn(11, minidump.Minidump(bytes(data)).stream_types())
        path.write_bytes(bytes(data))

    def seed(self, folder):
        folder.mkdir(parents=True)
        self.foreign_minidump(folder / "vh_target_4242_261209_101010.dmp")
        (folder / "notes.txt").write_bytes(b"the user's own notes\n")
        (folder / "vh_target_4243_261209_101011.dmp.sent").write_bytes(b"not ours\n")
        foreign = {p.name: p.read_bytes() for p in folder.iterdir()}
        for name in foreign:
            os.utime(folder / name, (self.DAY_AGO, self.DAY_AGO))
        return foreign

    def send_round_and_round(self, folder_win, url, done, outputs):
        while not done.is_set():
            runs = [harness.start_varnhold(["-upload", url, "-send", folder_win])
                    for _ in range(2)]
            for run in runs:
                code = run.wait(RUN_TIMEOUT)
                outputs.append(plain(run.output))
                self.assertIn(code, (0, 1), run.output)

    def test_crashes_and_sends_at_once_keep_every_guarantee(self):
        folder, folder_win = self.dumps.file("shared %d folder")
        foreign = self.seed(folder)
        log, log_win = self.dumps.file("shared.log")
        slow = lambda request, count: time.sleep(0.5)  # noqa: E731
        with CrashServer([answer(200, "CrashID=bp-shared")], on_request=slow) as server:
            url = server.url("/submit", "key=sharedkey")
            registered = harness.run_varnhold(
                ["-keep", "1", "-rate", str(self.RATE), "-meta", "-log", log_win, "-upload", url,
                 "-i", folder_win + "\\"], image=program(64), timeout=RUN_TIMEOUT)
            self.assertEqual(0, registered.returncode, registered.stdout)
            targets = [harness.Target(["wait-stdin", "av"]) for _ in range(self.CRASHES)]
            for target in targets:
                self.addCleanup(target.kill)
            done, sends = threading.Event(), []
            sender = threading.Thread(target=self.send_round_and_round,
                                      args=(folder_win, url, done, sends))
            sender.start()
            for target in targets:
                target.send_line()
            for target in targets:
                target.wait(POSTMORTEM_TIMEOUT)
            harness.wait_until(lambda: not any(t.windows_processes() for t in targets),
                               POSTMORTEM_TIMEOUT, "the end of every postmortem start")
            done.set()
            sender.join(3 * RUN_TIMEOUT)
            last = harness.run_varnhold(["-upload", url, "-send", folder_win], timeout=RUN_TIMEOUT)
            sends.append(plain(last.stdout))
            requests = list(server.requests)
        outputs = [plain(t.output) for t in targets] + sends
        everything = "\n".join(outputs)
        self.assertNotIn("sharedkey", everything)

        # Every crash: its dump, or -rate's reason, printed and logged.
        written = []
        for target in targets:
            out = plain(target.output)
            self.assertEqual(ACCESS_VIOLATION & 0xFF, target.returncode, out)
            files = self.WRITING.findall(out)
            if files:
                self.assertIn("Dump written.\n", out)
                written.extend(files)
            else:
                self.assertIn(self.SKIPPED, out)
        self.assertEqual(self.RATE, len(written), outputs)
        events = self.events(log)
        self.assertEqual(self.CRASHES - self.RATE,
                         len([e for e in events if e["event"] == "dump_skipped"
                              and e["reason"] == "rate"]), events)

        # Each dump reached the server once, or some run said it was deleted first.
        posted = [hashlib.sha256(r.parts["upload_file_minidump"].data).hexdigest()
                  for r in requests]
        self.assertEqual(len(posted), len(set(posted)), "a dump sent twice")
        pids = [json.loads(r.parts["varnhold_metadata"].data)["process"]["id"]
                for r in requests if "varnhold_metadata" in r.parts]
        self.assertEqual(len(pids), len(set(pids)), "a crash sent twice")
        for dump_win in written:
            pid = int(dump_win.rsplit("\\", 1)[-1].split("_")[2])
            if pid not in pids:
                self.assertIn("%s failed: the dump was deleted" % dump_win, everything)

        # -keep 1 leaves the newest dump of ours; nothing foreign was touched.
        for name, data in foreign.items():
            self.assertEqual(data, (folder / name).read_bytes(), name)
            self.assertEqual(self.DAY_AGO, int((folder / name).stat().st_mtime), name)
        ours = [p for p in folder.iterdir()
                if p.name not in foreign and p.name not in harness.FOLDER_STATE]
        dumps = [p for p in ours if p.suffix == ".dmp"]
        self.assertEqual(1, len(dumps), sorted(p.name for p in ours))
        for sent in (p for p in ours if p.suffix == ".sent"):
            said = [line for line in everything.splitlines() if sent.name[:-5] in line]
            self.assertTrue(Path(str(sent)[:-5]).exists(), "%s\n%s" % (sent, "\n".join(said)))
        self.assertFalse([p for p in ours if p.name.endswith(".tmp")], ours)


class CrashLoops(PostmortemTest):
    """A machine whose service crashes on start: -rate bounds the dumps of an
    hour, and -log gives every postmortem start's events to one log."""

    def register(self, options, value_win):
        result = harness.run_varnhold(options + ["-i", value_win], image=program(64),
                                      timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        return read_values(AEDEBUG[64]).get("Debugger", "")

    def test_relative_paths_are_registered_as_full_paths(self):
        work = self.dumps.path / "work dir"
        work.mkdir()
        result = harness.run_varnhold(["-log", "pm.log", "-i", "dumps\\"], image=program(64),
                                      cwd=work, timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        line = read_values(AEDEBUG[64])["Debugger"]
        work_win = harness.win_path(work)
        self.assertIn(' -log "%s\\pm.log" -j "%s\\dumps\\\\"' % (work_win, work_win), line)

    def test_rate_bounds_the_dumps_of_an_hour_and_every_crash_ends(self):
        folder, folder_win = self.dumps.file("loop")
        log, log_win = self.dumps.file("loop.log")
        line = self.register(["-rate", "2", "-log", log_win], folder_win + "\\")
        self.assertIn(' -rate 2 -log "%s" -j "%s\\\\"' % (log_win, folder_win), line)
        for target in self.crashes(5):
            self.assertEqual(ACCESS_VIOLATION & 0xFF, target.returncode, target.output)
        self.assertEqual(2, len([p for p in folder.iterdir() if p.suffix == ".dmp"]))
        skipped = [e for e in self.events(log) if e["event"] == "dump_skipped"]
        self.assertEqual(["rate"] * 3, [e["reason"] for e in skipped])
        self.assertEqual([2, 2, 2], [e["dumpsLastHour"] for e in skipped])
        # -iu knows the registration as ours.
        undo = harness.run_varnhold(["-iu"], image=program(64), timeout=RUN_TIMEOUT)
        self.assertEqual(0, undo.returncode, undo.stdout)

    def test_starts_logging_at_the_same_moment_leave_whole_lines(self):
        folder, folder_win = self.dumps.file("together")
        log, log_win = self.dumps.file("together.log")
        self.register(["-log", log_win], folder_win + "\\")
        self.crashes(4, together=True)
        events = self.events(log)
        # The registering run logs its own start and end too.
        self.assertEqual(5, [e["event"] for e in events].count("run_ended"), events)
        self.assertEqual(4, [e["event"] for e in events].count("dump_written"), events)


class PostmortemUpload(PostmortemTest):
    """-upload travels with the registration, key and all (the registry holds
    it; the printed line shows none), and a postmortem start lets the crashed
    process end before it sends the dump."""

    def test_registered_upload_sends_each_crash_after_the_crashed_process_has_ended(self):
        key = "5b0a7e1c9d2f4e6a"
        path, dump_win = self.dumps.file("uploads/crash.dmp")
        release = threading.Event()
        with CrashServer([answer(200, "CrashID=bp-9", release=release)]) as server:
            url, shown = server.url("/submit", "key=" + key), server.shown_url("/submit")
            result = harness.run_varnhold(["-meta", "-upload", url, "-i", dump_win],
                                          image=program(64), timeout=RUN_TIMEOUT)
            self.assertEqual(0, result.returncode, result.stdout)
            def line(value):
                return debugger_line(64, ' -meta -upload "%s"' % value, dump_win)
            self.assertEqual(SET_BLOCK.format(key=AEDEBUG[64], line=line(shown)),
                             plain(result.stdout))
            self.assertEqual(line(url), read_values(AEDEBUG[64])["Debugger"])
            target = harness.Target(["av"])
            self.addCleanup(target.kill)
            server.wait_for_requests(1, POSTMORTEM_TIMEOUT)
            # The server holds its answer: the dump is still on its way.
            harness.wait_until(lambda: target.returncode is not None, POSTMORTEM_TIMEOUT,
                               "the end of the crashed process")
            self.assertTrue(target.windows_processes(), "the postmortem start is still running")
            release.set()
            harness.wait_until(lambda: not target.windows_processes(), POSTMORTEM_TIMEOUT,
                               "the end of the postmortem start")
        self.assertEqual(ACCESS_VIOLATION & 0xFF, target.wait(POSTMORTEM_TIMEOUT))
        self.assertIn("Uploaded %s to %s: CrashID=bp-9\n" % (dump_win, shown), plain(target.output))
        self.assertNotIn(key, target.output)
        self.assertEqual("CrashID=bp-9", json.loads(
            Path(str(path) + ".sent").read_text(encoding="utf-8"))["id"])
        # -iu knows the registration as ours.
        undo = harness.run_varnhold(["-iu"], image=program(64), timeout=RUN_TIMEOUT)
        self.assertEqual(0, undo.returncode, undo.stdout)
        self.assertNotEqual(line(url), read_values(AEDEBUG[64]).get("Debugger"))


class HandOver(PostmortemTest):
    def run32(self, args, timeout=RUN_TIMEOUT):
        result = harness.run_varnhold(args, image=program(32), timeout=timeout)
        out = plain(result.stdout)
        self.assertTrue(out.startswith(BANNER), out)
        self.assertEqual(1, out.count("varnhold v1.0"), out)
        self.assertEqual([], extracted_images())
        return result.returncode, out[len(BANNER):]

    def test_64bit_target_is_dumped_by_the_64bit_build_whose_exit_code_ends_the_run(self):
        target = self.sleeper(64)
        path, dump_win = self.dumps.file("hand over/by id.dmp")
        code, out = self.run32([str(target.pid), dump_win])
        self.assertEqual(0, code, out)
        self.assertTrue(out.startswith("Process:               vh_target.exe (%d)\n" % target.pid),
                        out)
        self.assertTrue(harness.without_file_lines(out).endswith(
            "Writing dump file %s ...\nDump written.\n" % dump_win), out)
        dump = harness.read_dump(path)
        self.assertEqual(harness.minidump.ARCH_AMD64, dump.system_info.processor_architecture)
        # The 64-bit build was given the 32-bit build's command line unchanged.
        self.assertIn(harness.win_path(program(32)), dump.comment_w.text)

        with self.subTest("the 64-bit run fails"):
            occupied, occupied_win = self.dumps.file("hand over/a folder.dmp")
            occupied.mkdir(parents=True)
            code, out = self.run32([str(target.pid), occupied_win])
            self.assertEqual(1, code, out)
            self.assertIn("Process:               vh_target.exe (%d)\n" % target.pid, out)
            self.assertIn("Failed to create dump file: ", out)
            self.assertNotIn("Dump written.", out)

    def test_32bit_target_is_kept_unless_64_asks_for_the_64bit_build(self):
        target = self.sleeper(32)
        for options, bits in (([], 32), (["-64"], 64)):
            with self.subTest(options=options):
                path, dump_win = self.dumps.file("hand over/x86 %s.dmp" % bits)
                code, out = self.run32(options + [str(target.pid), dump_win])
                self.assertEqual(0, code, out)
                self.assertTrue(out.endswith("Dump written.\n"), out)
                dump = harness.read_dump(path)
                self.assertEqual(ARCHITECTURE[bits], dump.system_info.processor_architecture)

    def test_launched_64bit_image_is_run_by_the_64bit_build(self):
        # Windows refuses a 64-bit image to a 32-bit debugger; Wine starts it,
        # and the 32-bit build then ends it at its first debug event and hands
        # the run over. Either way the image runs once, under the 64-bit build.
        cases = [
            ([], 64, "sleep:2000", None),
            (["-e"], 64, "av", ACCESS_VIOLATION),  # launched by the debug-event thread
            ([], 32, "sleep:2000", None),
        ]
        for options, bits, action, exception in cases:
            with self.subTest(options=options, image=bits):
                path, dump_win = self.dumps.file("launch/%s %d.dmp" % (action[:5], bits))
                image = harness.win_path(harness.target_exe(bits))
                code, out = self.run32(options + ["-x", dump_win, image, "vh_target.exe " + action])
                self.assertEqual(0, code, out)
                self.assertEqual(1, len(re.findall(r"^pid \d+$", out, re.M)), out)
                dump = harness.read_dump(path)
                self.assertEqual(ARCHITECTURE[bits], dump.system_info.processor_architecture)
                if exception is None:
                    self.assertIsNone(dump.exception)
                else:
                    self.assertEqual(exception, dump.exception.code)

        with self.subTest("an image that cannot be started"):
            path, dump_win = self.dumps.file("launch/none.dmp")
            missing = harness.win_path(self.dumps.path / "no such image.exe")
            code, out = self.run32(["-x", dump_win, missing])
            self.assertEqual(1, code, out)
            self.assertTrue(out.startswith("Failed to create process: "), out)
            self.assertFalse(path.exists())

    def test_unwritable_program_folder_extracts_into_the_temp_folder_or_says_so(self):
        # Tests run as root, for whom a folder without write permission is
        # still writable under Wine; an immutable folder is not.
        harness.require_32_bit()
        target = self.sleeper(64)
        dump, dump_win = self.dumps.file("temp.dmp")
        folder = self.dumps.path / "immutable"
        folder.mkdir()
        copy = folder / "varnhold.exe"
        shutil.copy(program(32), copy)
        made = subprocess.run(["chattr", "+i", str(folder)], capture_output=True)
        if made.returncode != 0:
            self.skipTest("no immutable folders here: %s" % made.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["chattr", "-i", str(folder)])
        result = harness.run_varnhold([str(target.pid), dump_win], image=copy,
                                      timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertIn("Dump written.", result.stdout)
        minidump.read(dump)
        self.assertEqual([], extracted_images(harness.windows_temp_folder()))
        # With the temporary folder unwritable too, nothing is left to try.
        # (Wine takes a program's temporary folder from the prefix, not from
        # the environment: the prefix's own is made immutable for this run.)
        temp = harness.windows_temp_folder()
        self.assertEqual(0, subprocess.run(["chattr", "+i", str(temp)]).returncode)
        try:
            _, never_win = self.dumps.file("never.dmp")
            result = harness.run_varnhold([str(target.pid), never_win], image=copy,
                                          timeout=RUN_TIMEOUT)
        finally:
            subprocess.run(["chattr", "-i", str(temp)])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertEqual(BANNER + EXTRACT_FAILED, plain(result.stdout))
        self.assertFalse((self.dumps.path / "never.dmp").exists())
        self.assertIsNone(target.returncode)

    def test_a_file_named_like_an_extracted_image_is_never_touched(self):
        # The copy a hand-over runs is named after the run; what else lies in
        # the folder under such a name is not ours to replace or delete.
        target = self.sleeper(64)
        folder = self.dumps.path / "foreign"
        folder.mkdir()
        copy = folder / "varnhold.exe"
        shutil.copy(program(32), copy)
        foreign = {"varnhold64.exe": b"not ours", "varnhold64-1.exe": b"nor this"}
        for name, content in foreign.items():
            (folder / name).write_bytes(content)
        path, dump_win = self.dumps.file("foreign.dmp")
        result = harness.run_varnhold([str(target.pid), dump_win], image=copy,
                                      timeout=RUN_TIMEOUT)
        self.assertEqual(0, result.returncode, result.stdout)
        harness.read_dump(path)
        for name, content in foreign.items():
            self.assertEqual(content, (folder / name).read_bytes())
        self.assertEqual(sorted(["varnhold.exe"] + list(foreign)),
                         sorted(p.name for p in folder.iterdir()))

    def test_ctrl_c_prints_detaching_and_ends_the_run(self):
        # The shared console sends Ctrl+C to both builds of a handed-over run;
        # here each gets its own signal.
        for bits in (64, 32):
            with self.subTest(target=bits):
                target = self.sleeper(bits)
                _, dump_win = self.dumps.file("ctrl c %d.dmp" % bits)
                with harness.start_varnhold(["-m", "1000000", str(target.pid), dump_win],
                                            image=program(32)) as run:
                    # After a hand-over the summary comes from the 64-bit build.
                    run.wait_for_line("Dump file:", RUN_TIMEOUT)
                    # The extracted image, the 64-bit build byte for byte, lies next
                    # to the 32-bit build while it runs.
                    images = extracted_images()
                    self.assertEqual(1 if bits == 64 else 0, len(images), images)
                    if bits == 64:
                        self.assertEqual(harness.exe(64).read_bytes(),
                                         (program(32).parent / images[0]).read_bytes())
                    # The summary comes after both builds have their console
                    # control handlers: Ctrl+C may come at once.
                    self.assertGreaterEqual(run.ctrl_c(everything=True), 1)
                    self.assertEqual(0, run.wait(RUN_TIMEOUT), run.output)
                    out = plain(run.output)
                self.assertEqual(1, out.count(DETACHING), out)
                self.assertNotIn("Dump written.", out)
                self.assertEqual([], extracted_images())


if __name__ == "__main__":
    unittest.main()
