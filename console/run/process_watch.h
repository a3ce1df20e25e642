// Watching the target with the monitor threads, and with -w <name> -a every
// later process of that name in turn (a service the system starts again).
#pragma once

#include "console/run/run_state.h"

// The run's record is complete for the first process (opened, config filled,
// summary printed). Starts the threads, supervises them, and when the run
// follows the name, waits for the next process of it and watches that one,
// until the watch's series are written, Ctrl+C, or a failure. Prints the
// watch's closing line and returns the run's exit code.
int WatchProcesses(RunState& run);
