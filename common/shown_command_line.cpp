#include "common/shown_command_line.h"

#include <windows.h>

#include <string>

#include "common/http_url.h"

namespace {

// Set once before the threads start, then only read.
std::wstring g_shown;
bool g_hidden = false;

}  // namespace

void HideUrlSecretsInCommandLine() {
    g_shown = CommandLineWithoutUrlSecrets(GetCommandLineW());
    g_hidden = true;
}

const wchar_t* ShownCommandLine() {
    return g_hidden ? g_shown.c_str() : GetCommandLineW();
}
