// The 32-bit build's hand-over of a run to its embedded 64-bit build when it
// runs on 64-bit Windows and the target needs a 64-bit dump (or -64 asks for
// it). In the 64-bit build every decision here says "keep the run".
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_resource.h"
#include "console/options/option_scan.h"
#include "console/report/event_log.h"

struct HandOverDecision {
    bool endRun;  // the run is over (handed over or refused) with exitCode
    int exitCode;
    UniqueHandle process;  // the target, when the decision had to open it and keeps the run
};

// Switches file-system redirection off, then decides for an opened target
// (a launch is decided once it has been tried, below).
// A run handed over lets go of the event log first: the 64-bit build writes
// it from then on.
HandOverDecision DecideX64HandOver(const ScannedOptions& options, uint32_t targetId, EventLog& log);

// After a launch under WOW64: a failure with ERROR_NOT_SUPPORTED, or a new
// process that is not itself under WOW64 (a 64-bit image), belongs to the
// 64-bit build.
bool LaunchFailureNeedsX64Build(uint32_t error);
bool LaunchedImageNeedsX64Build(HANDLE process);

// Writes the embedded 64-bit build next to this program under a name of this
// run's own ("varnhold64-<pid>.exe"), runs it with this program's own command
// line in the same console, waits for it and deletes it. Returns the 64-bit build's exit code, or 1
// when it could not be run. The event log is closed before the 64-bit build starts, so that it can
// open it in turn. With passHandles the 64-bit build inherits this build's inheritable handles.
int RelaunchAs64Bit(EventLog& log, bool passHandles = false);

// A postmortem start that uploads its dump releases the crashed process
// before it sends, by the event the system passed with -j: a 64-bit build
// taking the run over needs that handle.
bool HandOverPassesHandles(const ScannedOptions& options);

// True in a 64-bit build started by the hand-over above. Reads the mark once
// and removes it from the environment, so that nothing this run starts
// inherits it.
bool TakeHandOverMark();
