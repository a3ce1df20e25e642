// The lines of one process among several watched at once (-all): each names
// its process, "[hh:mm:ss] <name> (<pid>) ", so that the interleaved lines of
// different processes can be told apart. A line that carries a time stamp of
// its own keeps it, with the process after it. Without a label a line is
// printed exactly as it is.
#pragma once

#include <windows.h>

#include <string>

// The line with the label put in: after its own time stamp ("[hh:mm:ss] ")
// when it begins with one, else after the time given. An empty or null label
// leaves the line as it is.
std::wstring LabelLine(const std::wstring& line, const wchar_t* label, const SYSTEMTIME& now);

// Formats as PrintWide does and prints the text labelled (the local time).
void PrintLabelled(const wchar_t* label, const wchar_t* format, ...);
