// The counter sampling thread of a monitoring run: once a second it samples
// the target (CPU share, committed memory, a performance counter, a hung
// window) and requests the run's dump series when a trigger fires; it also
// writes the just-in-time dump and the immediate dump of a run without
// triggers.
#pragma once

// Thread procedure; the argument is the run's MonitorRun. Raises the run's
// stop signal whenever it ends by itself. Returns 0.
unsigned __stdcall CounterMonitorThread(void* run);
