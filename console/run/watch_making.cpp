#include "console/run/watch_making.h"

#include "common/bounded_text.h"
#include "console/dumpfolder/series_files.h"
#include "console/options/default_dump_path.h"
#include "console/report/error_report.h"

namespace {

WatchFilling FillingOf(RunState& run) {
    const bool every = run.options.settings.allInstances != 0;
    return WatchFilling{&run.options.settings,
                        run.reports,
                        RunSamples(run.options.settings) ? &run.sampler : nullptr,
                        &run.log,
                        run.stopSignal.Get(),
                        run.watchEnded.Get(),
                        run.handedOver,
                        every,
                        run.pathPerProcess};
}

// The process's own path in the run's dump folder, or its default path;
// otherwise the run's one dump path.
bool WatchDumpPath(const RunState& run, uint32_t id, const wchar_t* name,
                   wchar_t (&path)[MAX_PATH]) {
    if (!run.pathPerProcess) {
        return CopyBounded(path, MAX_PATH, run.options.dumpPath);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (run.dumpFolder[0] != L'\0') {
        return BuildJitFolderDumpPath(path, run.dumpFolder, name, id, now);
    }
    wchar_t programDirectory[MAX_PATH];
    return ProgramDirectory(programDirectory) &&
           BuildDefaultDumpPath(path, programDirectory, name, id, now);
}

}  // namespace

void FillRunPolicy(RunState& run) {
    const MonitorConfig& settings = run.options.settings;
    // A just-in-time start dumps a crashing process: one series, whatever
    // else was asked for.
    const bool jit = settings.jitMode != 0;
    const bool watch = settings.rearm != 0 && !jit;
    const bool every = settings.allInstances != 0;
    run.budget.limit = watch ? settings.seriesLimit : 1;
    WatchPolicy& policy = run.series.policy;
    policy.quietSeconds = settings.quietSeconds;
    RetentionPolicy& retention = policy.retention;
    // The processes of -all writing to one dump file name number their
    // files on across all of them, each name claimed new.
    retention.numberAcrossRun = watch || (every && !run.pathPerProcess);
    retention.claimFreeName = jit;
    retention.keepFiles = settings.keepFiles;
    retention.freeMB = settings.freeMB;
    retention.ratePerHour = settings.ratePerHour;
    const bool folderNaming = run.jitFolder || (every && run.dumpFolder[0] != L'\0');
    retention.keptFiles = folderNaming ? KeptFiles::kFolderNaming
                          : jit        ? KeptFiles::kPlainAndNumbered
                                       : KeptFiles::kNumbered;
}

bool RunSamples(const MonitorConfig& settings) {
    return settings.cpuTrigger != 0 || settings.commitTrigger != 0 ||
           settings.counterTrigger != 0 || settings.hungWindow != 0;
}

std::unique_ptr<ProcessWatch> NewWatch(RunState& run) {
    const bool every = run.options.settings.allInstances != 0;
    return WatchSet::Make(run.series, every ? nullptr : &run.budget, run.budget.limit);
}

bool CompleteWatch(RunState& run, ProcessWatch& watch, uint32_t id) {
    const wchar_t* name = run.target.processName;
    wchar_t path[MAX_PATH];
    if (!WatchDumpPath(run, id, name, path)) {
        ReportWin32Error(L"Failed to create dump file", ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return FillWatch(watch, FillingOf(run), id, name, path);
}
