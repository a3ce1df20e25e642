"""Running the real programs under Wine for the end-to-end tests.

Everything here has a time-out: a program that hangs fails its test and is
killed, it never hangs the run. Each program started here carries a token in
its environment, so that it and everything it starts can be found in /proc
(the Windows processes are not Linux children of the `wine` launcher) to
press Ctrl+C or to kill them.

The runner (run_all.py) provides the Wine environment and one wineserver for
the whole run; a test module run by hand gets both from here.
"""

import codecs
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import uuid
from collections import namedtuple
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
BUILD = ROOT / "build"
DIST = ROOT / "dist"
TMP = BUILD / "e2e-tmp"

sys.path.insert(0, str(ROOT / "tests" / "tools"))
import minidump  # noqa: E402  (the reader lives beside the tools, not in a package)

# The console program sets the runtime locale "chs": what is not ASCII in its
# output is code page 936.
CONSOLE_ENCODING = "cp936"


def _euro_sign(error):
    # Windows' code page 936 has the euro sign as the single byte 0x80,
    # Python's has not.
    if error.object[error.start:error.start + 1] == b"\x80":
        return "\u20ac", error.start + 1
    return "\ufffd", error.start + 1


codecs.register_error("vh_console", _euro_sign)


def decode_console(raw):
    """Console output of our programs as text, with Windows line ends made plain."""
    return raw.decode(CONSOLE_ENCODING, "vh_console").replace("\r\n", "\n")
# The line the console program prints after each dump file it has written.
FILE_WRITTEN_LINE = re.compile(r"^Written: \d+\.\d MB \((\d+) bytes\) in \d+\.\d s\.\n",
                               re.MULTILINE)


def without_file_lines(text):
    """Console output without the line printed after each dump file, for
    comparisons of the lines around it."""
    return FILE_WRITTEN_LINE.sub("", text)


TOKEN_VARIABLE = "VH_HARNESS_TOKEN"
# Set by the runner once it has a wineserver up for the whole run.
SERVER_VARIABLE = "VH_WINESERVER_UP"

DEFAULT_TIMEOUT = 60

# What our runs keep in every dump folder they share: the folder's lock and
# -rate's ledger.
FOLDER_STATE = {"varnhold.lock", "varnhold-rate.txt"}


class HarnessTimeout(AssertionError):
    """A program did not finish, or did not print what was awaited, in time."""


# Some kernels cannot run 32-bit Linux programs, and Wine's 32-bit loader is
# one. There Wine runs through its 64-bit loader alone and a 32-bit Windows
# program cannot start: tests that need one are skipped with this reason.
WINE32_LOADER = Path("/usr/lib/wine/wine")
WINE64_LOADER = Path("/usr/lib/wine/wine64")
WINE64_ONLY = ROOT / "scripts" / "lib" / "wine64-only"
NO_32_BIT = ("this machine's kernel cannot run 32-bit Linux programs, so Wine cannot start "
             "a 32-bit Windows program here")
_runs_32_bit = None


def runs_32_bit():
    """Whether Wine can start 32-bit Windows programs on this machine."""
    global _runs_32_bit
    if _runs_32_bit is None:
        told = os.environ.get("VH_RUNS_32_BIT")
        if told in ("0", "1"):
            _runs_32_bit = told == "1"
        else:
            try:
                _runs_32_bit = subprocess.run(
                    [str(WINE32_LOADER), "--version"], stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                    timeout=30).returncode == 0
            except OSError:
                _runs_32_bit = False
    return _runs_32_bit


def require_32_bit():
    """Skips the running test (or subtest) where 32-bit programs cannot start."""
    if not runs_32_bit():
        raise unittest.SkipTest(NO_32_BIT)


