#pragma once

#include "console/options/option_scan.h"

// The system services behind the option scan: loading the -d library and
// the Windows version check of -r.
const ScanEnvironment& RealScanEnvironment();
