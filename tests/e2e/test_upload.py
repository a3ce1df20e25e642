"""Dumps sent to a crash server, end to end: real dumps written by the real
console program, sent by the upload code under Wine (through the upload
driver among the fixtures) to a crash server these tests run on 127.0.0.1
(crash_server.py), which decodes the gzip body and parses the multipart form.
"""

import json
import os
import re
import shutil
import struct
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import minidump  # noqa: E402
from crash_server import (HANG, CrashServer, answer, free_port,  # noqa: E402
                          self_signed_certificate)

UTC_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
SOCORRO_ID = "CrashID=bp-0f1e2d3c-4b5a-6978-8796-a5b4c3260101"
STAYS_QUEUED = "; it stays queued for -send.\n"


def expected_signature(path):
    """module+0xoffset NAME of the dump's exception, read with the test's own reader."""
    dump = harness.read_dump(path)
    raw = dump.stream_data(minidump.MODULE_LIST_STREAM)
    (count,) = struct.unpack_from("<I", raw, 0)
    address = dump.exception.address
    for i in range(count):
        base, size = struct.unpack_from("<QI", raw, 4 + i * minidump.MODULE_SIZE)
        (name_rva,) = struct.unpack_from("<I", raw, 4 + i * minidump.MODULE_SIZE + 20)
        if base <= address < base + size:
            (length,) = struct.unpack_from("<I", dump.data, name_rva)
            name = dump.data[name_rva + 4:name_rva + 4 + length].decode("utf-16-le")
            return "%s+0x%x ACCESS_VIOLATION" % (name.split("\\")[-1], address - base)
    return "? ACCESS_VIOLATION"


def events_of(log_path, *names):
    events = [json.loads(line) for line in Path(log_path).read_text(encoding="utf-8").splitlines()]
    return [e for e in events if e["event"] in names]


class UploadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        """One crash dump with its metadata, written by the real program; each
        test sends copies of it."""
        cls.source = harness.DumpDir("upload-source")
        path, win = cls.source.file("crash.dmp")
        with harness.Target(["wait-stdin", "av", "sleep:60000"]) as target:
            with harness.start_varnhold(["-e", "-meta", str(target.pid), win]) as run:
                target.wait_for_line("debugger attached", 60)
                target.send_line()
                run.wait(60)
        assert run.returncode == 0, run.output
        cls.crash = path

    @classmethod
    def tearDownClass(cls):
        cls.source.__exit__(None, None, None)

    def setUp(self):
        self.dumps = harness.DumpDir("upload")
        self.addCleanup(self.dumps.__exit__, None, None, None)
        self.log, self.log_win = self.dumps.file("events.log")
        self.mtime = 1700000000

    def copy_dump(self, name):
        """A copy of the crash dump and its metadata, each newer than the one before."""
        path, win = self.dumps.file(name)
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.crash, path)
        shutil.copyfile(str(self.crash) + ".json", str(path) + ".json")
        self.mtime += 60
        os.utime(path, (self.mtime, self.mtime))
        return path, win

    def driver(self, args, timeout=120):
        return harness.run_varnhold(["-log", self.log_win] + args, timeout=timeout,
                                    image=harness.fixture("upload_driver.exe"))

    def sent_record(self, path):
        return json.loads(Path(str(path) + ".sent").read_text(encoding="utf-8"))


