"""The release zip made by scripts/package: what it holds, its checksums, and
the version written once reaching its name, the programs' version resources
and the 32-bit banner."""

import hashlib
import re
import subprocess
import unittest
import zipfile

import harness
import pe_image

PROGRAMS = {"varnhold.exe": harness.DIST / "varnhold.exe",
            "x64/varnhold.exe": harness.DIST / "x64" / "varnhold.exe",
            "ui/varnhold_ui.exe": harness.DIST / "ui" / "varnhold_ui.exe"}
TEXTS = ["README.md", "LICENSE", "CHANGELOG.md"]
# What a download may weigh: a library that drags the C++ locale machinery in
# (as std::regex does) more than doubles the console build. Built for size,
# the 64-bit console build weighed 536 KB with its HTTP client and zlib.
SIZE_LIMITS = {"x64/varnhold.exe": 600 * 1024, "ui/varnhold_ui.exe": 2048 * 1024}


def project_version():
    text = (harness.ROOT / "CMakeLists.txt").read_text()
    return re.search(r"^project\(varnhold VERSION (\d+)\.(\d+)\.(\d+)", text, re.M).groups()


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Builds first; after scripts/build that is only a check that all is up to date.
        cls.result = subprocess.run([str(harness.ROOT / "scripts" / "package")],
                                    capture_output=True, text=True, timeout=1800)

    def test_zip_holds_the_programs_texts_and_verifying_checksums(self):
        self.assertEqual(0, self.result.returncode, self.result.stdout + self.result.stderr)
        version = project_version()
        path = harness.DIST / f"varnhold-{'.'.join(version)}.zip"
        self.assertIn(str(path), self.result.stdout)
        with zipfile.ZipFile(path) as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(list(PROGRAMS) + TEXTS + ["SHA256SUMS"], archive.namelist())
            entries = {name: archive.read(name) for name in archive.namelist()}
        for name, source in PROGRAMS.items():
            self.assertEqual(source.read_bytes(), entries[name], name)
            self.assertEqual(tuple(map(int, version)) + (0,), pe_image.PeImage(entries[name]).file_version(), name)
        for name in TEXTS:
            self.assertEqual((harness.ROOT / name).read_bytes(), entries[name], name)
        for name, limit in SIZE_LIMITS.items():
            self.assertLessEqual(len(entries[name]), limit, name)

        sums = entries["SHA256SUMS"].decode("ascii").splitlines()
        listed = {}
        for line in sums:
            digest, name = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line).groups()
            listed[name] = digest
        self.assertEqual(set(entries) - {"SHA256SUMS"}, set(listed))
        for name, digest in listed.items():
            self.assertEqual(hashlib.sha256(entries[name]).hexdigest(), digest, name)

        # The 32-bit build's banner shows "v<major>.<minor>" of the same version.
        banner = f"\nvarnhold v{version[0]}.{version[1]} - Writes process dump files.\n"
        self.assertIn(banner.encode("utf-16-le"), entries["varnhold.exe"])
        self.assertIn(f"## {'.'.join(version)}", entries["CHANGELOG.md"].decode())


if __name__ == "__main__":
    unittest.main()
