#include "console/options/jit_arguments.h"

#include <cstdio>

bool ReadJitNumber(const wchar_t* text, long* value) {
    return swscanf(text, L"%ld", value) == 1;
}

bool ReadJitAddress(const wchar_t* text, uintptr_t* value) {
    void* address = nullptr;
    if (swscanf(text, L"%p", &address) != 1) {
        return false;
    }
    *value = reinterpret_cast<uintptr_t>(address);
    return true;
}
