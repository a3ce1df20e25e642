// Which just-in-time records may be followed into the target.
#include <gtest/gtest.h>

#include "console/monitors/jit_record.h"

namespace {

JitDebugInfo GoodRecord() {
    JitDebugInfo info = {};
    info.dwSize = 40;
    info.dwThreadID = 0x44;
    info.lpExceptionRecord = 0x10000;
    info.lpContextRecord = 0x20000;
    return info;
}

TEST(JitRecord, CompleteRecordIsFollowed) {
    EXPECT_TRUE(JitRecordUsable(GoodRecord(), 40));
}

TEST(JitRecord, ShortReadIsNotARecord) {
    EXPECT_FALSE(JitRecordUsable(GoodRecord(), 39));
    EXPECT_FALSE(JitRecordUsable(GoodRecord(), 0));
}

TEST(JitRecord, WrongSizeFieldIsNotARecord) {
    // What one platform leaves at the address it passes: 104, then zeros.
    JitDebugInfo info = {};
    info.dwSize = 104;
    EXPECT_FALSE(JitRecordUsable(info, 40));
    info = GoodRecord();
    info.dwSize = 0;
    EXPECT_FALSE(JitRecordUsable(info, 40));
}

TEST(JitRecord, ZeroRecordOrContextAddressIsNotARecord) {
    JitDebugInfo info = GoodRecord();
    info.lpExceptionRecord = 0;
    EXPECT_FALSE(JitRecordUsable(info, 40));
    info = GoodRecord();
    info.lpContextRecord = 0;
    EXPECT_FALSE(JitRecordUsable(info, 40));
}

TEST(JitRecord, AddressesBeyondOurReachAreRefused) {
    JitDebugInfo info = GoodRecord();
    info.lpContextRecord = 0x100000000ULL;
    EXPECT_EQ(sizeof(void*) == 8, JitRecordUsable(info, 40));
}

TEST(JitRecord, ExceptionRecordWithTooManyParametersIsRefused) {
    EXCEPTION_RECORD record = {};
    record.NumberParameters = EXCEPTION_MAXIMUM_PARAMETERS;
    EXPECT_TRUE(ExceptionRecordUsable(record));
    record.NumberParameters = EXCEPTION_MAXIMUM_PARAMETERS + 1;
    EXPECT_FALSE(ExceptionRecordUsable(record));
}

}  // namespace
