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


def main():
    harness.ensure_wineserver()
    pattern = sys.argv[1] if len(sys.argv) > 1 else "test_*.py"
    suite = unittest.defaultTestLoader.discover(str(HERE), pattern=pattern, top_level_dir=str(HERE))
    started = time.monotonic()
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    # A test with failing subtests is reported once per subtest; count tests.
    def test_id(test):
        return getattr(test, "test_case", test).id()

    failed_ids = {test_id(test) for test, _ in result.failures + result.errors}
    failed_ids |= {test_id(test) for test in result.unexpectedSuccesses}
    failed = len(failed_ids)
    skipped = len({test_id(test) for test, _ in result.skipped} - failed_ids)
    passed = max(result.testsRun - failed - skipped, 0)
    print(f"e2e time: {time.monotonic() - started:.0f} s")
    print(f"e2e: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
