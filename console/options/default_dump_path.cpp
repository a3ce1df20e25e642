#include "console/options/default_dump_path.h"

#include <shlwapi.h>

#include <cwchar>

#include "common/bounded_text.h"
#include "console/options/monitor_config.h"

namespace {

// PathAppendW writes into a MAX_PATH buffer without being told its size, so
// the length is checked before it is called.
bool AppendElement(wchar_t* path, const wchar_t* element) {
    if (wcslen(path) + 1 + wcslen(element) >= kPathCapacity) {
        return false;
    }
    return PathAppendW(path, element) != FALSE;
}

bool Fail(wchar_t* out) {
    out[0] = L'\0';
    return false;
}

}  // namespace

bool BuildDefaultDumpPath(wchar_t* out, const wchar_t* programDirectory, const wchar_t* processName,
                          uint32_t processId, const SYSTEMTIME& now) {
    wchar_t folder[kPathCapacity];
    if (!CopyBounded(folder, kPathCapacity, programDirectory) ||
        !AppendElement(folder, processName)) {
        return Fail(out);
    }
    PathRemoveExtensionW(folder);
    if (!FormatBounded(out, kPathCapacity, L"%s_%u_%04d%02d%02d_%02d%02d%02d", folder, processId,
                       now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond) ||
        !AppendElement(out, processName)) {
        return Fail(out);
    }
    PathRemoveExtensionW(out);
    // PathAddExtensionW adds nothing while the name still holds a dot
    // ("my.app.exe" would leave a file "my.app"), so the extension is
    // appended unconditionally.
    if (!AppendBounded(out, kPathCapacity, L".dmp")) {
        return Fail(out);
    }
    return true;
}

bool EndsAsFolder(const wchar_t* path) {
    const size_t length = wcslen(path);
    return length > 0 && (path[length - 1] == L'\\' || path[length - 1] == L'/');
}

bool ProgramDirectory(wchar_t* out) {
    DWORD length = GetModuleFileNameW(nullptr, out, static_cast<DWORD>(kPathCapacity));
    // A length equal to the capacity means the module path was cut.
    if (length == 0 || length >= kPathCapacity) {
        out[0] = L'\0';
        return false;
    }
    PathRemoveFileSpecW(out);
    return true;
}
