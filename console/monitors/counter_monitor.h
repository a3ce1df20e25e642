// The counter thread of one watched process: it opens the process's
// performance counter (-p), adds the process to the run's sampling thread,
// which samples it once a second with every other watched process (CPU
// share, committed memory, the counter, a hung window), and writes the dump
// series a trigger asks for; it also writes the just-in-time dump and the
// immediate dump of a run without triggers.
#pragma once

// Thread procedure; the argument is the process's MonitorRun. Raises the
// watch's stop signal whenever it ends by itself. Returns 0.
unsigned __stdcall CounterMonitorThread(void* run);
