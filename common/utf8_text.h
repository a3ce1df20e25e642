// UTF-16 text of the system (paths, command lines, names, system messages)
// as UTF-8 for files other programs read. Text from the system may hold
// unpaired surrogates (a file name is any sequence of 16-bit units), which
// have no UTF-8 form: each becomes U+FFFD, so the result is always valid
// UTF-8 and the conversion never fails.
#pragma once

#include <cstddef>
#include <string>

std::string Utf8FromWide(const wchar_t* text, size_t length);
// A null text gives an empty string.
std::string Utf8FromWide(const wchar_t* text);

// UTF-8 text of our own files back as UTF-16; an invalid sequence becomes
// U+FFFD.
std::wstring WideFromUtf8(const char* text);
