#include "gui/logic/command_line.h"

namespace {

const wchar_t* DumpTypeOption(int dumpTypeIndex) {
    switch (dumpTypeIndex) {
        case 1:
            return L" -ma";
        case 2:
            return L" -mp";
        default:
            return L"";  // the console program's default is the mini dump
    }
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

}  // namespace

std::wstring BuildCommandLine(const DialogChoices& choices, DWORD processId,
                              const std::wstring& dumpPath, const std::wstring& consoleImagePath,
                              const std::wstring& interpreterPath) {
    std::wstring consoleCommand = Quoted(consoleImagePath);
    consoleCommand += DumpTypeOption(choices.dumpTypeIndex);
    if (choices.cpuEnable != 0) {
        consoleCommand += choices.cpuBelow == 0 ? L" -c " : L" -cl ";
        consoleCommand += std::to_wstring(choices.cpuUsage);
    }
    if (choices.memEnable != 0) {
        consoleCommand += choices.memBelow == 0 ? L" -m " : L" -ml ";
        consoleCommand += std::to_wstring(choices.memUsage);
    }
    // Fixed order: exception before hung window, although the dialog shows
    // the hung-window box first.
    if (choices.exceptionCheck != 0) {
        consoleCommand += L" -e";
    }
    if (choices.hungWindowCheck != 0) {
        consoleCommand += L" -h";
    }
    if (choices.processExitCheck != 0) {
        consoleCommand += L" -t";
    }
    consoleCommand += L" " + std::to_wstring(processId);
    consoleCommand += L" " + Quoted(dumpPath);

    return Quoted(interpreterPath) + L" /c \"" + consoleCommand + L" & pause\"";
}

bool IsQuotableDumpPath(const std::wstring& dumpPath) {
    return dumpPath.find(L'"') == std::wstring::npos;
}
