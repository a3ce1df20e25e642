// The text of a debug string the target sent: it ends at the first null
// within the bytes actually read, or at their end when the target sent no
// terminator, so printing never reads past the buffer.
#pragma once

#include <cstddef>

size_t NarrowTextLength(const char* characters, size_t count);
size_t WideTextLength(const wchar_t* characters, size_t count);
