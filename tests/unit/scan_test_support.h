// Shared by the scan tests: argument vectors from lists of strings, and a
// scan environment without system calls.
#pragma once

#include <string>
#include <vector>

#include "console/options/option_scan.h"

namespace scan_test {

// Owns the strings of one argument vector; element 0 is the program.
class Arguments {
  public:
    explicit Arguments(std::vector<std::wstring> values) : values_(std::move(values)) {
        values_.insert(values_.begin(), L"varnhold.exe");
        for (std::wstring& value : values_) {
            pointers_.push_back(value.data());
        }
        pointers_.push_back(nullptr);
    }
    int count() const { return static_cast<int>(values_.size()); }
    wchar_t** vector() { return pointers_.data(); }
    const wchar_t* at(size_t index) const { return values_[index].c_str(); }

  private:
    std::vector<std::wstring> values_;
    std::vector<wchar_t*> pointers_;
};

// A library named "missing.dll" fails to load; every other one loads.
inline bool FakeLoadUserLibrary(const wchar_t* path, MINIDUMP_CALLBACK_ROUTINE* routine) {
    *routine = nullptr;
    return std::wstring(path) != L"missing.dll";
}
inline bool Windows7OrLater() {
    return true;
}
inline bool BeforeWindows7() {
    return false;
}

const ScanEnvironment kModernSystem{FakeLoadUserLibrary, Windows7OrLater};
const ScanEnvironment kOldSystem{FakeLoadUserLibrary, BeforeWindows7};

}  // namespace scan_test
