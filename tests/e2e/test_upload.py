"""Dumps sent to a crash server, end to end: the real console program writes
dumps of the test target and sends them (-upload), or sends what a folder
holds (-send), to a crash server these tests run on 127.0.0.1
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
from collections import namedtuple
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
import minidump  # noqa: E402
from crash_server import (HANG, HANG_UP, CrashServer, answer, early,  # noqa: E402
                          free_port, self_signed_certificate, trickle)

UTC_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
CRASH_ID = "CrashID=bp-0f1e2d3c-4b5a-6978-8796-a5b4c3260101"
EVENT_ID = "fc6d8c0c43fc4630ad850ee518f1b9d0"
KEY = "5b0a7e1c9d2f4e6a8b3c1d0e9f8a7b6c"
STAYS_QUEUED = "; it stays queued for -send.\n"
REFUSED = "; no dump is sent in this run after it, and each stays queued for -send.\n"
RUN_TIMEOUT = 120


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
    return [e for e in events if not names or e["event"] in names]


class UploadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        """One crash dump with its metadata, written by the real program; the
        -send tests send copies of it."""
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

    def send(self, url, path_win):
        return harness.run_varnhold(["-log", self.log_win, "-upload", url, "-send", path_win],
                                    timeout=RUN_TIMEOUT)

    def start_crash_run(self, url, dump_win, options=()):
        """The target faults at once under -e with -upload; returns the run."""
        started = time.monotonic()
        target = harness.Target(["wait-stdin", "av", "sleep:60000"])
        self.addCleanup(target.kill)
        run = harness.start_varnhold(["-e", "-meta", "-log", self.log_win, "-upload", url]
                                     + list(options) + [str(target.pid), dump_win])
        self.addCleanup(run.kill)
        target.wait_for_line("debugger attached", 60)
        target.send_line()
        run.wait_for_line("Writing dump file")
        self.target_ran_ms = (time.monotonic() - started) * 1000
        return run

    def sent_record(self, path):
        return json.loads(Path(str(path) + ".sent").read_text(encoding="utf-8"))


class RunsSendTheirDumps(UploadTest):
    def test_crash_dump_is_sent_with_its_facts_and_metadata_and_the_key_nowhere_else(self):
        path, win = self.dumps.file("crash.dmp")
        with CrashServer([answer(200, CRASH_ID + "\n")]) as server:
            url = server.url("/api/42/minidump/", "sentry_key=" + KEY)
            shown = server.shown_url("/api/42/minidump/")
            run = self.start_crash_run(url, win)
            self.assertEqual(0, run.wait(RUN_TIMEOUT), run.output)
            (request,) = server.requests
        self.assertIn("Upload:                %s\nDump file:" % shown, run.output)
        self.assertIn("Uploaded %s to %s: %s\n" % (win, shown, CRASH_ID), run.output)
        self.assertEqual(("/api/42/minidump/", "sentry_key=" + KEY), (request.path, request.query))
        self.assertEqual("gzip", request.headers["Content-Encoding"])
        parts = request.parts
        self.assertEqual(["prod", "ver", "ptime", "varnhold_version", "host", "trigger",
                          "exception_code", "signature", "upload_file_minidump",
                          "varnhold_metadata"], list(parts))
        meta = json.loads(Path(str(path) + ".json").read_text(encoding="utf-8"))
        text = {name: part.data.decode() for name, part in parts.items()
                if part.filename is None}
        signature = expected_signature(path)
        # The platform's dump writer under Wine records no process times: the
        # running time comes from the creation time the system gave the run,
        # within the time the test saw from the target's start to the dump.
        ptime = int(text.pop("ptime"))
        self.assertLess(0, ptime)
        self.assertLess(ptime, self.target_ran_ms)
        self.assertEqual({"prod": "vh_target", "ver": "0.0.0.0", "varnhold_version": meta["version"],
                          "host": meta["host"], "trigger": "exception",
                          "exception_code": "C0000005", "signature": signature}, text)
        self.assertEqual(signature, meta["signature"])
        self.assertEqual(("crash.dmp", "application/octet-stream", path.read_bytes()),
                         parts["upload_file_minidump"])
        self.assertEqual(("crash.dmp.json", "application/octet-stream",
                          Path(str(path) + ".json").read_bytes()), parts["varnhold_metadata"])

        sent = self.sent_record(path)
        self.assertEqual(["url", "status", "id", "time", "bytes"], list(sent))
        self.assertEqual((shown, 200, CRASH_ID, len(request.raw_body)),
                         (sent["url"], sent["status"], sent["id"], sent["bytes"]))
        self.assertRegex(sent["time"], UTC_TIME)
        events = events_of(self.log)
        (written,) = [e for e in events if e["event"] == "dump_written"]
        (uploaded,) = [e for e in events if e["event"].startswith("upload_")]
        self.assertEqual(signature, written["signature"])
        self.assertEqual(("upload_sent", win, shown, CRASH_ID, signature),
                         (uploaded["event"], uploaded["path"], uploaded["url"], uploaded["id"],
                          uploaded["signature"]))
        self.assertEqual(shown, events[0]["settings"]["upload"])
        # The command line is quoted without the key wherever it is quoted.
        self.assertIn("-upload %s " % shown, meta["commandLine"])
        self.assertIn("-upload %s " % shown, harness.read_dump(path).comment_w.text)
        for text in (run.output, run.errors, self.log.read_text(encoding="utf-8"),
                     Path(str(path) + ".sent").read_text(encoding="utf-8"),
                     Path(str(path) + ".json").read_text(encoding="utf-8")):
            self.assertNotIn(KEY, text)
        self.assertNotIn(KEY.encode("utf-16-le"), path.read_bytes())

    def test_server_error_is_retried_until_accepted(self):
        path, win = self.dumps.file("retry.dmp")
        with CrashServer([answer(500), answer(200, CRASH_ID)]) as server:
            run = self.start_crash_run(server.url(), win)
            self.assertEqual(0, run.wait(RUN_TIMEOUT), run.output)
            self.assertEqual(2, len(server.requests))
        self.assertIn("Uploaded %s to %s: %s\n" % (win, server.shown_url(), CRASH_ID),
                      run.output)
        self.assertNotIn("failed", run.output)
        failed, sent = events_of(self.log, "upload_failed", "upload_sent")
        self.assertEqual(("upload_failed", "HTTP 500 Internal Server Error", True),
                         (failed["event"], failed["error"], failed["retry"]))
        self.assertEqual("upload_sent", sent["event"])
        self.assertEqual(CRASH_ID, self.sent_record(path)["id"])

    def test_server_that_never_answers_does_not_hold_the_run_past_its_bound(self):
        path, win = self.dumps.file("quiet.dmp")
        with CrashServer([HANG]) as server:
            run = self.start_crash_run(server.url(), win)
            run.wait_for_line("Waiting up to 30 s for the uploads still pending")
            waiting = run.elapsed
            self.assertEqual(1, run.wait(RUN_TIMEOUT), run.output)
            self.assertEqual(1, len(server.requests))
        self.assertLess(run.elapsed - waiting, 40)
        self.assertIn("Upload of %s failed: not sent within the 30 s the run waits for uploads "
                      "at its end%s" % (win, STAYS_QUEUED), run.output)
        self.assertFalse(Path(str(path) + ".sent").exists())

    def test_dumps_that_keep_deletes_take_their_sent_record_and_unsent_ones_are_reported(self):
        """Two dumps of an earlier watch, one sent: -keep 1 deletes both for
        the new one, and says that the other never reached the server."""
        sent, sent_win = self.copy_dump("w_0.dmp")
        Path(str(sent) + ".sent").write_text(
            '{"url":"http://127.0.0.1/","status":200,"id":"x","time":"t","bytes":1}\n')
        unsent, unsent_win = self.copy_dump("w_1.dmp")
        new, new_win = self.dumps.file("w_2.dmp")
        with CrashServer([answer(200, EVENT_ID)]) as server, \
                harness.Target(["sleep:60000"]) as target:
            result = harness.run_varnhold(["-a", "1", "-keep", "1", "-log", self.log_win,
                                           "-upload", server.url(), str(target.pid),
                                           self.dumps.win + "\\w.dmp"], timeout=RUN_TIMEOUT)
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertIn("Upload of %s failed: the dump was deleted before it was sent.\n"
                      % unsent_win, result.stdout)
        self.assertIn("Uploaded %s to %s: %s\n" % (new_win, server.shown_url(), EVENT_ID),
                      result.stdout)
        self.assertNotIn(sent_win + " failed", result.stdout)
        (gone,) = events_of(self.log, "upload_failed")
        self.assertEqual((unsent_win, "the dump was deleted before it was sent", False),
                         (gone["path"], gone["error"], gone["retry"]))
        self.assertEqual(["events.log", "w_2.dmp", "w_2.dmp.sent"], self.dumps.files())


class TheFolderIsTheQueue(UploadTest):
    def test_two_sends_of_one_folder_at_once_post_each_dump_once(self):
        for number in range(6):
            self.copy_dump("queue/crash_%d.dmp" % number)
        folder = self.dumps.path / "queue"
        # Each answer takes a while, so that the runs meet at every dump.
        slow = lambda request, count: time.sleep(0.3)  # noqa: E731
        with CrashServer([answer(200, CRASH_ID)], on_request=slow) as server:
            runs = [harness.start_varnhold(["-upload", server.url(), "-send",
                                            harness.win_path(folder)]) for _ in range(2)]
            for run in runs:
                self.addCleanup(run.kill)
            for run in runs:
                self.assertEqual(0, run.wait(RUN_TIMEOUT), run.output)
            names = [r.parts["upload_file_minidump"].filename for r in server.requests]
        self.assertEqual(["crash_%d.dmp" % n for n in range(6)], sorted(names))
        for number in range(6):
            self.assertEqual(CRASH_ID, self.sent_record(folder / ("crash_%d.dmp" % number))["id"])

    def test_dump_stays_queued_while_the_server_is_down_then_send_sends_it_once(self):
        port = free_port()
        url = "http://127.0.0.1:%d/submit" % port
        first, first_win = self.dumps.file("a.dmp")
        run = self.start_crash_run(url, first_win)
        # Tried and failed once; Ctrl+C then ends the wait for the next try.
        harness.wait_until(lambda: self.log.exists() and '"event":"upload_failed"' in
                           self.log.read_text(encoding="utf-8"), 60, "a failed upload")
        run.wait_for_line("Waiting up to 30 s for the uploads still pending")
        run.ctrl_c()
        self.assertEqual(1, run.wait(30), run.output)
        self.assertLess(run.elapsed, 60)
        # Cut off in its next try or waiting for it.
        self.assertRegex(run.output, re.escape("Upload of %s failed: " % first_win) +
                         r"(cannot connect to the server \(error 12029\)|cancelled)" +
                         re.escape(STAYS_QUEUED))
        self.assertFalse(Path(str(first) + ".sent").exists())
        os.utime(first, (self.mtime, self.mtime))
        second, second_win = self.copy_dump("later/b.bin")
        (self.dumps.path / "notes.txt").write_text("not a dump")
        cut, _ = self.copy_dump("cut.dmp")
        cut.write_bytes(cut.read_bytes()[:4096])

        with CrashServer([answer(200, EVENT_ID)], port=port) as server:
            result = self.send(url, self.dumps.win)
            self.assertEqual(0, result.returncode, result.stdout)
            self.assertEqual(["Uploaded %s to %s: %s" % (win, url, EVENT_ID)
                              for win in (first_win, second_win)], result.stdout.splitlines())
            again = self.send(url, self.dumps.win)
            self.assertEqual(0, again.returncode, again.stdout)
            self.assertEqual("No dump to send in %s.\n" % self.dumps.win, again.stdout)
            self.assertEqual(2, len(server.requests))
        for path in (first, second):
            self.assertEqual(EVENT_ID, self.sent_record(path)["id"])
        self.assertEqual(["a.dmp", "a.dmp.json", "a.dmp.sent", "cut.dmp", "cut.dmp.json",
                          "events.log", "later", "later/b.bin", "later/b.bin.json",
                          "later/b.bin.sent", "notes.txt"], self.dumps.files())

    def test_discarded_and_too_large_are_rejected_and_only_the_second_is_sent_again(self):
        discarded, discarded_win = self.copy_dump("a.dmp")
        large, large_win = self.copy_dump("b.dmp")
        with CrashServer([answer(200, "Discarded=1"), answer(413)]) as server:
            result = self.send(server.url(), self.dumps.win)
            self.assertEqual(1, result.returncode, result.stdout)
            again = self.send(server.url(), self.dumps.win)
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

    def test_https_server_whose_certificate_the_system_does_not_trust_gets_nothing(self):
        path, win = self.copy_dump("tls.dmp")
        certificate = self_signed_certificate(self.dumps.path)
        with CrashServer([answer(200, CRASH_ID)], certificate=certificate) as server:
            result = self.send(server.url(), win)
            self.assertEqual([], server.requests)
        self.assertEqual(1, result.returncode, result.stdout)
        # Wine's own trace says "cert verify failed: 12045" (an unknown
        # authority) and reports it as a failed secure channel.
        self.assertEqual("Upload of %s refused: the secure connection to the server failed "
                         "(error 12157)%s" % (win, REFUSED), result.stdout)
        self.assertFalse(Path(str(path) + ".sent").exists())

    def test_send_on_a_path_that_does_not_exist_ends_with_exit_code_1(self):
        missing = self.dumps.win + "\\no such folder"
        result = self.send("http://127.0.0.1:9/submit", missing)
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertTrue(result.stdout.startswith("Cannot send %s: " % missing), result.stdout)

    def test_send_of_a_named_file_that_is_no_complete_dump_is_an_error(self):
        cut, cut_win = self.copy_dump("cut.dmp")
        cut.write_bytes(cut.read_bytes()[:4096])
        result = self.send("http://127.0.0.1:9/submit", cut_win)
        self.assertEqual(1, result.returncode, result.stdout)
        self.assertEqual("Cannot send %s: it is not a complete minidump.\n" % cut_win,
                         result.stdout)

    def test_credentials_over_plain_http_are_sent_after_one_warning(self):
        _, win = self.copy_dump("a.dmp")
        with CrashServer([answer(200, CRASH_ID)]) as server:
            url = server.url().replace("://", "://crash:s%40cret@")
            result = self.send(url, win)
            (request,) = server.requests
        self.assertEqual(0, result.returncode, result.stdout)
        self.assertEqual("Warning: the user name and password of %s go to the server "
                         "unencrypted over http; use https.\nUploaded %s to %s: %s\n"
                         % (server.shown_url(), win, server.shown_url(), CRASH_ID),
                         result.stdout)
        self.assertEqual("Basic Y3Jhc2g6c0BjcmV0", request.headers["Authorization"])

    def test_ctrl_c_reaches_into_the_compression_of_a_large_dump(self):
        path, win = self.copy_dump("large.dmp")
        with open(path, "ab") as dump:
            dump.write(os.urandom(160 * 1024 * 1024))  # does not compress away
        temp = Path(harness.wine_environment()["WINEPREFIX"]) / "drive_c/users/root/Temp"
        before = set(temp.glob("vhu*.tmp"))
        with CrashServer([answer(200, CRASH_ID)]) as server:
            run = harness.start_varnhold(["-upload", server.url(), "-send", win])
            with run:
                # A body beyond what is kept in memory goes into a temporary
                # file: compression is under way.
                harness.wait_until(lambda: set(temp.glob("vhu*.tmp")) - before, 60,
                                   "the body's temporary file")
                pressed = run.elapsed
                run.ctrl_c()
                self.assertEqual(1, run.wait(30), run.output)
            self.assertEqual([], server.requests)
        self.assertLess(run.elapsed - pressed, 2.0)
        self.assertEqual("Upload of %s failed: cancelled%s" % (win, STAYS_QUEUED), run.output)
        self.assertEqual(before, set(temp.glob("vhu*.tmp")))


# A crash server that misbehaves, one case per way, each driving one -send
# of the case's dumps ({0}, {1}, ... in the expected lines; {url} the shown
# URL, {other} a second server's). The bounds are cut short for the test
# (VH_UPLOAD_TEST_LIMITS; the product's own are 60 s per step and 2 minutes
# plus 1 s per MB for a dump).
SHORT = "deadline=3000,retry=200"
Case = namedtuple("Case", "name answers dumps exit_code requests lines events sent setup limits",
                  defaults=(None, SHORT))
BROKEN = r"(the connection to the server was broken \(error 12030\)" \
         r"|the server's answer is not HTTP \(error 12152\))"
NOT_TRIED_AFTER_FAILURE = r"Upload of {%d} not tried: the server failed for {0}" \
                          + re.escape(STAYS_QUEUED.rstrip("\n"))
MISBEHAVIOURS = [
    Case("413 as soon as the head is read, then a hang-up mid-body",
         [early(413)], ["big"], 1, 1,
         [r"Upload of {0} rejected: HTTP 413 Request Entity Too Large"],
         ["upload_rejected"], [], limits="retry=200"),
    Case("a well-behaved server and a dump beyond what is kept in memory: sent from its file",
         [answer(200, CRASH_ID)], ["big"], 0, 1,
         [r"Uploaded {0} to {url}: " + CRASH_ID], ["upload_sent"], [0], limits="retry=200"),
    Case("a hang-up without an answer: tried again until the dump's time is up",
         [HANG_UP], ["small", "small"], 1, (2, 30),
         [r"(Upload of {0} failed: %s; trying again in \d+ s\.\n)+" % BROKEN
          + r"Upload of {0} failed: %s( \(no time left to try again within the 3 s a dump "
            r"may take\))?%s" % (BROKEN, re.escape(STAYS_QUEUED.rstrip("\n"))),
          NOT_TRIED_AFTER_FAILURE % 1],
         ["upload_failed", "upload_failed"], []),
    Case("an answer trickling in a byte at a time: cut off at the dump's deadline",
         [trickle(200, CRASH_ID)], ["small", "small"], 1, 1,
         [r"Upload of {0} failed: not sent within the 3 s an upload of this dump may take"
          + re.escape(STAYS_QUEUED.rstrip("\n")),
          NOT_TRIED_AFTER_FAILURE % 1],
         ["upload_failed", "upload_failed"], []),
    Case("401 to everything: the batch stops after the first",
         [answer(401)], ["small"] * 5, 1, 1,
         [r"Upload of {0} refused: HTTP 401 Unauthorized" + re.escape(REFUSED.rstrip("\n"))]
         + [r"Upload of {%d} not tried: the upload of {0} was refused" % i
            + re.escape(STAYS_QUEUED.rstrip("\n")) for i in range(1, 5)],
         ["upload_rejected"] + ["upload_failed"] * 4, []),
    Case("429 with Retry-After: tried again after it, within the run",
         [answer(429, headers={"Retry-After": "1"}), answer(200, CRASH_ID)], ["small"], 0, 2,
         [r"Upload of {0} failed: HTTP 429 Too Many Requests; trying again in [12] s\.",
          r"Uploaded {0} to {url}: " + CRASH_ID],
         ["upload_sent"], [0]),
    Case("a redirect to another port: never followed, the batch stops",
         [answer(307, headers={"Location": "{other}?key=" + KEY})], ["small", "small"], 1, 1,
         [r"Upload of {0} refused: HTTP 307 Temporary Redirect \(to {other}\)"
          + re.escape(REFUSED.rstrip("\n")),
          r"Upload of {1} not tried: the upload of {0} was refused"
          + re.escape(STAYS_QUEUED.rstrip("\n"))],
         ["upload_rejected", "upload_failed"], []),
    Case("a .sent record that cannot be written: sent, but not recorded, exit code 1",
         [answer(200, CRASH_ID)], ["small"], 1, 1,
         [r"Uploaded {0} to {url}: " + CRASH_ID, r"Failed to write {0}\.sent: .+"],
         ["upload_sent"], [],
         lambda paths: Path(str(paths[0]) + ".sent.tmp").mkdir()),
]


class MisbehavingServers(UploadTest):
    def big_dump(self, name):
        """The crash dump with 32 MB that do not compress after its streams:
        still a complete minidump, whose body is still going out when a
        server hangs up after the head."""
        path, win = self.copy_dump(name)
        with open(path, "ab") as dump:
            dump.write(os.urandom(32 * 1024 * 1024))
        return path, win

    def test_each_misbehaviour_is_understood_bounded_and_reported(self):
        for case in MISBEHAVIOURS:
            with self.subTest(case.name):
                self.check(case)

    def check(self, case):
        folder = self.dumps.path / ("case%d" % MISBEHAVIOURS.index(case))
        log = folder / "events.log"
        dumps = [(self.big_dump if kind == "big" else self.copy_dump)(
            "%s/%d.dmp" % (folder.name, i)) for i, kind in enumerate(case.dumps)]
        if case.setup:
            case.setup([path for path, _ in dumps])
        with CrashServer([answer(200, "wrong server")]) as other, \
                CrashServer([a._replace(headers={k: v.format(other=other.shown_url())
                                                 for k, v in a.headers.items()})
                             for a in case.answers]) as server:
            started = time.monotonic()
            result = harness.run_varnhold(
                ["-log", harness.win_path(log), "-upload", server.url(),
                 "-send", harness.win_path(folder)],
                timeout=RUN_TIMEOUT, env={"VH_UPLOAD_TEST_LIMITS": case.limits})
            took = time.monotonic() - started
            requests, strays = list(server.requests), list(other.requests)
        fill = {"url": re.escape(server.shown_url()), "other": re.escape(other.shown_url())}
        fill.update({str(i): re.escape(win) for i, (_, win) in enumerate(dumps)})
        expected = "".join(re.sub(r"\{(\w+)\}", lambda m: fill[m.group(1)], line) + r"\n"
                           for line in case.lines)
        self.assertRegex(result.stdout, "^" + expected + "$")
        self.assertEqual(case.exit_code, result.returncode, result.stdout)
        low, high = case.requests if isinstance(case.requests, tuple) else (case.requests,) * 2
        self.assertTrue(low <= len(requests) <= high, len(requests))
        self.assertEqual([], strays)
        # Every request that came was for the first dump, until it was
        # accepted, and carried it whole.
        for request in requests:
            if request.parts is not None:
                self.assertEqual(("0.dmp", dumps[0][0].read_bytes()),
                                 request.parts["upload_file_minidump"][::2])
        self.assertLess(took, 60)
        if len(requests) == 2 and case.exit_code == 0:
            self.assertGreaterEqual(requests[1].time - requests[0].time, 1.0)  # Retry-After
        # Each try again is logged as a failure to be retried; the final word
        # on each dump once.
        events = events_of(log, "upload_sent", "upload_failed", "upload_rejected")
        self.assertEqual(case.events, [e["event"] for e in events if not e.get("retry")])
        self.assertEqual(len(requests) - 1, len([e for e in events if e.get("retry")]))
        self.assertEqual([i for i, (path, _) in enumerate(dumps)
                          if Path(str(path) + ".sent").is_file()], case.sent)
        self.assertNotIn(KEY, result.stdout + log.read_text(encoding="utf-8"))


if __name__ == "__main__":
    unittest.main()
