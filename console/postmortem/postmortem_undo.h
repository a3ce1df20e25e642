// -iu: undoing the postmortem registration of -i.
#pragma once

#include <windows.h>

// In the 64-bit registry view, and under WOW64 in the 32-bit view too:
// where a registration of ours stands, puts back the "Debugger" and "Auto"
// values that -i kept and prints a "Restored:" block, or, when none were
// kept, deletes the two values and prints a "Deleted:" block. Where the
// registered debugger is not ours it says so and changes nothing. Returns 0
// when every view was undone, otherwise the error of the last view that
// failed (ERROR_FILE_NOT_FOUND where the debugger was not ours).
LONG UndoPostmortemRegistration();
