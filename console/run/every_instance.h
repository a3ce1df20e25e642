// -all: every process of the name at once, those running when the watch
// starts and every one started later, until Ctrl+C. A process that exits
// ends only its own watch; at most kMostWatchedAtOnce are watched at once.
#pragma once

#include "console/run/run_state.h"

// run.first is open and filled, the summary printed. Returns kExitSuccess
// once every watch has ended (the exit code then comes from the series),
// kExitFailure when the first watch's threads could not be started.
int WatchEveryInstance(RunState& run);
