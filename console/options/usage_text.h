// The help texts of the console program, printed as they stand.
#pragma once

const wchar_t* UsageText();
const wchar_t* ExamplesText();

void PrintUsage();
void PrintExamples();
