#include "console/postmortem/aedebug_key.h"

#include "common/console_output.h"
#include "console/postmortem/registered_line.h"
#include "console/postmortem/registry_value_text.h"

namespace {

constexpr wchar_t kAeDebugKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";

}  // namespace

const AeDebugView kAeDebugView64 = {
    KEY_WOW64_64KEY, L"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"};
const AeDebugView kAeDebugView32 = {
    KEY_WOW64_32KEY,
    L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"};

const wchar_t kSavedDebuggerName[] = L"VarnholdSavedDebugger";
const wchar_t kSavedAutoName[] = L"VarnholdSavedAuto";

LONG OpenAeDebugKey(const AeDebugView& view, UniqueRegistryKey& key) {
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAeDebugKey, 0,
                                KEY_QUERY_VALUE | KEY_SET_VALUE | view.view, key.Receive());
    if (status != ERROR_SUCCESS) {
        PrintWide(L"Failed to open:\n  %s\n", view.shownKey);
    }
    return status;
}

LONG ReadRegistryValue(HKEY key, const wchar_t* name, RegistryValue* value) {
    value->present = false;
    value->data.clear();
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &value->type, nullptr, &size);
    // The value may grow between the two calls; then it is asked for again.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value->data.resize(size);
        status = RegQueryValueExW(key, name, nullptr, &value->type, value->data.data(), &size);
        if (status == ERROR_SUCCESS) {
            value->data.resize(size);
            value->present = true;
            return ERROR_SUCCESS;
        }
    }
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG WriteRegistryValue(HKEY key, const wchar_t* name, const RegistryValue& value) {
    return RegSetValueExW(key, name, 0, value.type, value.data.data(),
                          static_cast<DWORD>(value.data.size()));
}

LONG DeleteRegistryValue(HKEY key, const wchar_t* name) {
    LONG status = RegDeleteValueW(key, name);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

bool HoldsOurDebugger(HKEY key) {
    RegistryValue debugger;
    if (ReadRegistryValue(key, L"Debugger", &debugger) != ERROR_SUCCESS || !debugger.present ||
        (debugger.type != REG_SZ && debugger.type != REG_EXPAND_SZ)) {
        return false;
    }
    return IsOurDebuggerCommand(RegistryText(debugger.data.data(), debugger.data.size()).c_str());
}

LONG SaveReplacedValues(HKEY key, const AeDebugView& view) {
    const wchar_t* const names[][2] = {{L"Debugger", kSavedDebuggerName},
                                       {L"Auto", kSavedAutoName}};
    for (const auto& name : names) {
        RegistryValue original;
        LONG status = ReadRegistryValue(key, name[0], &original);
        if (status == ERROR_SUCCESS) {
            status = original.present ? WriteRegistryValue(key, name[1], original)
                                      : DeleteRegistryValue(key, name[1]);
        }
        if (status != ERROR_SUCCESS) {
            PrintWide(L"Failed to set:\n  %s\\%s\n", view.shownKey, name[1]);
            return status;
        }
    }
    return ERROR_SUCCESS;
}
