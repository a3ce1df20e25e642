// All console output of the programs goes through these: the runtime's
// formatted print with the Microsoft format meanings ("%s" wide in a wide
// format, "%S" narrow, "%I64d"), flushed at once so that lines from the
// monitor threads and from a relaunched 64-bit build keep their order.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Both first erase a status line that is shown, so that it never mixes with
// other output.
void PrintWide(const wchar_t* format, ...);
void PrintNarrow(const char* format, ...);

// The text PrintWide prints for a format and its arguments.
std::wstring FormatWide(const wchar_t* format, va_list args);

// The status line: one line redrawn in place while a long step runs. Drawn
// only when standard output is a console; with output redirected to a file
// or a pipe nothing of it is ever written. Thread-safe with the prints.
void ShowStatusLine(const wchar_t* text);
void EraseStatusLine();
bool StandardOutputIsConsole();

// What goes to the console to draw text over a status line of shownLength
// characters ("\r", the text, blanks over the rest of the old line) and to
// erase it ("\r", blanks, "\r"; nothing when no line is shown).
std::wstring StatusLineDrawText(const wchar_t* text, size_t shownLength);
std::wstring StatusLineEraseText(size_t shownLength);
