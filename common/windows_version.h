#pragma once

#include <windows.h>

// The running Windows version as GetVersionExW reports it; zeros when the
// call fails.
OSVERSIONINFOEXW QueryWindowsVersion();
