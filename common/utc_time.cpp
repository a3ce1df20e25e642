#include "common/utc_time.h"

#include <cstdio>

std::string FormatUtcTime(const SYSTEMTIME& time) {
    char text[64];  // room for out-of-range fields too
    snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ",
             static_cast<unsigned>(time.wYear), static_cast<unsigned>(time.wMonth),
             static_cast<unsigned>(time.wDay), static_cast<unsigned>(time.wHour),
             static_cast<unsigned>(time.wMinute), static_cast<unsigned>(time.wSecond),
             static_cast<unsigned>(time.wMilliseconds));
    return text;
}

bool FormatUtcTime(const FILETIME& time, std::string* text) {
    SYSTEMTIME fields;
    if (!FileTimeToSystemTime(&time, &fields)) {
        return false;
    }
    *text = FormatUtcTime(fields);
    return true;
}

std::string UtcTimeNow() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return FormatUtcTime(now);
}
