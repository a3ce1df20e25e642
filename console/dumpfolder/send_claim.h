// A dump taken for sending. The folder is the upload queue, and every run of
// ours may send from it: a long watch's queue, a postmortem start, any
// number of -send runs. Whether a dump may be sent is decided under the
// folder lock (it has no record of ours yet), and the claim then lasts
// while it is sent: a byte-range lock on the dump file, far past its end,
// that a second sender cannot take. A run that dies lets the claim go with
// its handles; nothing is written into the dump or beside it for it.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_resource.h"
#include "console/dumpfolder/sent_record.h"

enum class SendClaimOutcome {
    kClaimed,
    kSentAlready,     // it has our .sent record: it is never sent again
    kRecordInTheWay,  // "<dump>.sent" is a file or folder that is not ours
    kBusy,            // another run of ours is sending it now
    kGone,            // the dump is no longer there
    kUnreadable,      // it cannot be opened for reading: *error says why
    kNoFolderLock,    // the folder lock could not be had: *error says why
};

class SendClaim {
  public:
    SendClaim() = default;
    ~SendClaim();
    SendClaim(const SendClaim&) = delete;
    SendClaim& operator=(const SendClaim&) = delete;

    SendClaimOutcome Take(const std::wstring& dumpPath, DWORD* error);

    // The dump, opened for reading while others may read or delete it.
    HANDLE Dump() const { return dump_.Get(); }

    enum class Recorded { kYes, kGone, kFailed };
    // Under the folder lock: writes the record that the server has the dump,
    // when the path still names the very file that was sent (-keep may have
    // deleted it meanwhile, and a new dump taken its name) and no record
    // stands there. kFailed with *error otherwise.
    Recorded Record(const SentRecord& record, DWORD* error);

  private:
    std::wstring path_;
    UniqueFile dump_;
    bool claimed_ = false;
};
