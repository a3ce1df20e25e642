"""Runs every end-to-end test module (tests/e2e/test_*.py) and ends with the
line 'e2e: N passed, N failed, N skipped'. Exit code 1 when anything failed."""

import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "tools"))

import harness  # noqa: E402


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


def main():
    harness.ensure_wineserver()
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(str(HERE), pattern=pattern, top_level_dir=str(HERE))
    started = time.monotonic()
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout, resultclass=TimedResult).run(suite)
    # A test with failing subtests is reported once per subtest; count tests.
    def test_id(test):
        return getattr(test, "test_case", test).id()

    failed_ids = {test_id(test) for test, _ in result.failures + result.errors}
    failed_ids |= {test_id(test) for test in result.unexpectedSuccesses}
    failed = len(failed_ids)
    skipped = len({test_id(test) for test, _ in result.skipped} - failed_ids)
    passed = max(result.testsRun - failed - skipped, 0)
    print("slowest tests:")
    for test_id_text, seconds in sorted(result.seconds.items(), key=lambda item: -item[1])[:10]:
        print(f"  {seconds:6.1f} s  {test_id_text}")
    print(f"e2e time: {time.monotonic() - started:.0f} s")
    print(f"e2e: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
