#pragma once

// The 32-bit build's start-up banner; the 64-bit build prints nothing.
void PrintBanner();
