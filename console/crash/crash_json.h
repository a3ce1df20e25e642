// The crash report as the files for other programs tell it.
#pragma once

#include <string>

#include "console/crash/crash_report.h"
#include "console/report/json_text.h"

// The metadata's "crash" object:
//   {"reason": "ACCESS_VIOLATION writing 0x...", "address": <touched> or null,
//    "frames": [{"module": "app.exe", "offset": 6699}, {"address": 19529792}, ...],
//    "incomplete": "<why the walk ended early>"}
// A frame that is a guess carries "found": "framePointer"; "incomplete" is
// there only for a walk cut short.
JsonObject CrashObject(const CrashReport& report);

// The reason and the first frame as UTF-8 text, for the event log; the
// frame is empty when there is none.
std::string CrashReasonText(const CrashReport& report);
std::string TopFrameText(const CrashReport& report);
