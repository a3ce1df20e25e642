// The debug-event thread: attaches to the target (or launches it, see
// MonitorRun::launchRequest), dumps on qualifying exceptions or on the
// target's end, and prints its debug strings.
#pragma once

// The argument is the run's MonitorRun. Returns 0 whatever happened.
unsigned __stdcall DebugEventMonitorThread(void* run);
