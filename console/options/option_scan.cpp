#include "console/options/option_scan.h"

#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <cstdlib>
#include <cwchar>
#include <optional>

#include "common/bounded_text.h"
#include "common/http_url.h"
#include "console/options/jit_arguments.h"

namespace {

// A value that does not fit the buffer it goes into is refused outright: a
// shortened dump path would write a different file, a shortened argument
// string would start the program with a different command line.
const wchar_t kDumpPathTooLong[] = L"The dump file path is too long (at most 259 characters).\n";
const wchar_t kLaunchArgumentsTooLong[] =
    L"The argument string of the process to launch is too long (at most 1023 characters).\n";
const wchar_t kProcessNameTooLong[] = L"The process name is too long (at most 259 characters).\n";
const wchar_t kImagePathTooLong[] =
    L"The image file path of the process to launch is too long (at most 259 characters).\n";
const wchar_t kFilterNeedsFirstChance[] =
    L"Filtering requires 1st chance exception monitoring (-e -1).\n";
const wchar_t kReflectionUnsupported[] = L"-r  can only be used in Windows 7 and higher\n";
const wchar_t kKeepNeedsAFile[] = L"-keep needs a number of files of at least 1.\n";
const wchar_t kRateNeedsADump[] = L"-rate needs a number of dumps of at least 1.\n";
const wchar_t kSendNeedsUpload[] = L"-send needs -upload and the URL of the crash server.\n";
const wchar_t kSendPathTooLong[] =
    L"The path given to -send is too long (at most 259 characters).\n";
const wchar_t kAllNeedsAName[] =
    L"-all needs -w and the image name of the processes to watch (for example -w app.exe).\n";
const wchar_t kAllWithoutCounter[] =
    L"-all cannot be used with -p or -pl: a performance counter is one value for the whole "
    L"system, not one for each process.\n";

using Step = std::optional<ScanOutcome>;

constexpr ScanOutcome kUsageError{ScanStatus::UsageError, 1, nullptr};

ScanOutcome Refuse(const wchar_t* message) {
    return ScanOutcome{ScanStatus::Refused, 1, message};
}

// The arguments and the position of the next one not yet consumed.
struct Cursor {
    int argc;
    wchar_t** argv;
    int next;
    const ScanEnvironment& environment;
    ScannedOptions& options;

