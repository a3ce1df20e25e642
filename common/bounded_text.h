// Bounded copies and formatting into fixed buffers. Nothing here ever writes
// past the buffer; the functions say whether the whole text fitted, so that a
// caller can refuse a value instead of silently using a shortened one.
#pragma once

#include <cstddef>

// Copies source into destination (capacity in characters, terminator
// included). Returns false, leaving destination empty, when it does not fit.
bool CopyBounded(wchar_t* destination, size_t capacity, const wchar_t* source);

// Appends source to the text already in destination. Returns false, leaving
// destination unchanged, when the result would not fit.
bool AppendBounded(wchar_t* destination, size_t capacity, const wchar_t* source);

// Formats into destination. Returns false, leaving destination empty, when
// the result would not fit.
bool FormatBounded(wchar_t* destination, size_t capacity, const wchar_t* format, ...);

// Formats into destination and cuts the result at the end of the buffer when
// it does not fit; the result is always terminated. For texts that may be
// shortened, such as a dump comment quoting a long command line.
void FormatCut(wchar_t* destination, size_t capacity, const wchar_t* format, ...);
