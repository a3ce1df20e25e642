// A run whose native query functions cannot be found says so and fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/process_wide.h"
#include "console/run/native_queries.h"

namespace {

FARPROC FindNothing(const wchar_t*, const char*) {
    return nullptr;
}

TEST(NativeQueries, MissingFunctionsAreReportedAsAFailure) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ResolveNativeQueries(FindNothing));
    EXPECT_EQ(
        "Failed to find NtQuerySystemInformation and NtQueryInformationProcess in ntdll.dll.\n",
        testing::internal::GetCapturedStdout());
    EXPECT_TRUE(ResolveNativeQueries());
    EXPECT_NE(nullptr, g_processWide.ntQueryInformationProcess);
}

}  // namespace
