// Force-included before every other header (see CMakeLists.txt).
//
// libstdc++ on mingw-w64 switches the C runtime to its own C99 printf, in
// which "%s" inside a wide format means a narrow string. Our console output
// uses the Microsoft meanings throughout ("%s" wide in wide formats, "%S"
// narrow, "%I64d"), so the runtime's own printf family must be selected here,
// before any system header decides otherwise.
#pragma once
#undef __USE_MINGW_ANSI_STDIO
#define __USE_MINGW_ANSI_STDIO 0

// The C headers decide once, when first included, which printf family their
// inline wrappers call; libstdc++ later redefines the switch to 1 for its own
// use, so they must be included here while it is still 0.
#ifndef RC_INVOKED
#include <stdio.h>
#include <wchar.h>
#endif
