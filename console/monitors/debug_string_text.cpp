#include "console/monitors/debug_string_text.h"

namespace {

template <typename Character>
size_t TextLength(const Character* characters, size_t count) {
    size_t length = 0;
    while (length < count && characters[length] != Character{}) {
        ++length;
    }
    return length;
}

}  // namespace

size_t NarrowTextLength(const char* characters, size_t count) {
    return TextLength(characters, count);
}

size_t WideTextLength(const wchar_t* characters, size_t count) {
    return TextLength(characters, count);
}
