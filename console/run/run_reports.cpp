#include "console/run/run_reports.h"

#include <new>

#include "common/file_time_ticks.h"
#include "common/http_url.h"
#include "common/shown_command_line.h"
#include "common/utf8_text.h"
#include "console/report/error_report.h"
#include "console/report/json_text.h"

namespace {

const char* Direction(int32_t trigger) {
    return trigger > 0 ? "above" : "below";
}

JsonObject Text(const wchar_t* text) {
    return text != nullptr ? JsonObject(Utf8FromWide(text)) : JsonObject(nullptr);
}

void AddTriggers(JsonObject& settings, const MonitorConfig& s) {
    if (s.cpuTrigger != kTriggerOff) {
        settings["cpu"] = {{"direction", Direction(s.cpuTrigger)},
                           {"threshold", s.cpuThreshold},
                           {"seconds", s.thresholdSeconds},
                           {"singleCore", s.cpuSingleCore != 0}};
    }
    if (s.commitTrigger != kTriggerOff) {
        settings["commit"] = {{"direction", Direction(s.commitTrigger)},
                              {"thresholdMB", s.commitThresholdMB}};
    }
    if (s.counterTrigger != kTriggerOff) {
        settings["counter"] = {{"direction", Direction(s.counterTrigger)},
                               {"path", Text(s.counterPath)},
                               {"threshold", s.counterThreshold}};
    }
    settings["hungWindow"] = s.hungWindow != 0;
    settings["exceptions"] = {{"enabled", s.exceptionMonitor != 0},
                              {"firstChance", s.firstChance != 0},
                              {"filter", s.filterEnabled != 0 ? Text(s.filter) : nullptr}};
    settings["termination"] = s.terminateMonitor != 0;
}

// The settings as the scan left them; an empty object when memory ran out.
JsonObject SettingsOf(const ScannedOptions& options) {
    try {
        const MonitorConfig& s = options.settings;
        JsonObject settings = {{"commandLine", Text(ShownCommandLine())}};
        if (options.launch) {
            settings["launch"] = Text(options.launchImage);
        } else if (options.targetByName) {
            settings["process"] = Text(options.targetName);
        } else {
            settings["processId"] = options.targetId;
        }
        settings["dumpPath"] = Text(options.dumpPath[0] != L'\0' ? options.dumpPath : nullptr);
        settings["dumpCount"] = s.dumpCount;
        AddTriggers(settings, s);
        settings["series"] = s.rearm != 0 ? JsonObject(s.seriesLimit) : JsonObject(1);
        settings["gapSeconds"] = s.gapSeconds;
        settings["quietSeconds"] = s.quietSeconds;
        settings["keepFiles"] = s.keepFiles;
        settings["freeMB"] = s.freeMB;
        if (s.ratePerHour != 0) {
            settings["ratePerHour"] = s.ratePerHour;
        }
        settings["metadata"] = s.metadata != 0;
        if (s.uploadUrl != nullptr) {
            settings["upload"] = Utf8FromWide(ShownUrlText(s.uploadUrl).c_str());
        }
        if (options.sendPath != nullptr) {
            settings["send"] = Text(options.sendPath);
        }
        return settings;
    } catch (const std::exception&) {
        return JsonObject::object();
    }
}

// The full path of the target's image, when the system tells it.
std::optional<std::wstring> ImagePathOf(HANDLE process) {
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (process == nullptr || !QueryFullProcessImageNameW(process, 0, path, &length)) {
        return std::nullopt;
    }
    return std::wstring(path, length);
}

// The creation time the system gives for the process (UTC ticks).
std::optional<uint64_t> CreationTimeOf(HANDLE process) {
    FILETIME created = {};
    FILETIME ended = {};
    FILETIME kernel = {};
    FILETIME user = {};
    if (process == nullptr || !GetProcessTimes(process, &created, &ended, &kernel, &user) ||
        FileTimeTicks(created) == 0) {
        return std::nullopt;
    }
    return FileTimeTicks(created);
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : std::wstring();
}

}  // namespace

bool StartEventLog(const ScannedOptions& options, bool handedOver, EventLog& log) {
    if (options.logPath == nullptr) {
        return true;
    }
    DWORD error = 0;
    if (!log.Open(options.logPath, &error)) {
        ReportWin32Error(L"Failed to open the event log", error);
        return false;
    }
    if (!handedOver) {
        log.RunStarted(SettingsOf(options));
    }
    return true;
}

void EndEventLog(EventLog& log, int exitCode) {
    log.RunEnded(static_cast<uint32_t>(exitCode));
    if (const DWORD error = log.FirstWriteError()) {
        ReportWin32Error(L"Failed to write the event log", error);
    }
}

void FillSeriesReports(SeriesReports& reports, const MonitorConfig& config, bool handedOver,
                       const wchar_t* processName, EventLog& log) {
    reports.metadata = config.metadata != 0;
    reports.log = &log;
    // Also without -meta: an upload tells how long the process had run.
    reports.run.process.created = CreationTimeOf(config.process);
    if (!reports.metadata) {
        return;
    }
    DumpMetadata& run = reports.run;
    run.handedOver = handedOver;
    run.host = ComputerName();
    run.commandLine = ShownCommandLine();
    run.process.id = config.processId;
    run.process.name = processName;
    run.process.image = ImagePathOf(config.process);
}
