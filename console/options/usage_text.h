// The help texts of the console program, printed as they stand.
#pragma once

#include <string>

std::wstring UsageText();
std::wstring ExamplesText();

void PrintUsage();
void PrintExamples();
