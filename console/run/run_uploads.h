// -upload and -send in a run: the session with the crash server, the queue
// the dump series hand their dumps to, and the bounded wait for it at the
// end of the watch.
#pragma once

#include "console/run/run_state.h"

// -send: sends the dumps of the path given and ends the run (0 when the
// server took them all); nothing is watched. Nothing when -send was not
// given.
StepEnd RunSendOnly(RunState& run);

// -upload: opens the session and the queue and lets the series hand their
// dumps to it; the queue sends from now on, except in a postmortem start,
// which sends only once the crashed process is released. False, reported,
// when the system has no session or thread to give.
bool PrepareUploads(RunState& run);

// After the watch: waits at most 30 s for the uploads still pending, or in
// a postmortem start releases the crashed process and then sends for at
// most 60 s; Ctrl+C ends the wait at once. Reports what stays unsent.
// Returns the run's exit code: exitCode, or 1 when a dump of the run was
// not accepted.
int FinishUploads(RunState& run, int exitCode);
