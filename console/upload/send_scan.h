// -send: the dumps written earlier (by this machine's runs, or copied in)
// that no server has yet, sent oldest first. A dump is any complete minidump
// (its signature, and a directory that reads back whole), whatever its file
// name; a dump with a .sent record is skipped, other files are left alone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/report/event_log.h"
#include "console/upload/upload_attempt.h"

struct QueuedDump {
    std::wstring path;
    uint64_t lastWrite = 0;  // FILETIME ticks
};

// The dumps still to send at path: the file itself, or every file in the
// folder and its subfolders (links to other folders are not followed),
// ordered oldest first (by last write, then by path). False with the system
// error when path cannot be read at all.
bool FindQueuedDumps(const wchar_t* path, std::vector<QueuedDump>* dumps, DWORD* error);

// The order dumps are sent in: oldest first, ties by path.
void SortOldestFirst(std::vector<QueuedDump>* dumps);

// Whether a failure means the server as a whole cannot take dumps now (it
// cannot be reached, did not answer, or asked to wait): the dumps after it
// are then not tried in this -send.
bool ServerWideFailure(const UploadOutcome& outcome);

// Sends them one by one, one try each, and reports each outcome. Returns the
// run's exit code: 0 when every dump found was accepted (or there was none),
// 1 otherwise. Ctrl+C (cancel) stops at once; the rest stays queued.
uint32_t SendQueuedDumps(Uploader* uploader, const wchar_t* path, EventLog* log, HANDLE cancel);
