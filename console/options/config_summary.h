// The configuration summary printed once the target is open, before any
// monitor thread starts.
#pragma once

#include <cstdint>
#include <string>

#include "console/options/monitor_config.h"

std::wstring ConfigSummaryText(const MonitorConfig& config, const wchar_t* processName,
                               uint32_t targetId);

void PrintConfigSummary(const MonitorConfig& config, const wchar_t* processName, uint32_t targetId);
