// Watching the target: the first process alone, with -w <name> -a every
// later process of that name in turn (a service the system starts again),
// or with -all every process of the name at once. Each is a watch of the
// run's set, made, filled, started and supervised the same way.
#pragma once

#include "console/run/run_state.h"

// run.first is open and filled, the summary printed. Watches until the
// watch's series are written, Ctrl+C, or a failure; prints the closing
// lines and returns the run's exit code.
int WatchProcesses(RunState& run);
