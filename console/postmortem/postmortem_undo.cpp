#include "console/postmortem/postmortem_undo.h"

#include <string>

#include "common/console_output.h"
#include "common/unique_resource.h"
#include "common/wow64.h"
#include "console/postmortem/aedebug_key.h"
#include "console/postmortem/registry_value_text.h"

namespace {

struct KeptValue {
    const wchar_t* name;
    const wchar_t* savedName;
    RegistryValue saved;
};

LONG ReportNotOurs(HKEY key, const AeDebugView& view) {
    std::wstring text = std::wstring(L"varnhold is not the registered postmortem debugger:\n  ") +
                        view.shownKey + L"\n";
    RegistryValue debugger;
    if (ReadRegistryValue(key, L"Debugger", &debugger) == ERROR_SUCCESS && debugger.present) {
        text += RegistryValueLine(L"Debugger", debugger.type, debugger.data.data(),
                                  debugger.data.size());
    }
    PrintWide(L"%s\n", text.c_str());
    return ERROR_FILE_NOT_FOUND;
}

// Nothing was kept: our own two values go.
LONG DeleteOurValues(HKEY key, const AeDebugView& view) {
    for (const wchar_t* name : {L"Auto", L"Debugger"}) {
        LONG status = DeleteRegistryValue(key, name);
        if (status != ERROR_SUCCESS) {
            PrintWide(L"Failed to delete:\n  %s\\%s\n", view.shownKey, name);
            return status;
        }
    }
    PrintWide(L"Deleted:\n  %s\n    Auto\n    Debugger\n\n", view.shownKey);
    return ERROR_SUCCESS;
}

// Writes the kept values back (a value that had no copy was absent and is
// deleted), and only then drops the copies, so that a failure half-way
// leaves them for another try.
LONG PutKeptValuesBack(HKEY key, const AeDebugView& view, KeptValue (&kept)[2]) {
    std::wstring lines;
    for (const KeptValue& value : kept) {
        LONG status = value.saved.present ? WriteRegistryValue(key, value.name, value.saved)
                                          : DeleteRegistryValue(key, value.name);
        if (status != ERROR_SUCCESS) {
            PrintWide(L"Failed to set:\n  %s\\%s\n", view.shownKey, value.name);
            return status;
        }
        lines += value.saved.present
                     ? RegistryValueLine(value.name, value.saved.type, value.saved.data.data(),
                                         value.saved.data.size())
                     : std::wstring(L"    (deleted) ") + value.name + L"\n";
    }
    for (const KeptValue& value : kept) {
        LONG status = DeleteRegistryValue(key, value.savedName);
        if (status != ERROR_SUCCESS) {
            PrintWide(L"Failed to delete:\n  %s\\%s\n", view.shownKey, value.savedName);
            return status;
        }
    }
    PrintWide(L"Restored:\n  %s\n%s\n", view.shownKey, lines.c_str());
    return ERROR_SUCCESS;
}

LONG UndoView(const AeDebugView& view) {
    UniqueRegistryKey key;
    LONG status = OpenAeDebugKey(view, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!HoldsOurDebugger(key.Get())) {
        return ReportNotOurs(key.Get(), view);
    }
    KeptValue kept[2] = {{L"Auto", kSavedAutoName, {}}, {L"Debugger", kSavedDebuggerName, {}}};
    for (KeptValue& value : kept) {
        status = ReadRegistryValue(key.Get(), value.savedName, &value.saved);
        if (status != ERROR_SUCCESS) {
            PrintWide(L"Failed to read:\n  %s\\%s\n", view.shownKey, value.savedName);
            return status;
        }
    }
    if (!kept[0].saved.present && !kept[1].saved.present) {
        return DeleteOurValues(key.Get(), view);
    }
    return PutKeptValuesBack(key.Get(), view, kept);
}

}  // namespace

LONG UndoPostmortemRegistration() {
    LONG status = UndoView(kAeDebugView64);
    if (!IsWow64(GetCurrentProcess())) {
        return status;
    }
    LONG status32 = UndoView(kAeDebugView32);
    return status32 != ERROR_SUCCESS ? status32 : status;
}
