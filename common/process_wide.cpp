#include "common/process_wide.h"

ProcessWideValues g_processWide = {};