class CrashServerTakesDumps(UploadTest):
    def test_crash_dump_is_sent_with_its_facts_and_metadata(self):
        path, win = self.copy_dump("crash.dmp")
        with CrashServer([answer(200, SOCORRO_ID + "\n")]) as server:
            result = self.driver(["-upload", server.url(), "-queue", win])
            self.assertEqual(0, result.returncode, result.stdout)
            self.assertIn("Uploaded %s to %s: %s\n" % (win, server.shown_url(), SOCORRO_ID),
                          result.stdout)
            (request,) = server.requests
        self.assertEqual("gzip", request.headers["Content-Encoding"])
        self.assertTrue(request.headers["Content-Type"].startswith(
            "multipart/form-data; boundary="))
        parts = request.parts
        # The platform's dump writer under Wine records no process times, so
        # there is no running time to send.
        self.assertEqual(["prod", "ver", "varnhold_version", "host", "trigger", "exception_code",
                          "signature", "upload_file_minidump", "varnhold_metadata"],
                         [name for name in parts if name != "ptime"])
        meta = json.loads(Path(str(path) + ".json").read_text(encoding="utf-8"))
        text = {name: part.data.decode() for name, part in parts.items()
                if part.filename is None}
        self.assertEqual({"prod": "vh_target", "ver": "0.0.0.0", "varnhold_version": meta["version"],
                          "host": meta["host"], "trigger": "exception",
                          "exception_code": "C0000005", "signature": expected_signature(path)},
                         text)
        self.assertRegex(text["signature"], r"^vh_target\.exe\+0x[0-9a-f]+ ACCESS_VIOLATION$")
        dump_part = parts["upload_file_minidump"]
        self.assertEqual(("crash.dmp", "application/octet-stream"),
                         (dump_part.filename, dump_part.content_type))
        self.assertEqual(path.read_bytes(), dump_part.data)
        self.assertEqual(0xC0000005, minidump.Minidump(dump_part.data).exception.code)
        meta_part = parts["varnhold_metadata"]
        self.assertEqual(("crash.dmp.json", "application/octet-stream"),
                         (meta_part.filename, meta_part.content_type))
        self.assertEqual(Path(str(path) + ".json").read_bytes(), meta_part.data)

        sent = self.sent_record(path)
        self.assertEqual(["url", "status", "id", "time", "bytes"], list(sent))
        self.assertEqual((server.shown_url(), 200, SOCORRO_ID, len(request.raw_body)),
                         (sent["url"], sent["status"], sent["id"], sent["bytes"]))
        self.assertRegex(sent["time"], UTC_TIME)
        (event,) = events_of(self.log, "upload_sent", "upload_failed", "upload_rejected")
        self.assertEqual(("upload_sent", win, server.shown_url(), SOCORRO_ID, text["signature"]),
                         (event["event"], event["path"], event["url"], event["id"],
                          event["signature"]))

    def test_key_in_the_query_reaches_the_server_and_nothing_else(self):
        key = "5b0a7e1c9d2f4e6a8b3c1d0e9f8a7b6c"
        event_id = "fc6d8c0c43fc4630ad850ee518f1b9d0"
        path, win = self.copy_dump("key.dmp")
        with CrashServer([answer(200, event_id)]) as server:
            result = self.driver(["-upload", server.url("/api/42/minidump/", "sentry_key=" + key),
                                  "-queue", win])
            self.assertEqual(0, result.returncode, result.stdout)
            (request,) = server.requests
        self.assertEqual(("/api/42/minidump/", "sentry_key=" + key),
                         (request.path, request.query))
        shown = server.shown_url("/api/42/minidump/")
        self.assertIn("Uploaded %s to %s: %s\n" % (win, shown, event_id), result.stdout)
        self.assertEqual(shown, self.sent_record(path)["url"])
        for text in (result.stdout, result.stderr, self.log.read_text(encoding="utf-8"),
                     Path(str(path) + ".sent").read_text(encoding="utf-8")):
            self.assertNotIn(key, text)

    def test_server_error_is_retried_until_accepted(self):
        path, win = self.copy_dump("retry.dmp")
        with CrashServer([answer(500), answer(200, "CrashID=bp-2")]) as server:
            result = self.driver(["-upload", server.url(), "-queue", win])
            self.assertEqual(0, result.returncode, result.stdout)
            self.assertEqual(2, len(server.requests))
        self.assertIn("Uploaded %s to %s: CrashID=bp-2\n" % (win, server.shown_url()),
                      result.stdout)
        self.assertNotIn("failed", result.stdout)
        failed, sent = events_of(self.log, "upload_failed", "upload_sent")
        self.assertEqual(("upload_failed", "HTTP 500 Internal Server Error", True),
                         (failed["event"], failed["error"], failed["retry"]))
        self.assertEqual("upload_sent", sent["event"])
        self.assertEqual("CrashID=bp-2", self.sent_record(path)["id"])


    def test_https_server_whose_certificate_the_system_does_not_trust_gets_nothing(self):
        path, win = self.copy_dump("tls.dmp")
        certificate = self_signed_certificate(self.dumps.path)
        with CrashServer([answer(200, "CrashID=bp-4")], certificate=certificate) as server:
            result = self.driver(["-upload", server.url(), "-wait", "3000", "-queue", win])
            self.assertEqual([], server.requests)
        self.assertEqual(1, result.returncode, result.stdout)
        # Wine's own trace says "cert verify failed: 12045" (an unknown
        # authority) and reports it as a failed secure channel.
        self.assertIn("Upload of %s failed: the secure connection to the server failed "
                      "(error 12157)%s" % (win, STAYS_QUEUED), result.stdout)
        self.assertFalse(Path(str(path) + ".sent").exists())


