#include "console/upload/upload_queue.h"

#include <algorithm>
#include <cwchar>

#include "console/upload/upload_reports.h"

namespace {

uint64_t Now() {
    return GetTickCount64();
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

UploadQueue::UploadQueue(Attempt attempt, std::wstring shownUrl, EventLog* log,
                         RetrySchedule schedule, RandomUpTo random)
    : attempt_(std::move(attempt)),
      shownUrl_(std::move(shownUrl)),
      log_(log),
      schedule_(schedule),
      random_(std::move(random)) {}

UploadQueue::~UploadQueue() {
    if (worker_) {
        {
            std::lock_guard<ExclusiveLock> hold(lock_);
            aborting_ = true;
        }
        SetEvent(abort_.Get());
        WaitForSingleObject(worker_.Get(), INFINITE);
    }
}

bool UploadQueue::Start() {
    if (!wake_ || !idle_ || !abort_) {
        return false;
    }
    worker_.Reset(CreateThread(nullptr, 0, &UploadQueue::ThreadMain, this, 0, nullptr));
    return worker_.IsValid();
}

void UploadQueue::Add(UploadItem item) {
    std::wstring refusedBy;
    {
        std::lock_guard<ExclusiveLock> hold(lock_);
        refusedBy = refusedBy_;
        if (!refusedBy.empty()) {
            ++notAccepted_;
        } else {
            Pending pending;
            pending.dueTick = Now();
            pending.item = std::move(item);
            queue_.push_back(std::move(pending));
            ResetEvent(idle_.Get());
        }
    }
    if (!refusedBy.empty()) {
        ReportNotTried(log_, item.dumpPath, L"the upload of " + refusedBy + L" was refused");
        return;
    }
    SetEvent(wake_.Get());
}

void UploadQueue::Withdraw(const std::wstring& dumpPath) {
    UploadOutcome gone;
    gone.verdict = UploadVerdict::kGone;
    gone.reason = L"the dump was deleted before it was sent";
    {
        std::lock_guard<ExclusiveLock> hold(lock_);
        if (busy_ != 0 && SamePath(busyPath_, dumpPath)) {
            return;
        }
        const auto queued = std::find_if(queue_.begin(), queue_.end(), [&](const Pending& p) {
            return SamePath(p.item.dumpPath, dumpPath);
        });
        if (queued != queue_.end()) {
            gone.signature = queued->last.signature;
            queue_.erase(queued);
            if (queue_.empty() && busy_ == 0) {
                SetEvent(idle_.Get());
            }
        }
        ++notAccepted_;
    }
    ReportUploadOutcome(log_, dumpPath, shownUrl_, gone);
}

size_t UploadQueue::PendingCount() {
    std::lock_guard<ExclusiveLock> hold(lock_);
    return queue_.size() + busy_;
}

DWORD WINAPI UploadQueue::ThreadMain(void* self) {
    static_cast<UploadQueue*>(self)->Work();
    return 0;
}

bool UploadQueue::TakeDue(Pending* pending, DWORD* waitMs) {
    std::lock_guard<ExclusiveLock> hold(lock_);
    const uint64_t now = Now();
    // Nothing queued: wait for the next dump, however long.
    uint64_t soonest = INFINITE;
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (it->dueTick <= now) {
            *pending = std::move(*it);
            queue_.erase(it);
            ++busy_;
            busyPath_ = pending->item.dumpPath;
            return true;
        }
        soonest = std::min(soonest, std::min<uint64_t>(it->dueTick - now, INFINITE - 1));
    }
    *waitMs = static_cast<DWORD>(soonest);
    return false;
}

void UploadQueue::Work() {
    const HANDLE wakers[2] = {wake_.Get(), abort_.Get()};
    while (WaitForSingleObject(abort_.Get(), 0) != WAIT_OBJECT_0) {
        Pending pending;
        DWORD waitMs = 0;
        if (!TakeDue(&pending, &waitMs)) {
            WaitForMultipleObjects(2, wakers, FALSE, waitMs);
            continue;
        }
        UploadOutcome outcome = attempt_(pending.item, abort_.Get());
        Settle(std::move(pending), std::move(outcome));
    }
}

void UploadQueue::Settle(Pending pending, UploadOutcome outcome) {
    const bool again = outcome.verdict == UploadVerdict::kRetry;
    if (!again) {
        // The final word on this dump: said at once.
        ReportUploadOutcome(log_, pending.item.dumpPath, shownUrl_, outcome);
    }
    std::vector<Pending> dropped;
    {
        std::lock_guard<ExclusiveLock> hold(lock_);
        --busy_;
        busyPath_.clear();
        if (again && aborting_) {
            // Cut off by the end of the wait: Finish says so.
            cutOff_.push_back(std::move(pending));
        } else if (again) {
            ReportUploadRetry(log_, pending.item.dumpPath, outcome);
            ++pending.failures;
            pending.dueTick = Now() + RetryDelayMs(schedule_, pending.failures,
                                                   outcome.retryAfterSeconds, random_);
            pending.last = std::move(outcome);
            if (KeptBodies() >= kKeptBodies) {
                pending.item.prepared.reset();
            }
            queue_.push_back(std::move(pending));
        } else if (outcome.verdict != UploadVerdict::kAccepted &&
                   outcome.verdict != UploadVerdict::kElsewhere) {
            // Another run of ours delivering it is no failure of this one.
            ++notAccepted_;
        }
        if (RefusesEveryDump(outcome)) {
            refusedBy_ = pending.item.dumpPath;
            DropAfterRefusal(&dropped);
        }
        if (queue_.empty() && busy_ == 0) {
            SetEvent(idle_.Get());
        }
    }
    for (const Pending& gone : dropped) {
        ReportNotTried(log_, gone.item.dumpPath, L"the upload of " + refusedBy_ + L" was refused");
    }
}

void UploadQueue::DropAfterRefusal(std::vector<Pending>* dropped) {
    for (Pending& waiting : queue_) {
        dropped->push_back(std::move(waiting));
    }
    notAccepted_ += queue_.size();
    queue_.clear();
}

size_t UploadQueue::KeptBodies() const {
    return static_cast<size_t>(std::count_if(
        queue_.begin(), queue_.end(), [](const Pending& p) { return p.item.prepared != nullptr; }));
}

size_t UploadQueue::Finish(DWORD boundMs, HANDLE cancel) {
    if (!worker_) {
        return 0;
    }
    const HANDLE ends[2] = {idle_.Get(), cancel};
    const DWORD waited = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, ends, FALSE, boundMs);
    {
        std::lock_guard<ExclusiveLock> hold(lock_);
        aborting_ = true;
    }
    SetEvent(abort_.Get());
    WaitForSingleObject(worker_.Get(), INFINITE);
    worker_.Reset();

    std::wstring endReason;
    if (waited == WAIT_OBJECT_0 + 1) {
        endReason = L"cancelled";
    } else if (waited != WAIT_OBJECT_0) {
        endReason = L"not sent within the " + std::to_wstring((boundMs + 999) / 1000) +
                    L" s the run waits for uploads at its end";
    }
    // The worker has ended: nothing else touches the queue now.
    for (const Pending& pending : cutOff_) {
        ReportUnsent(pending, endReason);
    }
    // A dump waiting for its next try says what went wrong last.
    for (const Pending& pending : queue_) {
        ReportUnsent(pending, pending.failures > 0 ? pending.last.reason : endReason);
    }
    return notAccepted_ + cutOff_.size() + queue_.size();
}

void UploadQueue::ReportUnsent(const Pending& pending, const std::wstring& reason) {
    UploadOutcome outcome = pending.last;
    outcome.verdict = UploadVerdict::kRetry;
    outcome.reason = reason.empty() ? std::wstring(L"not sent") : reason;
    ReportUploadOutcome(log_, pending.item.dumpPath, shownUrl_, outcome);
}
