#include "common/utc_time.h"

#include <cstdio>

#include "common/file_time_ticks.h"

namespace {

// The digits at text[at, at + count) as a number; false when one is not a digit.
bool Digits(const std::string& text, size_t at, size_t count, WORD* value) {
    *value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        *value = static_cast<WORD>(*value * 10 + (text[i] - '0'));
    }
    return true;
}

}  // namespace

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

bool ParseUtcTime(const std::string& text, uint64_t* ticks) {
    // "2026-12-08T10:00:00.123Z"
    static const char kShape[] = "0000-00-00T00:00:00.000Z";
    if (text.size() != sizeof(kShape) - 1) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] != '0' && text[i] != kShape[i]) {
            return false;
        }
    }
    SYSTEMTIME fields = {};
    FILETIME time = {};
    if (!Digits(text, 0, 4, &fields.wYear) || !Digits(text, 5, 2, &fields.wMonth) ||
        !Digits(text, 8, 2, &fields.wDay) || !Digits(text, 11, 2, &fields.wHour) ||
        !Digits(text, 14, 2, &fields.wMinute) || !Digits(text, 17, 2, &fields.wSecond) ||
        !Digits(text, 20, 3, &fields.wMilliseconds) || !SystemTimeToFileTime(&fields, &time)) {
        return false;
    }
    *ticks = FileTimeTicks(time);
    return true;
}
