// One attempt to send one dump to the crash server: the dump is opened and
// checked, described from its own content (and the metadata file beside it),
// compressed, posted, and the answer read. The dump is claimed for sending
// first (no other run of ours sends it at the same time, and none once it
// has its .sent record); the compressed body is made once and kept with the
// item for its later tries, and a dump the server took gets its .sent
// record here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/exclusive_lock.h"
#include "common/http_url.h"
#include "console/upload/http_post.h"
#include "console/upload/retry_schedule.h"
#include "console/upload/upload_body.h"
#include "console/upload/upload_form.h"
#include "console/upload/upload_outcome.h"

// A dump's compressed body and what was read from it.
struct PreparedUpload;

struct UploadItem {
    std::wstring dumpPath;
    // Empty fields are taken from "<dump>.json" when there is one, else the
    // trigger is "unknown" and the host this machine. That metadata file is
    // sent with the dump when it exists and is ours.
    DumpOrigin origin;
    // A dump the run wrote itself is sent only while it is still a dump of
    // ours (a -send of a folder the user names sends any complete minidump).
    bool oursOnly = false;
    // Made by the first attempt (or ahead of it), used again by the next ones.
    std::shared_ptr<PreparedUpload> prepared;
    // When the tries of this dump must have ended (GetTickCount64 time); 0
    // gives each attempt a deadline of its own.
    uint64_t deadlineTick = 0;
};

// The bounds of sending. Each step of a request (connecting, each piece of
// the body, the answer) must make progress within stepTimeoutMs; all tries
// of one dump in a -send, and each attempt of a watch, end within
// deadlineBaseMs plus deadlineMsPerMB for each MB of the dump.
struct UploadLimits {
    DWORD stepTimeoutMs = 60000;
    uint64_t deadlineBaseMs = 120000;
    uint64_t deadlineMsPerMB = 1000;
    RetrySchedule retry;
};

// The limits, with those that text names made shorter (never longer):
// "step=<ms>,deadline=<ms>,retry=<ms>" (the last the first retry's bound).
// The tests shorten them through the environment variable
// VH_UPLOAD_TEST_LIMITS so that a silent or trickling server ends in
// seconds; anything else in the text is ignored.
UploadLimits ShortenedLimits(UploadLimits limits, const wchar_t* text);

// How long the tries of a dump of dumpBytes may take, in milliseconds.
uint64_t UploadDeadlineMs(const UploadLimits& limits, uint64_t dumpBytes);

class Uploader {
  public:
    Uploader() = default;
    Uploader(const Uploader&) = delete;
    Uploader& operator=(const Uploader&) = delete;

    // Opens the HTTP session for the URL, and warns once when the URL's
    // user name and password would go over plain http. False with the
    // system error when the system has no session to give.
    bool Open(const HttpUrl& url, DWORD* error);

    const std::wstring& shownUrl() const { return shownUrl_; }
    const UploadLimits& limits() const { return limits_; }

    // One attempt; cancel (may be null) ends it at once, compression
    // included. Not for two threads at a time. The single place where an
    // attempt at a dump begins, and where its .sent record is written.
    UploadOutcome Upload(UploadItem& item, HANDLE cancel);

    // Makes the item's body ahead of its attempt, on another thread than
    // the one in Upload (for another item); a failure is left for Upload to
    // meet and report.
    void PrepareAhead(UploadItem& item, HANDLE cancel);

  private:
    // Checks the dump (the claimed one, or one opened to prepare ahead; open
    // with delete sharing, so that -keep never waits on the network to
    // delete it) and writes the body. On failure *failure says why.
    bool Prepare(const UploadItem& item, HANDLE dump, HANDLE cancel, PreparedUpload* prepared,
                 UploadOutcome* failure);
    // The item's body, kept from an earlier try or made ahead when it is of
    // this same file, else made now; false with *failure when there is none.
    bool PreparedBody(UploadItem& item, HANDLE dump, HANDLE cancel, UploadOutcome* failure);
    UploadOutcome Post(const UploadItem& item, uint64_t deadlineTick, HANDLE cancel);

    HttpClient client_;
    HttpUrl url_;
    std::wstring shownUrl_;
    std::wstring host_;
    UploadLimits limits_;
    ExclusiveLock randomLock_;  // PrepareAhead and Upload may both draw a boundary
    RandomUpTo random_;
};
