// The runs that end with their registry step: -iu, and -i without a target.
#pragma once

#include <optional>

#include "console/options/option_scan.h"

// -iu undoes the registration; -i with no process named, by name or
// identifier, registers and ends. Nothing is looked up or opened. A run
// handed over by the 32-bit build leaves the registry alone: that build has
// done it already. Returns the exit code (0 when every registry step
// succeeded, 1 otherwise), or nothing when the run goes on.
std::optional<int> RunPostmortemOnly(const ScannedOptions& options, bool handedOver);
