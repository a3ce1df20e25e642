#include "console/postmortem/postmortem_run.h"

#include "console/postmortem/postmortem.h"
#include "console/postmortem/postmortem_undo.h"

std::optional<int> RunPostmortemOnly(const ScannedOptions& options, bool handedOver) {
    const bool registerOnly =
        options.install && options.targetName == nullptr && options.targetId == 0;
    if (!options.uninstall && !registerOnly) {
        return std::nullopt;
    }
    if (handedOver) {
        return 0;
    }
    LONG status =
        options.uninstall ? UndoPostmortemRegistration() : RegisterPostmortemDebugger(options);
    return status == ERROR_SUCCESS ? 0 : 1;
}
