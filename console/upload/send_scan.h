// -send: the dumps written earlier (by this machine's runs, or copied in)
// that no server has yet, sent oldest first. A dump is any complete minidump
// (its signature, and a directory that reads back whole), whatever its file
// name; a dump with a .sent record is skipped, other files are left alone.
// A dump whose upload fails for a passing reason is tried again within the
// run, on the retry schedule, until its deadline; a refusal of every dump,
// or a server that stays down, ends the batch, and the rest stays queued.
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
    uint64_t bytes = 0;
};

// A folder the scan could not read, and the system's error.
struct UnreadFolder {
    std::wstring path;
    DWORD error = 0;
};

struct SendScan {
    std::vector<QueuedDump> dumps;     // oldest first
    std::vector<UnreadFolder> unread;  // their dumps are not known
    bool namedFileIsNoDump = false;    // path named a file that is no complete minidump
    bool namedFileWasSent = false;     // path named a dump that has its .sent
};

// The dumps still to send at path: the file itself, or every file in the
// folder and its subfolders (links to other folders are not followed),
// ordered oldest first (by last write, then by path). False with the system
// error when path cannot be read at all.
bool FindQueuedDumps(const wchar_t* path, SendScan* scan, DWORD* error);

// The order dumps are sent in: oldest first, ties by path.
void SortOldestFirst(std::vector<QueuedDump>* dumps);

// Whether a failure means the server as a whole cannot take dumps now (it
// cannot be reached, did not answer, or asked to wait): once the dump's tries
// are over, the dumps after it are not tried in this -send.
bool ServerWideFailure(const UploadOutcome& outcome);

// Sends them one by one, trying each again after a passing failure while its
// deadline allows, and reports each outcome. Returns the run's exit code: 0
// when every dump found was accepted and recorded (or there was none), 1
// otherwise. Ctrl+C (cancel) stops at once; the rest stays queued.
uint32_t SendQueuedDumps(Uploader* uploader, const wchar_t* path, EventLog* log, HANDLE cancel);
