// Values of the console program prepared by its entry before any monitor
// thread starts and never changed afterwards.
#pragma once

#include <windows.h>

#include <cstdint>

using NtQuerySystemInformationFunction = LONG(NTAPI*)(ULONG informationClass, void* buffer,
                                                      ULONG length, ULONG* returnedLength);
using NtQueryInformationProcessFunction = LONG(NTAPI*)(HANDLE process, ULONG informationClass,
                                                       void* buffer, ULONG length,
                                                       ULONG* returnedLength);

struct ProcessWideValues {
    uint32_t pageSize;
    uint32_t processorCount;
    NtQuerySystemInformationFunction ntQuerySystemInformation;
    NtQueryInformationProcessFunction ntQueryInformationProcess;
    // Wine: the process times of other processes never move, while their
    // thread times are real.
    bool foreignProcessTimesFrozen;
};

extern ProcessWideValues g_processWide;