    bool Has(int count) const { return next + count <= argc; }
    const wchar_t* Peek() const { return argv[next]; }
    const wchar_t* Take() { return argv[next++]; }
};

// The runtime's readers take a minus sign and negate the number in unsigned
// arithmetic, and they saturate a number that is too large: either way the
// value used would not be the one typed. Such a text is no unsigned number.
bool FitsUnsigned(const wchar_t* text) {
    while (iswspace(*text)) {
        ++text;
    }
    return *text != L'-' && errno != ERANGE;
}

// wcstoul with base 10; the whole text must be consumed. An empty text reads
// as 0, which is what the runtime gives for it.
bool ReadUnsigned(const wchar_t* text, uint32_t& value) {
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long read = wcstoul(text, &end, 10);
    if (*end != L'\0' || !FitsUnsigned(text)) {
        return false;
    }
    value = static_cast<uint32_t>(read);
    return true;
}

bool ReadUnsigned64(const wchar_t* text, uint64_t& value) {
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long long read = _wcstoui64(text, &end, 10);
    if (*end != L'\0' || !FitsUnsigned(text)) {
        return false;
    }
    value = read;
    return true;
}

Step TakeNumber(Cursor& cursor, uint32_t& value) {
    if (!cursor.Has(1) || !ReadUnsigned(cursor.Take(), value)) {
        return kUsageError;
    }
    return std::nullopt;
}

Step CopyDumpPath(ScannedOptions& options, const wchar_t* path) {
    if (!CopyBounded(options.dumpPath, kPathCapacity, path)) {
        return Refuse(kDumpPathTooLong);
    }
    return std::nullopt;
}

Step Help(Cursor& cursor) {
    if (cursor.Has(1) && (wcscmp(cursor.Peek(), L"-e") == 0 || wcscmp(cursor.Peek(), L"/e") == 0)) {
        return ScanOutcome{ScanStatus::ShowExamples, 0, nullptr};
    }
    return ScanOutcome{ScanStatus::ShowUsage, 0, nullptr};
}

Step Breakpoints(Cursor& cursor) {
    if (!cursor.options.settings.exceptionMonitor) {
        return kUsageError;
    }
    cursor.options.settings.breakOnBreakpoints = 1;
    return std::nullopt;
}

Step FirstChance(Cursor& cursor) {
    if (!cursor.options.settings.exceptionMonitor) {
        return kUsageError;
    }
    cursor.options.settings.firstChance = 1;
    return std::nullopt;
}

Step Filter(Cursor& cursor) {
    MonitorConfig& settings = cursor.options.settings;
    if (!settings.exceptionMonitor || !settings.firstChance) {
        return Refuse(kFilterNeedsFirstChance);
    }
    if (!cursor.Has(1)) {
        return kUsageError;
    }
    settings.filterEnabled = 1;
    settings.filter = cursor.Take();
    return std::nullopt;
}

Step CpuTrigger(Cursor& cursor, int32_t sign) {
    if (Step stop = TakeNumber(cursor, cursor.options.settings.cpuThreshold)) {
        return stop;
    }
    cursor.options.settings.cpuTrigger = sign;
    return std::nullopt;
}

Step CommitTrigger(Cursor& cursor, int32_t sign) {
    if (Step stop = TakeNumber(cursor, cursor.options.settings.commitThresholdMB)) {
        return stop;
    }
    cursor.options.settings.commitTrigger = sign;
    return std::nullopt;
}

// Only counters of the Process and Processor objects are accepted: the path
// must start with "\Process" in any letter case and go on after it.
bool IsAcceptedCounterPath(const wchar_t* path) {
    const wchar_t prefix[] = L"\\Process";
    const size_t prefixLength = wcslen(prefix);
    return wcslen(path) > prefixLength && _wcsnicmp(path, prefix, prefixLength) == 0;
}

Step CounterTrigger(Cursor& cursor, int32_t sign) {
    if (!cursor.Has(2)) {
        return kUsageError;
    }
    const wchar_t* path = cursor.Take();
    uint64_t threshold = 0;
    if (!IsAcceptedCounterPath(path) || !ReadUnsigned64(cursor.Take(), threshold)) {
        return kUsageError;
    }
    MonitorConfig& settings = cursor.options.settings;
    settings.counterTrigger = sign;
    settings.counterPath = path;
    settings.counterThreshold = static_cast<int64_t>(threshold);
    return std::nullopt;
}

Step UserLibrary(Cursor& cursor) {
    if (!cursor.Has(1)) {
        return kUsageError;
    }
    const wchar_t* path = cursor.Take();
    // The loader prints its own report, with the system's text.
    if (!cursor.environment.loadUserLibrary(path, &cursor.options.settings.userCallback)) {
        return Refuse(nullptr);
    }
    cursor.options.userLibrary = true;
    cursor.options.userLibraryPath = path;
    return std::nullopt;
}

Step Reflect(Cursor& cursor) {
    if (!cursor.environment.reflectionSupported()) {
        return Refuse(kReflectionUnsupported);
    }
    cursor.options.settings.reflect = 1;
    return std::nullopt;
}

Step Rearm(Cursor& cursor) {
    if (Step stop = TakeNumber(cursor, cursor.options.settings.seriesLimit)) {
        return stop;
    }
    cursor.options.settings.rearm = 1;
    return std::nullopt;
}

// A count that 0 would make meaningless: -keep 0 would delete each dump as
// soon as it is complete, -rate 0 would allow no dump at all.
Step TakeCountOfAtLeastOne(Cursor& cursor, uint32_t& value, const wchar_t* refusal) {
    if (Step stop = TakeNumber(cursor, value)) {
        return stop;
    }
    if (value == 0) {
        return Refuse(refusal);
    }
    return std::nullopt;
}

// The URL itself is never part of the message: it may carry a key.
Step UploadUrl(Cursor& cursor) {
    if (!cursor.Has(1)) {
        return kUsageError;
    }
    const wchar_t* text = cursor.Take();
    HttpUrl url;
    const UrlFault fault = ParseHttpUrl(text, &url);
    if (fault != UrlFault::kNone) {
        // The scan runs once per program, before any thread.
        static wchar_t message[160];
        FormatBounded(message, 160, L"The URL given to -upload %s.\n", UrlFaultText(fault));
        return Refuse(message);
    }
    cursor.options.settings.uploadUrl = text;
    return std::nullopt;
}

Step Send(Cursor& cursor) {
    if (!cursor.Has(1)) {
        return kUsageError;
    }
    const wchar_t* path = cursor.Take();
    if (wcslen(path) >= kPathCapacity) {
        return Refuse(kSendPathTooLong);
    }
    cursor.options.sendPath = path;
    return std::nullopt;
}

Step Install(Cursor& cursor) {
    if (!cursor.Has(1) || cursor.options.uninstall) {
        return kUsageError;
    }
    cursor.options.install = true;
    return CopyDumpPath(cursor.options, cursor.Take());
}

Step JustInTime(Cursor& cursor) {
    if (!cursor.Has(3)) {
        return kUsageError;
    }
    ScannedOptions& options = cursor.options;
    options.settings.jitMode = 1;
    if (Step stop = CopyDumpPath(options, cursor.Take())) {
        return stop;
    }
    long processId = 0;
    long event = 0;
    if (!ReadJitNumber(cursor.Take(), &processId) || !ReadJitNumber(cursor.Take(), &event)) {
        return kUsageError;
    }
    // The failing process replaces any target named before.
    options.targetName = nullptr;
    options.targetByName = false;
    options.targetId = static_cast<uint32_t>(processId);
    options.settings.jitEvent = static_cast<uint32_t>(event);
    if (cursor.Has(1) && !ReadJitAddress(cursor.Take(), &options.settings.jitDebugInfo)) {
        return kUsageError;
    }
    return std::nullopt;
}

Step Launch(Cursor& cursor) {
    if (!cursor.Has(2)) {
        return kUsageError;
    }
    ScannedOptions& options = cursor.options;
    options.launch = true;
    if (Step stop = CopyDumpPath(options, cursor.Take())) {
        return stop;
    }
    const wchar_t* image = cursor.Take();
    // An application name is a path; a longer one is never a file to start.
    if (wcslen(image) >= kPathCapacity) {
        return Refuse(kImagePathTooLong);
    }
    options.launchImage = image;
    options.targetName = image;
    options.targetByName = true;
    options.targetId = 0;
    // A later -x replaces the whole launch, its argument string included.
    options.launchArguments[0] = L'\0';
    if (cursor.Has(1) &&
        !CopyBounded(options.launchArguments, kLaunchArgumentsCapacity, cursor.Take())) {
        return Refuse(kLaunchArgumentsTooLong);
    }
    return std::nullopt;
}

using Handler = Step (*)(Cursor&);

struct OptionEntry {
    const wchar_t* name;  // without its leading dash or slash
    Handler handle;
};

const OptionEntry kOptions[] = {
    {L"?", Help},
    {L"64",
     [](Cursor& c) -> Step {
         c.options.force64 = true;
         return std::nullopt;
     }},
    {L"a", Rearm},
    {L"all",
     [](Cursor& c) -> Step {
         c.options.settings.allInstances = 1;
         return std::nullopt;
     }},
    {L"b", Breakpoints},
    {L"c", [](Cursor& c) { return CpuTrigger(c, kTriggerAtOrAbove); }},
    {L"cl", [](Cursor& c) { return CpuTrigger(c, kTriggerAtOrBelow); }},
    {L"d", UserLibrary},
    {L"e",
     [](Cursor& c) -> Step {
         c.options.settings.exceptionMonitor = 1;
         c.options.settings.debugThread = 1;
         return std::nullopt;
     }},
    {L"1", FirstChance},
    {L"f", Filter},
    {L"free", [](Cursor& c) { return TakeNumber(c, c.options.settings.freeMB); }},
    {L"g", [](Cursor& c) { return TakeNumber(c, c.options.settings.gapSeconds); }},
    {L"h",
     [](Cursor& c) -> Step {
         c.options.settings.hungWindow = 1;
         return std::nullopt;
     }},
    {L"i", Install},
    {L"iu",
     [](Cursor& c) -> Step {
         // Registering and undoing it in one run contradict each other.
         if (c.options.install) {
             return kUsageError;
         }
         c.options.uninstall = true;
         return std::nullopt;
     }},
    {L"j", JustInTime},
    {L"keep",
     [](Cursor& c) {
         return TakeCountOfAtLeastOne(c, c.options.settings.keepFiles, kKeepNeedsAFile);
     }},
    {L"l",
     [](Cursor& c) -> Step {
         c.options.settings.debugStrings = 1;
         c.options.settings.debugThread = 1;
         return std::nullopt;
     }},
    {L"log",
     [](Cursor& c) -> Step {
         if (!c.Has(1)) {
             return kUsageError;
         }
         c.options.logPath = c.Take();
         return std::nullopt;
     }},
    {L"m", [](Cursor& c) { return CommitTrigger(c, kTriggerAtOrAbove); }},
    {L"ml", [](Cursor& c) { return CommitTrigger(c, kTriggerAtOrBelow); }},
    {L"ma",
     [](Cursor& c) -> Step {
         c.options.fullMemory = true;
         c.options.settings.dumpType |= 0x2;  // MiniDumpWithFullMemory
         return std::nullopt;
     }},
    {L"mp",
     [](Cursor& c) -> Step {
         c.options.settings.miniPlus = 1;
         return std::nullopt;
     }},
    {L"meta",
     [](Cursor& c) -> Step {
         c.options.settings.metadata = 1;
         return std::nullopt;
     }},
    {L"n", [](Cursor& c) { return TakeNumber(c, c.options.settings.dumpCount); }},
    {L"o",
     [](Cursor& c) -> Step {
         c.options.settings.overwrite = 1;
         return std::nullopt;
     }},
    {L"p", [](Cursor& c) { return CounterTrigger(c, kTriggerAtOrAbove); }},
    {L"pl", [](Cursor& c) { return CounterTrigger(c, kTriggerAtOrBelow); }},
    {L"q", [](Cursor& c) { return TakeNumber(c, c.options.settings.quietSeconds); }},
    {L"r", Reflect},
    {L"rate",
     [](Cursor& c) {
         return TakeCountOfAtLeastOne(c, c.options.settings.ratePerHour, kRateNeedsADump);
     }},
    {L"s", [](Cursor& c) { return TakeNumber(c, c.options.settings.thresholdSeconds); }},
    {L"send", Send},
    {L"stack",
     [](Cursor& c) -> Step {
         c.options.settings.stack = 1;
         return std::nullopt;
     }},
    {L"t",
     [](Cursor& c) -> Step {
         c.options.settings.terminateMonitor = 1;
         c.options.settings.debugThread = 1;
         return std::nullopt;
     }},
    {L"u",
     [](Cursor& c) -> Step {
         c.options.settings.cpuSingleCore = 1;
         return std::nullopt;
     }},
    {L"upload", UploadUrl},
    {L"w",
     [](Cursor& c) -> Step {
         c.options.wait = true;
         return std::nullopt;
     }},
    {L"x", Launch},
};

// Options are matched whole and case-sensitively, in a dash and a slash form.
Handler FindOption(const wchar_t* argument) {
    if (argument[0] != L'-' && argument[0] != L'/') {
        return nullptr;
    }
    for (const OptionEntry& entry : kOptions) {
        if (wcscmp(argument + 1, entry.name) == 0) {
            return entry.handle;
        }
    }
    return nullptr;
}

// An argument that is no option names the target when none is named yet, and
// the argument right behind it is the dump file when it does not look like an
// option and no dump file is set yet.
Step Positional(Cursor& cursor, const wchar_t* argument) {
    ScannedOptions& options = cursor.options;
    if (options.targetName == nullptr && options.targetId == 0) {
        uint32_t processId = 0;
        if (ReadUnsigned(argument, processId)) {
            options.targetId = processId;
        } else {
            // The name is copied into the process name buffer later on.
            if (wcslen(argument) >= kPathCapacity) {
                return Refuse(kProcessNameTooLong);
            }
            options.targetName = argument;
            options.targetByName = true;
        }
    }
    if (cursor.Has(1) && cursor.Peek()[0] != L'-' && cursor.Peek()[0] != L'/' &&
        options.dumpPath[0] == L'\0') {
        return CopyDumpPath(options, cursor.Take());
    }
    return std::nullopt;
}

// -all watches processes that a name designates, now and later: never one
// launched, one identifier or a just-in-time start.
Step CheckEveryInstance(const ScannedOptions& options) {
    if (options.settings.allInstances == 0) {
        return std::nullopt;
    }
    if (!options.wait || !options.targetByName || options.launch || options.settings.jitMode != 0) {
        return Refuse(kAllNeedsAName);
    }
    if (options.settings.counterTrigger != kTriggerOff) {
        return Refuse(kAllWithoutCounter);
    }
    return std::nullopt;
}

void ResetToDefaults(ScannedOptions& options) {
    options = ScannedOptions{};
    options.settings.dumpCount = kDefaultDumpCount;
    options.settings.dumpType = kDefaultDumpType;
    options.settings.thresholdSeconds = kDefaultThresholdSeconds;
}

}  // namespace

ScanOutcome ScanArguments(int argc, wchar_t** argv, const ScanEnvironment& environment,
                          ScannedOptions& options) {
    ResetToDefaults(options);
    if (argc < 2) {
        return ScanOutcome{ScanStatus::ShowUsage, 1, nullptr};
    }
    Cursor cursor{argc, argv, 1, environment, options};
    while (cursor.Has(1)) {
        const wchar_t* argument = cursor.Take();
        Handler handle = FindOption(argument);
        Step stop = handle != nullptr ? handle(cursor) : Positional(cursor, argument);
        if (stop) {
            return *stop;
        }
    }
    // Either order will do: the checks wait for the end of the scan.
    if (options.sendPath != nullptr && options.settings.uploadUrl == nullptr) {
        return Refuse(kSendNeedsUpload);
    }
    if (Step stop = CheckEveryInstance(options)) {
        return *stop;
    }
    return ScanOutcome{ScanStatus::Run, 0, nullptr};
}
