// The dumps of a run on their way to the crash server. Dumps are handed in as
// they are written and sent one after another on a thread of the queue's
// own, so that dump writing and the monitors never wait for the network. A
// passing failure is tried again on the retry schedule while the run lasts,
// with the body compressed for the first try (for the first few dumps
// waiting; the others are compressed again). A refusal of every dump ends
// the sending: that dump says why, and every other dump of the run is
// reported as not tried. At the end the queue gets a bounded time to
// finish; what is not accepted by then stays on disk without a .sent record,
// queued for -send.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/exclusive_lock.h"
#include "common/unique_resource.h"
#include "console/report/event_log.h"
#include "console/upload/retry_schedule.h"
#include "console/upload/upload_attempt.h"

// How long the end of a run waits for the uploads still pending; a run
// started as the postmortem debugger has released the crashed process first
// and may wait longer.
constexpr DWORD kUploadWaitAtEndMs = 30000;
constexpr DWORD kUploadWaitAfterPostmortemMs = 60000;

class UploadQueue {
  public:
    // One attempt at one dump; abort (never null) ends it at once. It may
    // keep what it prepared in the item for the next try.
    using Attempt = std::function<UploadOutcome(UploadItem& item, HANDLE abort)>;

    // How many dumps waiting for their next try keep their compressed body.
    static constexpr size_t kKeptBodies = 4;

    // log may be null.
    UploadQueue(Attempt attempt, std::wstring shownUrl, EventLog* log,
                RetrySchedule schedule = RetrySchedule(), RandomUpTo random = SystemRandom());
    // Ends the worker at once if Finish was not called.
    ~UploadQueue();
    UploadQueue(const UploadQueue&) = delete;
    UploadQueue& operator=(const UploadQueue&) = delete;

    // Starts the sending thread. False when the system has no thread or
    // event to give.
    bool Start();

    // Queues a written dump; from any thread, before Finish (also before
    // Start: it is sent once the thread runs). Returns at once.
    void Add(UploadItem item);

    // A dump deleted before it was sent (by -keep): taken out of the queue,
    // or never in it, and reported as gone. A dump being sent at this moment
    // is left to its try, which reports what became of it. From any thread,
    // before Finish.
    void Withdraw(const std::wstring& dumpPath);

    // Dumps queued or under way.
    size_t PendingCount();

    // Waits until every dump is done, boundMs has passed or cancel (may be
    // null; Ctrl+C sets it) is set, then ends the sending (an upload under
    // way is cut off) and reports each dump that stays unsent. Returns how
    // many dumps were not accepted in this run (rejected, failed, deleted
    // or unsent).
    size_t Finish(DWORD boundMs, HANDLE cancel);

  private:
    struct Pending {
        UploadItem item;
        uint32_t failures = 0;
        uint64_t dueTick = 0;  // GetTickCount64 time of the next try
        UploadOutcome last;    // of the last try; none yet when failures is 0
    };

    static DWORD WINAPI ThreadMain(void* self);
    void Work();
    // The first dump due for a try, taken out of the queue; false with the
    // time to wait when none is due yet.
    bool TakeDue(Pending* pending, DWORD* waitMs);
    void Settle(Pending pending, UploadOutcome outcome);
    // After a refusal: every dump queued is taken out and reported.
    void DropAfterRefusal(std::vector<Pending>* dropped);
    size_t KeptBodies() const;
    void ReportUnsent(const Pending& pending, const std::wstring& reason);

    Attempt attempt_;
    std::wstring shownUrl_;
    EventLog* log_;
    RetrySchedule schedule_;
    RandomUpTo random_;

    UniqueHandle wake_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle idle_{CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    UniqueHandle abort_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle worker_;

    ExclusiveLock lock_;  // guards what follows; never held while sending or waiting
    std::deque<Pending> queue_;
    std::vector<Pending> cutOff_;  // under way when the wait at the end ran out
    size_t busy_ = 0;              // dumps taken out of the queue and not settled
    std::wstring busyPath_;        // the one under way
    size_t notAccepted_ = 0;
    bool aborting_ = false;
    std::wstring refusedBy_;  // the dump whose refusal ended the sending
};
