"""Runs the end-to-end test modules (tests/e2e/test_*.py) and ends with the
line 'e2e: N passed, N failed, N skipped'. Exit code 1 when anything failed.

    python3 tests/e2e/run_all.py                # every module
    python3 tests/e2e/run_all.py test_x.py ...  # those modules, one after the other

Every module, run by scripts/test: the modules run two at a time, each of the
two in a Wine prefix of its own (build/wineprefix and build/wineprefix-2, which
scripts/setup makes) with a wineserver of its own, so that a postmortem
registration, a process looked up by name or a crashing target of one never
meets the other. Most of a module's time is spent waiting on Wine and on the
targets, so two at a time take a little over half the time. VH_E2E_SLOTS=1
runs them one after the other in this process instead.
"""

import json
import os
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "tools"))

import harness  # noqa: E402

SECOND_PREFIX = harness.BUILD / "wineprefix-2"
# Modules that run one after the other in one slot, in this order: both build
# in the tree and pack its zip.
TOGETHER = ["test_release_rebuild.py", "test_package.py"]
# About how long each module takes here, so that the longest start first.
SECONDS = {"test_release_rebuild.py": 200, "test_dump_faults.py": 180,
           "test_postmortem_handover.py": 175, "test_long_watch.py": 140,
           "test_upload.py": 130, "test_triggers.py": 120, "test_first_dumps.py": 90,
           "test_debug_events.py": 60, "test_dump_content.py": 60, "test_every_instance.py": 50}


class TimedResult(unittest.TextTestResult):
    """Keeps each test's wall time, so that the slowest can be listed."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.seconds = {}

    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        self.seconds[test.id()] = time.monotonic() - self._started
        super().stopTest(test)


def run_here(patterns):
    """Runs the modules in this process: (passed, failed, skipped, seconds by test)."""
    harness.ensure_wineserver()
    suite = unittest.TestSuite(
        unittest.defaultTestLoader.discover(str(HERE), pattern=pattern, top_level_dir=str(HERE))
        for pattern in patterns)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout, resultclass=TimedResult).run(suite)
    # A test with failing subtests is reported once per subtest; count tests.
    def test_id(test):
        return getattr(test, "test_case", test).id()

    failed_ids = {test_id(test) for test, _ in result.failures + result.errors}
    failed_ids |= {test_id(test) for test in result.unexpectedSuccesses}
    failed = len(failed_ids)
    skipped = len({test_id(test) for test, _ in result.skipped} - failed_ids)
    passed = max(result.testsRun - failed - skipped, 0)
    return passed, failed, skipped, result.seconds


class Slot:
    """One Wine prefix with its wineserver, running one module group at a time."""

    def __init__(self, prefix, server_started):
        self.env = harness.wine_environment()
        self.env["WINEPREFIX"] = str(prefix)
        self.own_server = not server_started
        if self.own_server:
            subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.env[harness.SERVER_VARIABLE] = "1"
        self.child = None

    def start(self, patterns):
        self.patterns = patterns
        self.output = tempfile.TemporaryFile()
        self.summary = Path(tempfile.mkstemp(prefix="e2e-summary-", suffix=".json")[1])
        self.child = subprocess.Popen(
            [sys.executable, str(Path(__file__).resolve()), "--summary", str(self.summary)]
            + patterns, env=self.env, stdin=subprocess.DEVNULL, stdout=self.output,
            stderr=subprocess.STDOUT)

    def collect(self):
        """The finished group's output printed whole, and its counts."""
        self.output.seek(0)
        sys.stdout.write(self.output.read().decode("utf-8", "replace"))
        sys.stdout.flush()
        self.output.close()
        try:
            summary = json.loads(self.summary.read_text())
        except (OSError, ValueError):
            summary = {"passed": 0, "failed": 1, "skipped": 0, "seconds": {}}
            print("e2e: %s ended with %s without its counts" % (self.patterns, self.child.returncode))
        self.summary.unlink(missing_ok=True)
        self.child = None
        return summary

    def close(self):
        if self.own_server:
            subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def groups():
    """The module groups, longest first."""
    modules = sorted(p.name for p in HERE.glob("test_*.py"))
    together = [m for m in TOGETHER if m in modules]
    found = [[m] for m in modules if m not in together] + ([together] if together else [])
    return sorted(found, key=lambda group: -sum(SECONDS.get(m, 30) for m in group))


def run_in_slots(slot_count):
    """Runs the module groups in slot_count prefixes at once."""
    slots = [Slot(harness.BUILD / "wineprefix", os.environ.get(harness.SERVER_VARIABLE))]
    slots += [Slot(SECOND_PREFIX, False)][:slot_count - 1]
    pending = groups()
    totals = {"passed": 0, "failed": 0, "skipped": 0, "seconds": {}}
    try:
        while pending or any(slot.child for slot in slots):
            for slot in slots:
                if slot.child is not None and slot.child.poll() is not None:
                    summary = slot.collect()
                    for key in ("passed", "failed", "skipped"):
                        totals[key] += summary[key]
                    totals["seconds"].update(summary["seconds"])
                if slot.child is None and pending:
                    slot.start(pending.pop(0))
            time.sleep(0.2)
    finally:
        for slot in slots:
            if slot.child is not None:
                slot.child.kill()
            slot.close()
    return totals["passed"], totals["failed"], totals["skipped"], totals["seconds"]


def main(argv):
    summary_path = None
    if argv[:1] == ["--summary"]:
        summary_path, argv = argv[1], argv[2:]
    started = time.monotonic()
    slots = int(os.environ.get("VH_E2E_SLOTS", "2"))
    if argv or slots < 2 or not (SECOND_PREFIX / "system.reg").exists():
        passed, failed, skipped, seconds = run_here(argv or ["test_*.py"])
    else:
        passed, failed, skipped, seconds = run_in_slots(slots)
    if summary_path:
        Path(summary_path).write_text(json.dumps(
            {"passed": passed, "failed": failed, "skipped": skipped, "seconds": seconds}))
    print("slowest tests:")
    for test_id_text, spent in sorted(seconds.items(), key=lambda item: -item[1])[:10]:
        print(f"  {spent:6.1f} s  {test_id_text}")
    print(f"e2e time: {time.monotonic() - started:.0f} s")
    print(f"e2e: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
