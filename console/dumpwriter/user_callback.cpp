#include "console/dumpwriter/user_callback.h"

MiniDumpCallbackRoutine UserDumpCallback = nullptr;
