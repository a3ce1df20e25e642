// Whether a dump was written by this program: every dump of ours carries a
// comment stream that begins "\n*** " and the command line of the varnhold
// program that wrote it. A minidump of another tool, whatever its name, has
// no such comment; -keep never deletes it and -rate never counts it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "console/dumpwriter/dump_check.h"

// The comment text (without its terminating zero) is one of ours: "\n*** ",
// then a program whose file name begins with "varnhold" (letter case
// aside), quoted or not, as the program's own command line starts.
bool IsOurDumpComment(const std::wstring& text);

// The dump's comment stream (CommentStreamW) is one of ours.
bool DumpCommentIsOurs(const DumpBytesReader& read, uint64_t fileSize);

// Complete (see dump_check.h) and written by this program: what -keep
// deletes, -rate counts and a run sends on its own.
bool DumpFileIsOurs(HANDLE file);

// The same by path; false when the file cannot be opened for reading.
bool DumpFileAtIsOurs(const wchar_t* path);
