// What the thread of a dump was doing when the dump was taken, told on the
// spot without symbols: why it stopped (an exception, or a window that no
// longer answers) and its stack as module+offset frames, innermost first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr size_t kMaxStackFrames = 32;

// How a frame was found. The first frame is the thread's own instruction
// pointer; each later one is found by unwinding the frame before it.
enum class FrameFound {
    kContext,
    kUnwindData,    // by the unwind data of the code of the frame before
    kFramePointer,  // a 32-bit frame without such data: by its saved frame pointer, a guess
};

struct StackFrame {
    uint64_t address = 0;
    std::wstring module;  // file name of the module holding the address; empty when none does
    uint64_t offset = 0;  // of the address in that module
    FrameFound found = FrameFound::kContext;
};

// Why a walk ended.
enum class StackEnd {
    kComplete,      // the outermost frame was reached
    kFrameLimit,    // kMaxStackFrames frames were read
    kTimeLimit,     // the walk took too long
    kNoUnwindData,  // the code of the last frame has no unwind data: its caller would be a guess
    kLoop,          // the next frame did not lie further up the stack
    kUnreadable,    // the walker found no further frame (memory that cannot be read)
    kProcessEnded,
    kNoContext,  // the thread's context could not be read
};

struct CrashReason {
    bool hung = false;  // a window that no longer answers, not an exception
    // "ACCESS_VIOLATION writing", "INT_DIVIDE_BY_ZERO", "window not responding"
    std::wstring what;
    std::optional<uint64_t> address;  // the address an access violation or in-page error touched
    std::optional<uint32_t> status;   // of an in-page error
};

struct CrashReport {
    CrashReason reason;
    bool wideAddresses = true;  // a 64-bit target: addresses in 16 digits, else 8
    std::vector<StackFrame> frames;
    StackEnd end = StackEnd::kComplete;
};

// "ACCESS_VIOLATION writing 0x0000000000000010",
// "IN_PAGE_ERROR reading 0x00450000 (status 0xC000009C)".
std::wstring ReasonText(const CrashReport& report);

// "app.exe+0x1a2b", or the bare address "0x00000000012a0040" outside every module.
std::wstring FrameText(const StackFrame& frame, bool wideAddresses);

// Why a walk ended early, in words; null for a complete walk.
const wchar_t* StackEndText(StackEnd end);

// What -stack prints: "Crash: <reason> in <first frame>" ("Hung: ..." for a
// window), then "  at <frame>" per frame, a frame that is a guess marked
// "(frame pointer)", then "  (stack cut short: <why>)" when it was. One
// line feed ends each line.
std::wstring CrashLines(const CrashReport& report);
