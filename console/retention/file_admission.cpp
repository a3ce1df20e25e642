#include "console/retention/file_admission.h"

#include <optional>

#include "console/dumpfolder/dump_deletion.h"
#include "console/dumpfolder/folder_lock.h"
#include "console/retention/dump_rate.h"
#include "console/retention/free_space.h"

namespace {

constexpr wchar_t kLockFailure[] = L"Failed to lock the dump folder; going on without its lock";

bool NeedsFolderLock(const RetentionPolicy& policy) {
    return policy.ratePerHour != 0 || policy.freeMB != 0 || policy.keepFiles != 0;
}

}  // namespace

Admission AdmitSeriesFile(const DumpRequest& request, const RetentionPolicy& policy,
                          NumberingState& numbering, uint32_t index, uint64_t estimatedBytes,
                          SeriesFile* created) {
    Admission admission;
    // A crash must get its dump even when another run's lock is stuck: the
    // claim of a name is atomic without it, and the counting is the best
    // that can be done then.
    std::optional<FolderLockHold> lock;
    if (NeedsFolderLock(policy)) {
        lock.emplace(request.path, kLockFailure);
    }
    RateDecision rate;
    if (policy.ratePerHour != 0 &&
        !rate.Allows(request.path, policy.keptFiles, policy.ratePerHour)) {
        admission.outcome = AdmissionOutcome::kOverRate;
        admission.recent = rate.recent();
        return admission;
    }
    if (policy.freeMB != 0 &&
        !EnoughFreeSpace(request.path, policy.freeMB, estimatedBytes, &admission.freeNow)) {
        admission.outcome = AdmissionOutcome::kNoSpace;
        return admission;
    }
    if (!CreateSeriesFile(request, policy, numbering, index, created)) {
        admission.outcome = AdmissionOutcome::kFailed;
        return admission;
    }
    // What described the file that had this name before describes nothing now.
    DeleteStaleRecords(created->name);
    if (policy.ratePerHour != 0 && lock && lock->Held()) {
        rate.Enter(request.path, created->name);
        admission.inLedger = true;
    }
    admission.outcome = AdmissionOutcome::kAdmitted;
    return admission;
}

void WithdrawAdmission(const DumpRequest& request, const Admission& admission,
                       const wchar_t* file) {
    if (!admission.inLedger) {
        return;
    }
    const FolderLockHold lock(request.path, kLockFailure);
    if (lock.Held()) {
        RemoveFromRateLedger(request.path, file);
    }
}
