// The arguments of a just-in-time start, both ways: the tail that -i
// registers after the dump path, whose placeholders the system fills in when
// it starts the debugger for a crash, and the reading of what it filled in.
//
//   -j "<dump file or folder>" <process id> <event handle> <debug information>
#pragma once

#include <cstdint>

// Windows Vista and later fill in the address of the just-in-time record as
// the third value; earlier ones get a literal 0 there.
constexpr wchar_t kJitTailWithAddress[] = L" %ld %ld %p";
constexpr wchar_t kJitTailWithoutAddress[] = L" %ld %ld 0";

// A process identifier or event handle value as the system writes it for
// "%ld"; characters after the number are ignored.
bool ReadJitNumber(const wchar_t* text, long* value);

// The record's address as the system writes it for "%p".
bool ReadJitAddress(const wchar_t* text, uintptr_t* value);
