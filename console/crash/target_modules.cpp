#include "console/crash/target_modules.h"

#include <psapi.h>

#include <algorithm>

namespace {

// More than any process loads; a list that keeps growing is cut here.
constexpr DWORD kMaxModules = 4096;

}  // namespace

std::vector<TargetModule> ListTargetModules(HANDLE process) {
    std::vector<HMODULE> handles(256);
    DWORD needed = 0;
    for (;;) {
        const DWORD bytes = static_cast<DWORD>(handles.size() * sizeof(HMODULE));
        // The toolhelp module snapshot would serve as well, except that
        // Wine's cannot read a 32-bit process from a 64-bit one.
        if (!EnumProcessModulesEx(process, handles.data(), bytes, &needed, LIST_MODULES_ALL)) {
            return {};
        }
        if (needed <= bytes || handles.size() >= kMaxModules) {
            break;
        }
        handles.resize(needed / sizeof(HMODULE) + 16);
    }
    handles.resize(std::min<size_t>(handles.size(), needed / sizeof(HMODULE)));
    std::vector<TargetModule> modules;
    for (HMODULE handle : handles) {
        MODULEINFO info = {};
        wchar_t name[MAX_PATH];
        if (GetModuleInformation(process, handle, &info, sizeof(info)) &&
            GetModuleBaseNameW(process, handle, name, MAX_PATH) != 0) {
            modules.push_back(
                {reinterpret_cast<uintptr_t>(info.lpBaseOfDll), info.SizeOfImage, name});
        }
    }
    return modules;
}

void PlaceFrame(const std::vector<TargetModule>& modules, StackFrame* frame) {
    frame->module.clear();
    frame->offset = 0;
    for (const TargetModule& module : modules) {
        if (frame->address >= module.base && frame->address - module.base < module.size) {
            frame->module = module.name;
            frame->offset = frame->address - module.base;
            return;
        }
    }
}
