// The crash report told without symbols: the reason from an exception
// record, the -stack lines, the grouping signature and the metadata object
// over tables of frames; the stack walk itself against real processes of
// ours whose stack cannot be read. The end-to-end tests walk real crashes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/crash/crash_json.h"
#include "console/crash/crash_reason.h"
#include "console/crash/crash_signature.h"
#include "console/crash/stack_walk.h"
#include "process_test_support.h"

namespace {

CrashReport ReportOf(CrashReason reason, std::vector<StackFrame> frames, bool wide = true) {
    CrashReport report;
    report.reason = std::move(reason);
    report.wideAddresses = wide;
    report.frames = std::move(frames);
    return report;
}

StackFrame Frame(const wchar_t* module, uint64_t offset,
                 FrameFound found = FrameFound::kUnwindData) {
    return {0x10000000 + offset, module, offset, found};
}

StackFrame Bare(uint64_t address) {
    return {address, L"", 0, FrameFound::kUnwindData};
}

TEST(CrashReason, ExceptionRecordsInWords) {
    struct Case {
        uint32_t code;
        std::vector<uint64_t> parameters;
        bool wide;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0xC0000005, {1, 0x10}, true, L"ACCESS_VIOLATION writing 0x0000000000000010"},
        {0xC0000005, {0, 0x10}, false, L"ACCESS_VIOLATION reading 0x00000010"},
        {0xC0000005, {8, 0x7ff6a000}, true, L"ACCESS_VIOLATION executing 0x000000007ff6a000"},
        {0xC0000005, {5, 0x10}, false, L"ACCESS_VIOLATION 0x00000010"},
        {0xC0000005, {}, true, L"ACCESS_VIOLATION"},
        {0xC0000006,
         {0, 0x450000, 0xC000009C},
         false,
         L"IN_PAGE_ERROR reading 0x00450000 (status 0xC000009C)"},
        {0xC0000006, {1, 0x450000}, false, L"IN_PAGE_ERROR writing 0x00450000"},
        {0xC0000094, {}, true, L"INT_DIVIDE_BY_ZERO"},
        {0x80000003, {1, 2, 3}, true, L"BREAKPOINT"},
        {0xE06D7363, {0x19930520, 0x1234, 0x5678}, true, L"UNKNOWN EXCEPTION 0xE06D7363"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code);
        const CrashReason reason = ReasonOfException(c.code, c.parameters.data(),
                                                     static_cast<uint32_t>(c.parameters.size()));
        EXPECT_EQ(c.text, ReasonText(ReportOf(reason, {}, c.wide)));
        EXPECT_FALSE(reason.hung);
    }
    EXPECT_TRUE(ReasonOfHungWindow().hung);
}

TEST(CrashLines, ReasonFirstFrameThenEveryFrameAndWhyItWasCutShort) {
    CrashReport crash =
        ReportOf(ReasonOfException(0xC0000005, std::vector<uint64_t>{1, 0x10}.data(), 2),
                 {Frame(L"app.exe", 0x2c07, FrameFound::kContext), Frame(L"app.exe", 0x2c1d),
                  Bare(0x1a0040)});
    crash.end = StackEnd::kNoUnwindData;
    EXPECT_EQ(
        L"Crash: ACCESS_VIOLATION writing 0x0000000000000010 in app.exe+0x2c07\n"
        L"  at app.exe+0x2c07\n"
        L"  at app.exe+0x2c1d\n"
        L"  at 0x00000000001a0040\n"
        L"  (stack cut short: no unwind data for the code of the last frame)\n",
        CrashLines(crash));

    CrashReport hang = ReportOf(ReasonOfHungWindow(),
                                {Frame(L"ntdll.dll", 0x5c07, FrameFound::kContext),
                                 Frame(L"app.exe", 0x120, FrameFound::kFramePointer)},
                                false);
    EXPECT_EQ(
        L"Hung: window not responding in ntdll.dll+0x5c07\n"
        L"  at ntdll.dll+0x5c07\n"
        L"  at app.exe+0x120 (frame pointer)\n",
        CrashLines(hang));

    CrashReport gone = ReportOf(ReasonOfException(0xC0000094, nullptr, 0), {});
    gone.end = StackEnd::kProcessEnded;
    EXPECT_EQ(L"Crash: INT_DIVIDE_BY_ZERO\n  (stack cut short: the process has ended)\n",
              CrashLines(gone));
}

