// The debug-event thread: attaches to the target (or launches it, see
// MonitorConfig::launchRequest), dumps on qualifying exceptions or on the
// target's end, and prints its debug strings.
#pragma once

// The argument is the run's MonitorConfig. Returns 0 whatever happened.
unsigned __stdcall DebugEventMonitorThread(void* config);