class TheFolderIsTheQueue(UploadTest):
    def test_dump_stays_queued_while_the_server_is_down_then_send_sends_it_once(self):
        port = free_port()
        url = "http://127.0.0.1:%d/submit" % port
        first, first_win = self.copy_dump("a.dmp")
        second, second_win = self.copy_dump("later/b.bin")
        (self.dumps.path / "notes.txt").write_text("not a dump")
        cut, _ = self.copy_dump("cut.dmp")
        cut.write_bytes(cut.read_bytes()[:4096])
        result = self.driver(["-upload", url, "-wait", "3000", "-queue", first_win])
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertRegex(result.stdout, re.escape("Upload of %s failed: " % first_win) +
                         r"cannot connect to the server \(error 12029\)" + re.escape(STAYS_QUEUED))
        self.assertFalse(Path(str(first) + ".sent").exists())

        with CrashServer([answer(200, "CrashID=bp-3")], port=port) as server:
            result = self.driver(["-upload", url, "-send", self.dumps.win])
            self.assertEqual(0, result.returncode, result.stdout)
            self.assertEqual(["Uploaded %s to %s: CrashID=bp-3" % (win, url)
                              for win in (first_win, second_win)], result.stdout.splitlines())
            again = self.driver(["-upload", url, "-send", self.dumps.win])
            self.assertEqual(0, again.returncode, again.stdout)
            self.assertEqual("No dump to send in %s.\n" % self.dumps.win, again.stdout)
            self.assertEqual(2, len(server.requests))
        for path in (first, second):
            self.assertEqual("CrashID=bp-3", self.sent_record(path)["id"])
        self.assertEqual(["a.dmp", "a.dmp.json", "a.dmp.sent", "cut.dmp", "cut.dmp.json",
                          "events.log", "later", "later/b.bin", "later/b.bin.json",
                          "later/b.bin.sent", "notes.txt"], self.dumps.files())

    def test_discarded_and_too_large_are_rejected_and_only_the_second_is_sent_again(self):
        discarded, discarded_win = self.copy_dump("a.dmp")
        large, large_win = self.copy_dump("b.dmp")
        with CrashServer([answer(200, "Discarded=1"), answer(413)]) as server:
            result = self.driver(["-upload", server.url(), "-send", self.dumps.win])
            self.assertEqual(1, result.returncode, result.stdout)
            again = self.driver(["-upload", server.url(), "-send", self.dumps.win])
            self.assertEqual(1, again.returncode, again.stdout)
            self.assertEqual(3, len(server.requests))
        too_large = "Upload of %s rejected: HTTP 413 Request Entity Too Large\n" % large_win
        self.assertEqual("Upload of %s rejected: Discarded=1\n" % discarded_win + too_large,
                         result.stdout)
        self.assertEqual(too_large, again.stdout)
        self.assertEqual({"status": 200, "id": None, "discarded": "Discarded=1"},
                         {k: v for k, v in self.sent_record(discarded).items()
                          if k in ("status", "id", "discarded")})
        self.assertFalse(Path(str(large) + ".sent").exists())
        rejected = events_of(self.log, "upload_rejected")
        self.assertEqual([(discarded_win, 200), (large_win, 413), (large_win, 413)],
                         [(e["path"], e["status"]) for e in rejected])
        self.assertEqual("Discarded=1", rejected[0]["reason"])


class SilentServers(UploadTest):
    def test_server_that_never_answers_does_not_hold_the_run_past_its_bound(self):
        path, win = self.copy_dump("quiet.dmp")
        with CrashServer([HANG]) as server:
            result = self.driver(["-upload", server.url(), "-wait", "3000", "-queue", win])
            self.assertEqual(1, server.requests and len(server.requests))
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertLess(result.elapsed, 15)
        self.assertIn("Upload of %s failed: not sent within the 3 s the run waits for uploads at "
                      "its end%s" % (win, STAYS_QUEUED), result.stdout)
        self.assertFalse(Path(str(path) + ".sent").exists())

    def test_send_gives_up_on_a_silent_server_after_the_step_bound(self):
        first, first_win = self.copy_dump("a.dmp")
        second, second_win = self.copy_dump("b.dmp")
        with CrashServer([HANG]) as server:
            result = self.driver(["-upload", server.url(), "-step", "2000", "-send",
                                  self.dumps.win])
            self.assertEqual(1, len(server.requests))
        self.assertEqual(1, result.returncode, result.stdout)
        silence = "no answer from the server within 2 s"
        self.assertEqual(["Upload of %s failed: %s%s" % (first_win, silence, STAYS_QUEUED),
                          "Upload of %s failed: not tried after the one before failed: %s%s"
                          % (second_win, silence, STAYS_QUEUED)],
                         result.stdout.splitlines(keepends=True))

    def test_ctrl_c_ends_the_wait_at_once(self):
        path, win = self.copy_dump("c.dmp")
        with CrashServer([HANG]) as server:
            with harness.WineProcess(harness.fixture("upload_driver.exe"),
                                     ["-upload", server.url(), "-wait", "600000",
                                      "-queue", win]) as run:
                run.wait_for_line("Queued 1 dumps.")
                server.wait_for_requests(1)
                pressed = time.monotonic()
                run.ctrl_c()
                run.wait(30)
                self.assertLess(time.monotonic() - pressed, 5)
        self.assertEqual(1, run.returncode, run.output)
        self.assertIn("Upload of %s failed: cancelled%s" % (win, STAYS_QUEUED), run.output)


if __name__ == "__main__":
    unittest.main()