TEST(CrashSignature, FirstOwnFramesThenTheReasonWithoutAddresses) {
    const CrashReason write =
        ReasonOfException(0xC0000005, std::vector<uint64_t>{1, 0x10}.data(), 2);
    struct Case {
        const char* name;
        std::vector<StackFrame> frames;
        const char* signature;
    };
    const Case cases[] = {
        {"three own frames of four, in lower case",
         {Frame(L"App.exe", 0x10), Frame(L"app.exe", 0x20), Frame(L"Plugin.DLL", 0x30),
          Frame(L"app.exe", 0x40)},
         "app.exe+0x10 | app.exe+0x20 | plugin.dll+0x30 | ACCESS_VIOLATION writing"},
        {"system and runtime frames and bare addresses left out",
         {Frame(L"ntdll.dll", 0x1), Frame(L"KERNELBASE.dll", 0x2), Frame(L"ucrtbase.dll", 0x3),
          Frame(L"MSVCP140.dll", 0x4), Frame(L"VCRUNTIME140_1.dll", 0x5), Bare(0x7ff00000),
          Frame(L"libstdc++-6.dll", 0x6), Frame(L"app.exe", 0x70)},
         "app.exe+0x70 | ACCESS_VIOLATION writing"},
        {"only the system's frames: the first stands in",
         {Bare(0x1000), Frame(L"ntdll.dll", 0x5c07), Frame(L"kernel32.dll", 0x27e49)},
         "ntdll.dll+0x5c07 | ACCESS_VIOLATION writing"},
        {"no frame in any module", {Bare(0x1000)}, "? | ACCESS_VIOLATION writing"},
        {"no frame at all", {}, "? | ACCESS_VIOLATION writing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.signature, CrashSignature(ReportOf(write, c.frames)));
    }

    // Another run, another machine: other bases and other addresses touched.
    CrashReport here = ReportOf(write, {Frame(L"app.exe", 0x10), Frame(L"app.exe", 0x20)});
    CrashReport there = here;
    there.wideAddresses = false;
    there.reason.address = 0x7ff0;
    for (StackFrame& frame : there.frames) {
        frame.address += 0x5a0000;
    }
    EXPECT_EQ(CrashSignature(here), CrashSignature(there));

    EXPECT_EQ(
        "app.exe+0x10 | IN_PAGE_ERROR reading (status 0xC000009C)",
        CrashSignature(ReportOf(
            ReasonOfException(0xC0000006, std::vector<uint64_t>{0, 0x450000, 0xC000009C}.data(), 3),
            {Frame(L"app.exe", 0x10)})));
    EXPECT_EQ("app.exe+0x120 | window not responding",
              CrashSignature(ReportOf(ReasonOfHungWindow(),
                                      {Frame(L"win32u.dll", 0x14), Frame(L"app.exe", 0x120)})));
}

TEST(CrashObject, FramesAsModuleAndOffsetOrBareAddress) {
    CrashReport crash =
        ReportOf(ReasonOfException(0xC0000005, std::vector<uint64_t>{1, 0x10}.data(), 2),
                 {Frame(L"app.exe", 0x2c07, FrameFound::kContext),
                  Frame(L"app.exe", 0x2c1d, FrameFound::kFramePointer), Bare(0x1a0040)});
    crash.end = StackEnd::kNoUnwindData;
    EXPECT_EQ(R"({"reason":"ACCESS_VIOLATION writing 0x0000000000000010","address":16,"frames":[)"
              R"({"module":"app.exe","offset":11271},)"
              R"({"module":"app.exe","offset":11293,"found":"framePointer"},{"address":1704000}],)"
              R"("incomplete":"no unwind data for the code of the last frame"})",
              CrashObject(crash).dump());
    EXPECT_EQ(R"({"reason":"window not responding","address":null,"frames":[]})",
              CrashObject(ReportOf(ReasonOfHungWindow(), {})).dump());
    EXPECT_EQ("app.exe+0x2c07", TopFrameText(crash));
    EXPECT_EQ("", TopFrameText(ReportOf(ReasonOfHungWindow(), {})));
}

TEST(IsSystemModule, SystemAndRuntimeModulesInAnyCase) {
    for (const wchar_t* name : {L"ntdll.dll", L"KERNEL32.DLL", L"KernelBase.dll", L"user32.dll",
                                L"api-ms-win-crt-runtime-l1-1-0.dll", L"msvcrt.dll",
                                L"msvcr120.dll", L"ucrtbased.dll", L"libgcc_s_dw2-1.dll"}) {
        EXPECT_TRUE(IsSystemModule(name)) << name;
    }
    for (const wchar_t* name : {L"app.exe", L"ntdll.dll.bak", L"mykernel32.dll", L""}) {
        EXPECT_FALSE(IsSystemModule(name)) << name;
    }
}

// The registers of a thread of the test target, started suspended.
bool SuspendedTargetContext(process_test::TargetProcess& target, CONTEXT* context) {
    if (!target.Start(L"exit:0", "", true)) {
        return false;
    }
    ZeroMemory(context, sizeof *context);
    context->ContextFlags = CONTEXT_FULL;
    return GetThreadContext(target.thread(), context) != FALSE;
}

TEST(WalkStack, StackInMemoryThatCannotBeReadGivesTheFirstFrameAndWhy) {
    process_test::TargetProcess target;
    alignas(16) CONTEXT context;
    ASSERT_TRUE(SuspendedTargetContext(target, &context));
    // The lowest pages of an address space are never mapped.
#ifdef _WIN64
    context.Rsp = context.Rbp = 0x1000;
    const uint64_t pc = context.Rip;
#else
    context.Esp = context.Ebp = 0x1000;
    const uint64_t pc = context.Eip;
#endif
    CrashReport report;
    WalkStack({target.process(), GetThreadId(target.thread()), &context, 0}, &report);
    ASSERT_EQ(1u, report.frames.size());
    EXPECT_EQ(pc, report.frames.front().address);
    EXPECT_EQ(StackEnd::kUnreadable, report.end);
}

TEST(WalkStack, ProcessThatHasEndedGivesWhatIsKnownAndSaysSo) {
    process_test::TargetProcess target;
    alignas(16) CONTEXT context;
    ASSERT_TRUE(SuspendedTargetContext(target, &context));
    const DWORD threadId = GetThreadId(target.thread());
    ResumeThread(target.thread());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(target.process(), 30000));
    for (const CONTEXT* given :
         {static_cast<const CONTEXT*>(&context), static_cast<const CONTEXT*>(nullptr)}) {
        SCOPED_TRACE(given != nullptr ? "context given" : "context read from the thread");
        CrashReport report;
        WalkStack({target.process(), threadId, given, 0x1234}, &report);
        EXPECT_EQ(StackEnd::kProcessEnded, report.end);
        ASSERT_GE(1u, report.frames.size());
        EXPECT_TRUE(report.frames.empty() || report.frames[0].module.empty());
    }
}

}  // namespace
