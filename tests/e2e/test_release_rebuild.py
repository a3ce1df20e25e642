"""Rebuilding the release: this tree's files, copied into a fresh folder whose
path is longer than this tree's and packed there (scripts/package
--programs-only), give the zip this tree's own scripts/package gives, byte for
byte; and every time stamp in its programs, the ones they carry included, is
the last commit's time.

The copy holds the working files git knows of or would add (tracked and
untracked, not ignored), so that uncommitted work is rebuilt as it stands; in
a clean clone that is the last commit. The other build is this tree's own,
which a test run has just made (in CI from a clean clone, so both are builds
from nothing); the copy's build from nothing is the cost of this test, about
two to four minutes on two cores."""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

import harness
import pe_image

BUILD_TIMEOUT = 1800


def source_date_epoch():
    """The time the scripts stamp, as scripts/lib/common.sh decides it."""
    decide = (f'source "{harness.ROOT}/scripts/lib/common.sh" && set_source_date_epoch '
              '2>/dev/null && echo "${SOURCE_DATE_EPOCH:-}"')
    told = subprocess.run(["bash", "-c", decide], capture_output=True, text=True).stdout.strip()
    return int(told) if told.isdigit() else None


def copy_working_files(destination):
    listed = subprocess.run(["git", "-C", str(harness.ROOT), "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], capture_output=True, check=True).stdout
    for name in filter(None, listed.decode().split("\0")):
        source = harness.ROOT / name
        if source.is_file():  # a tracked file deleted in the working tree is not copied
            (destination / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(source, destination / name, follow_symlinks=False)


def package(tree, *options, **environment):
    """Runs scripts/package in a tree; returns the zip and its SHA-256 as the
    script's last line prints it."""
    result = subprocess.run([str(tree / "scripts" / "package"), *options], capture_output=True,
                            text=True, timeout=BUILD_TIMEOUT, env={**os.environ, **environment})
    output = result.stdout + result.stderr
    assert result.returncode == 0, f"scripts/package in {tree} failed:\n{output[-3000:]}"
    last = re.fullmatch(r"([0-9a-f]{64})  (varnhold-\d+\.\d+\.\d+\.zip)", result.stdout.splitlines()[-1])
    assert last, f"scripts/package in {tree} did not end with the zip's SHA-256:\n{output[-3000:]}"
    return tree / "dist" / last.group(2), last.group(1)


def first_difference(one, other):
    """Where two zips first differ: the entry and the byte offset in it."""
    with zipfile.ZipFile(one) as first, zipfile.ZipFile(other) as second:
        for name in first.namelist():
            left = first.read(name)
            right = second.read(name) if name in second.namelist() else b""
            if left != right:
                at = next((i for i, (a, b) in enumerate(zip(left, right)) if a != b), min(len(left), len(right)))
                return f"{name} first differs at byte {at}"
    return "the entries are equal, the zip's own fields differ"


def stamps_of(name, image):
    """Every time stamp of an image and of the images it carries, by where it is."""
    found = {f"{name}: {where}": value for where, value in image.time_stamps()}
    for resource, inner in image.embedded_images():
        found.update(stamps_of(f"{name} > {resource}", inner))
    return found


class ReleaseRebuild(unittest.TestCase):
    def test_a_fresh_copy_in_another_folder_packs_the_same_zip(self):
        if shutil.which("git") is None or not (harness.ROOT / ".git").exists():
            self.skipTest("not a git checkout: which files make the release is not known")
        epoch = source_date_epoch()
        if epoch is None:
            self.skipTest("no SOURCE_DATE_EPOCH and no commit to take the time from")
        harness.TMP.mkdir(parents=True, exist_ok=True)
        folder = Path(tempfile.mkdtemp(prefix="rebuild-", dir=str(harness.TMP)))
        copy = folder / "copy-in-a-folder-with-a-much-longer-name" / "varnhold"
        copy_working_files(copy)
        rebuilt, told = package(copy, "--programs-only", SOURCE_DATE_EPOCH=str(epoch))
        self.assertEqual(hashlib.sha256(rebuilt.read_bytes()).hexdigest(), told)
        # This tree's own build (tests and all, in place), its time found by the scripts.
        own, _ = package(harness.ROOT)
        if rebuilt.read_bytes() != own.read_bytes():
            self.fail(f"{rebuilt} differs from {own}: " + first_difference(own, rebuilt))

        with zipfile.ZipFile(own) as archive:
            programs = {name: archive.read(name) for name in archive.namelist() if name.endswith(".exe")}
        for name, data in programs.items():
            for where, stamp in stamps_of(name, pe_image.PeImage(data)).items():
                # Every time stamp is the commit's.
                self.assertEqual(epoch, stamp, where)
        shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
