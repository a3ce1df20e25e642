// Exception names and the "%s: %s\n" failure reports shared by the whole
// console program.
#pragma once

#include <cstdint>
#include <string>

// The short upper-case name of an exception code; "UNKNOWN EXCEPTION" for
// codes outside the table. Never null, never to be freed.
const wchar_t* ExceptionName(uint32_t code);

// Each prints "<caption>: <message text>" where the message text comes from
// the performance-data library, the system, or the system after converting a
// native status. When there is no text for the code, a fallback naming the
// code in hexadecimal is printed instead.
void ReportPdhError(const wchar_t* caption, uint32_t status);
void ReportWin32Error(const wchar_t* caption, uint32_t error);
void ReportNtStatus(const wchar_t* caption, int32_t status);

// The system's message text for a Win32 error, without its line end, or a
// text naming the code when the system has none. For the event log.
std::wstring SystemMessageText(uint32_t error);

// RtlNtStatusToDosError, looked up once on first need; null when the
// native library lacks it.
using NtStatusConverter = unsigned long(__stdcall*)(long status);
NtStatusConverter NtStatusToDosErrorConverter();
