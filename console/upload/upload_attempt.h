// One attempt to send one dump to the crash server: the dump is opened and
// checked, described from its own content (and the metadata file beside it),
// compressed into a temporary body, posted, and the answer read. The dump is
// claimed for sending first (no other run of ours sends it at the same
// time, and none once it has its .sent record), and a dump the server took
// gets its .sent record here.
#pragma once

#include <windows.h>

#include <string>

#include "common/http_url.h"
#include "console/upload/http_post.h"
#include "console/upload/retry_schedule.h"
#include "console/upload/upload_body.h"
#include "console/upload/upload_form.h"
#include "console/upload/upload_outcome.h"

struct UploadItem {
    std::wstring dumpPath;
    // Empty fields are taken from "<dump>.json" when there is one, else the
    // trigger is "unknown" and the host this machine. That metadata file is
    // sent with the dump when it exists and is ours.
    DumpOrigin origin;
    // A dump the run wrote itself is sent only while it is still a dump of
    // ours (a -send of a folder the user names sends any complete minidump).
    bool oursOnly = false;
};

// Each step of a request (connecting, each piece of the body, the answer)
// must make progress within this bound.
constexpr DWORD kUploadStepTimeoutMs = 60000;

class Uploader {
  public:
    Uploader() = default;
    Uploader(const Uploader&) = delete;
    Uploader& operator=(const Uploader&) = delete;

    // Opens the HTTP session for the URL. False with the system error when
    // the system has none to give.
    bool Open(const HttpUrl& url, DWORD* error);

    // For tests that need a server's silence to end sooner.
    void SetStepTimeout(DWORD milliseconds) { stepTimeoutMs_ = milliseconds; }

    const std::wstring& shownUrl() const { return shownUrl_; }

    // One attempt; cancel (may be null) ends it at once. Not for two
    // threads at a time.
    UploadOutcome Upload(const UploadItem& item, HANDLE cancel);

  private:
    // The request body, ready to send, and the signature of its dump.
    struct PreparedUpload {
        UploadBody body;
        std::string signature;
    };

    // Checks the dump claimed for sending (opened with delete sharing, so
    // that -keep never waits on the network to delete it) and writes the
    // body. On failure *failure says why.
    bool Prepare(const UploadItem& item, HANDLE dump, PreparedUpload* prepared,
                 UploadOutcome* failure);

    HttpClient client_;
    HttpUrl url_;
    std::wstring shownUrl_;
    std::wstring host_;
    DWORD stepTimeoutMs_ = kUploadStepTimeoutMs;
    RandomUpTo random_;
};
