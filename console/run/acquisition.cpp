#include "console/run/acquisition.h"

#include "common/bounded_text.h"
#include "common/console_output.h"
#include "common/stop_signal.h"
#include "console/run/process_lookup.h"

namespace {

constexpr wchar_t kSystemRefusal[] = L"Writing a dump for the System process is not supported.\n";

bool AcquireByName(const ScannedOptions& options, AcquiredTarget& target) {
    if (IsSystemProcessName(options.targetName)) {
        PrintWide(kSystemRefusal);
        return false;
    }
    uint32_t id = 0;
    if (!FindProcessIdByName(options.targetName, &id, TakeProcessSnapshot())) {
        PrintWide(L"Failed to open process (name): %s\n", options.targetName);
        return false;
    }
    target.id = id;
    // The name as typed, not the letter case of the running image; the scan
    // has refused names that do not fit.
    CopyBounded(target.processName, MAX_PATH, options.targetName);
    return true;
}

bool AcquireById(const ScannedOptions& options, AcquiredTarget& target) {
    if (!FindProcessNameById(options.targetId, target.processName, TakeProcessSnapshot())) {
        PrintWide(L"Failed to open process (pid): %d\n", options.targetId);
        return false;
    }
    if (IsSystemProcessName(target.processName)) {
        PrintWide(kSystemRefusal);
        return false;
    }
    target.id = options.targetId;
    return true;
}

// One search of the waiting loop; the System refusal does not apply here.
bool FindOnce(const ScannedOptions& options, AcquiredTarget& target) {
    if (options.targetByName) {
        uint32_t id = 0;
        if (!FindProcessIdByName(options.targetName, &id, TakeProcessSnapshot())) {
            return false;
        }
        target.id = id;
        CopyBounded(target.processName, MAX_PATH, options.targetName);
        return true;
    }
    if (!FindProcessNameById(options.targetId, target.processName, TakeProcessSnapshot())) {
        return false;
    }
    target.id = options.targetId;
    return true;
}

// Nothing is printed while waiting. Ctrl+C ends the wait with identifier 0,
// and the open step then fails.
void WaitForTarget(const ScannedOptions& options, AcquiredTarget& target, HANDLE stopSignal) {
    if (StopRaised(stopSignal)) {
        return;
    }
    while (!FindOnce(options, target)) {
        if (WaitForStop(stopSignal, 1000)) {
            return;
        }
    }
}

}  // namespace

bool AcquireTarget(const ScannedOptions& options, AcquiredTarget& target, HANDLE stopSignal) {
    target.id = 0;
    target.processName[0] = L'\0';
    if (options.launch) {
        return true;
    }
    if (options.wait) {
        WaitForTarget(options, target, stopSignal);
        return true;
    }
    return options.targetByName ? AcquireByName(options, target) : AcquireById(options, target);
}