def is_32_bit_image(path):
    """Whether a Windows image is built for x86 (machine 0x14c in its PE header)."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return False
    if len(head) < 0x40 or head[:2] != b"MZ":
        return False
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if offset + 6 > len(head) or head[offset:offset + 4] != b"PE\0\0":
        return False
    return int.from_bytes(head[offset + 4:offset + 6], "little") == 0x14C


def wine_environment():
    env = dict(os.environ)
    if not runs_32_bit() and WINE64_LOADER.exists():
        env["VH_RUNS_32_BIT"] = "0"
        if str(WINE64_ONLY) not in env.get("PATH", "").split(os.pathsep):
            env["PATH"] = str(WINE64_ONLY) + os.pathsep + env.get("PATH", "")
    env.setdefault("WINEPREFIX", str(BUILD / "wineprefix"))
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env.setdefault("WINEARCH", "win64")
    return env


def wine_command(image, env):
    """The command that starts a Windows program under Wine. A 64-bit program
    goes straight to Wine's 64-bit loader: Wine's usual launcher, where it can
    run 32-bit programs, starts a 64-bit one through a relay process of the
    same image name that lives as long as the program, so that a look-up by
    name could find the relay instead of the program. Programs it starts
    inherit WINELOADER and so start through the matching loader."""
    if not is_32_bit_image(image) and WINE64_LOADER.exists():
        env["WINELOADER"] = str(WINE64_LOADER)
        return [str(WINE64_LOADER), str(image)]
    return ["wine", str(image)]


_server_lock = threading.Lock()
_server_ready = False


def ensure_wineserver():
    """Makes sure a wineserver serves our prefix; the runner usually has one up."""
    global _server_ready
    with _server_lock:
        if _server_ready:
            return
        env = wine_environment()
        if not (Path(env["WINEPREFIX"]) / "system.reg").exists():
            raise RuntimeError("no Wine prefix in %s: run scripts/setup first" % env["WINEPREFIX"])
        if not os.environ.get(SERVER_VARIABLE):
            # Run by hand: a server that lingers 30 s after its last client keeps
            # program starts fast without outliving the session for long. When
            # one already runs for the prefix, this one just ends.
            subprocess.run(["wineserver", "-p30"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        _server_ready = True


def has_display():
    return bool(os.environ.get("DISPLAY"))


# -- paths ----------------------------------------------------------------------

def win_path(path):
    """The Windows name of a Linux path: drive Z: and backslashes."""
    return "Z:" + str(Path(path).absolute()).replace("/", "\\")


def windows_temp_folder():
    """The Linux path of the user's temporary folder in the Wine prefix."""
    users = Path(wine_environment()["WINEPREFIX"]) / "drive_c" / "users"
    return users / os.environ.get("USER", "root") / "Temp"


def exe(bits=64):
    """The console build of that bitness."""
    path = DIST / "x64" / "varnhold.exe" if bits == 64 else DIST / "varnhold.exe"
    if not path.exists():
        raise RuntimeError("%s is missing: run scripts/build first" % path)
    return path


def fixture(name, bits=64):
    """A program or library of tests/fixtures as the tree of that bitness built it."""
    path = BUILD / ("x64" if bits == 64 else "x86") / "fixtures" / name
    if not path.exists():
        raise RuntimeError("%s is missing: run scripts/build first" % path)
    return path


def target_exe(bits=64):
    return fixture("vh_target.exe", bits)


def ui_exe():
    return DIST / "ui" / "varnhold_ui.exe"


# -- processes found by token ---------------------------------------------------

def _read_proc(pid, name):
    try:
        with open("/proc/%d/%s" % (pid, name), "rb") as f:
            return f.read()
    except OSError:
        return b""


def processes_with_token(token):
    """(linux pid, Windows command line) of every process carrying the token."""
    needle = ("%s=%s" % (TOKEN_VARIABLE, token)).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        pid = int(entry)
        if needle not in _read_proc(pid, "environ").split(b"\0"):
            continue
        cmdline = _read_proc(pid, "cmdline").replace(b"\0", b" ").decode("utf-8", "replace")
        found.append((pid, cmdline.strip()))
    return found


def _processes_of(token, image=None):
    """The token's processes whose command line starts with the Windows path of
    image, or the path it was started with (every one of them when image is
    None)."""
    # A program started through Wine's 64-bit loader alone keeps the path it
    # was started with as its Linux command line instead of its Windows name.
    prefixes = (tuple({win_path(image).lower(), str(image).lower()})
                if image is not None else None)
    return [(pid, cmdline) for pid, cmdline in processes_with_token(token)
            if prefixes is None or cmdline.lower().startswith(prefixes)]


def _signal_token(token, sig, image=None):
    """Sends sig to the token's processes of image (see _processes_of)."""
    hit = []
    for pid, _ in _processes_of(token, image):
        try:
            os.kill(pid, sig)
            hit.append(pid)
        except ProcessLookupError:
            pass
    return hit


# -- waiting ----------------------------------------------------------------------

def wait_until(condition, timeout=DEFAULT_TIMEOUT, what="the condition"):
    """Polls condition() until it gives a true value, which it returns; raises
    HarnessTimeout naming what after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise HarnessTimeout("%s: not there after %.1f s" % (what, timeout))
        time.sleep(0.05)  # the poll interval


def file_size(path):
    """The size of a file, 0 while there is none."""
    try:
        return Path(path).stat().st_size
    except OSError:
        return 0


# -- a running program ------------------------------------------------------------

Result = namedtuple("Result", "returncode stdout stderr elapsed")


class WineProcess:
    """A Windows program under Wine with its output read as it comes."""

    def __init__(self, image, args, cwd=None, stdin_pipe=False, env=None):
        if is_32_bit_image(image):
            require_32_bit()
        ensure_wineserver()
        self.image = Path(image)
        self.args = [str(a) for a in args]
        self.token = uuid.uuid4().hex
        full_env = wine_environment()
        full_env.update(env or {})
        full_env[TOKEN_VARIABLE] = self.token
        self._raw = bytearray()
        self._err = bytearray()
        self._cond = threading.Condition()
        self._cursor = 0
        self.started = time.monotonic()
        self._popen = subprocess.Popen(
            wine_command(self.image, full_env) + self.args, cwd=str(cwd) if cwd else None,
            env=full_env,
            stdin=subprocess.PIPE if stdin_pipe else subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        self._readers = [threading.Thread(target=self._pump, args=(self._popen.stdout, self._raw),
                                          daemon=True),
                         threading.Thread(target=self._pump, args=(self._popen.stderr, self._err),
                                          daemon=True)]
        for reader in self._readers:
            reader.start()

    def _pump(self, stream, sink):
        while True:
            chunk = stream.read1(65536) if hasattr(stream, "read1") else stream.read(1)
            if not chunk:
                break
            with self._cond:
                sink.extend(chunk)
                self._cond.notify_all()
        with self._cond:
            self._cond.notify_all()

    @property
    def output(self):
        """Standard output so far, decoded, with Windows line ends made plain."""
        with self._cond:
            raw = bytes(self._raw)
        return decode_console(raw)

    @property
    def errors(self):
        with self._cond:
            raw = bytes(self._err)
        return decode_console(raw)

    @property
    def returncode(self):
        return self._popen.poll()

    @property
    def elapsed(self):
        return time.monotonic() - self.started

    def wait_for_line(self, prefix, timeout=DEFAULT_TIMEOUT):
        """The next whole output line that starts with prefix (a string or a
        compiled pattern to match). Lines are taken in order: a line that
        answered one call is not looked at again."""
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                text = decode_console(bytes(self._raw))
                lines = text.split("\n")
                complete = lines[:-1]  # the last piece has no line end yet
                for index in range(self._cursor, len(complete)):
                    line = complete[index]
                    hit = (prefix.match(line) if isinstance(prefix, re.Pattern)
                           else line.startswith(prefix))
                    if hit:
                        self._cursor = index + 1
                        return line
                finished = self._popen.poll() is not None and not any(
                    r.is_alive() for r in self._readers)
                remaining = deadline - time.monotonic()
                if finished or remaining <= 0:
                    state = ("program ended with %s" % self._popen.returncode if finished
                             else "still running")
                    raise HarnessTimeout(
                        "%s: no line starting with %r after %.1f s (%s); output so far:\n%s"
                        "\nerror output so far:\n%s"
                        % (self.image.name, prefix, timeout, state, text,
                           decode_console(bytes(self._err))))
                self._cond.wait(min(remaining, 0.2))

    def wait(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the end and the last output; kills the program and raises
        HarnessTimeout when it runs too long."""
        try:
            self._popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise HarnessTimeout("%s %s still running after %.1f s; output so far:\n%s"
                                 % (self.image.name, " ".join(self.args), timeout, self.output))
        for reader in self._readers:
            reader.join(timeout=10)
        return self._popen.returncode

    def send_line(self, text=""):
        self._popen.stdin.write((text + "\r\n").encode())
        self._popen.stdin.flush()

    def ctrl_c(self, everything=False):
        """Presses Ctrl+C: SIGINT to the Linux process of this program (of every
        program it started as well when everything is true). Returns the number
        of processes signalled."""
        return len(_signal_token(self.token, signal.SIGINT,
                                 None if everything else self.image))

    def windows_processes(self):
        return processes_with_token(self.token)

    def wait_until_running(self, timeout=DEFAULT_TIMEOUT):
        """Until Wine runs this program (its Linux process carries the program's
        name): the only sign of life of a program that prints nothing."""
        wait_until(lambda: _processes_of(self.token, self.image), timeout,
                   "%s running" % self.image.name)

    def kill(self):
        """Ends this program and everything it started."""
        for _ in range(3):
            if not _signal_token(self.token, signal.SIGKILL):
                break
            time.sleep(0.1)
        if self._popen.poll() is None:
            try:
                os.killpg(self._popen.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
            try:
                self._popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        for pipe in (self._popen.stdin,):
            if pipe:
                with contextlib.suppress(OSError):
                    pipe.close()

    def result(self):
        return Result(self._popen.returncode, self.output, self.errors, self.elapsed)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()
        return False


# STATUS_DLL_INIT_FAILED as Linux sees it: Wine's loader ended the program
# before any of its code ran. Seen once in the 1100 starts of one hostile-input
# run, never on demand; varnhold itself only ends with 0 or 1.
STATUS_DLL_INIT_FAILED = 0xC0000142
LOADER_GAVE_UP = STATUS_DLL_INIT_FAILED & 0xFF


def run_varnhold(args, bits=64, timeout=DEFAULT_TIMEOUT, cwd=None, image=None, env=None):
    """Runs the console program to its end. Returns Result(returncode, stdout,
    stderr, elapsed); the exit code is the Linux one (the Windows code modulo 256).
    A start the loader gave up on (that code, no output at all) is made again,
    at most twice, and the harness says so."""
    for attempt in (1, 2, 3):
        proc = WineProcess(image or exe(bits), args, cwd=cwd, env=env)
        try:
            proc.wait(timeout)
            result = proc.result()
        finally:
            proc.kill()
        if result.returncode != LOADER_GAVE_UP or result.stdout or result.stderr or attempt == 3:
            return result
        print("harness: Wine's loader ended %s before it ran; started again" % proc.image.name,
              file=sys.stderr, flush=True)


def start_varnhold(args, bits=64, cwd=None, image=None, env=None):
    """Starts the console program and returns its WineProcess (output,
    wait_for_line, ctrl_c, wait, returncode). Use it in a with block."""
    return WineProcess(image or exe(bits), args, cwd=cwd, env=env)


class Target(WineProcess):
    """vh_target.exe performing actions, e.g. Target(["rw:4", "sleep:30000"]).

    In a with block: started, its "pid" line read (.pid is the Windows
    identifier), killed with all it started on leaving. Besides its "step"
    lines it prints "debugger attached" once a debugger is attached while it
    waits in wait-stdin and, after hang-window, "window hung" once the window
    counts as hung; wait_for_line takes lines in order, so wait for these
    before any line that follows them."""

    # Wine has, rarely, ended a fresh target with code 1 before it printed
    # its first line, with no output at all (seen once in a CI run, never
    # here). No program of ours can have touched it yet, as its identifier
    # was not known: it is started once more, and the harness says so.
    SILENT_START_ATTEMPTS = 3

    def __init__(self, actions, bits=64, start_timeout=30, cwd=None, image=None):
        self.bits = bits
        self._start_timeout = start_timeout
        for attempt in range(1, self.SILENT_START_ATTEMPTS + 1):
            super().__init__(image or target_exe(bits), actions, cwd=cwd, stdin_pipe=True)
            try:
                line = self.wait_for_line("pid ", start_timeout)
                break
            except HarnessTimeout:
                ended_silently = (self.returncode is not None and not self._raw
                                  and not self._err)
                self.kill()
                if not ended_silently or attempt == self.SILENT_START_ATTEMPTS:
                    raise
                print("harness: %s ended with %s before printing anything; started again"
                      % (self.image.name, self.returncode), file=sys.stderr, flush=True)
            except BaseException:
                self.kill()
                raise
        self.pid = int(line.split()[1])

    @property
    def name(self):
        return self.image.name


# -- dump folders ------------------------------------------------------------------

class DumpDir:
    """A fresh folder for dump files, removed with its content on leaving.
    .path is the Linux path, .win the Windows one; file(name) gives both."""

    def __init__(self, prefix="dumps"):
        TMP.mkdir(parents=True, exist_ok=True)
        self.path = Path(tempfile.mkdtemp(prefix=prefix + "-", dir=str(TMP)))
        self.win = win_path(self.path)

    def file(self, name):
        return self.path / name, self.win + "\\" + name.replace("/", "\\")

    def files(self):
        """Every file and folder below, by relative path, but the state our
        runs keep in a dump folder (its lock, -rate's ledger)."""
        return sorted(p.relative_to(self.path).as_posix() for p in self.path.rglob("*")
                      if p.name not in FOLDER_STATE)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)
        return False


def read_dump(path):
    return minidump.read(path)
