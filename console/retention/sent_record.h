// "<dump>.sent": the record that a server has a dump. The dump folder is the
// upload queue: a complete dump without this file is still to be sent, and a
// dump with it is never sent again. One JSON object: where it went (the URL
// as shown, never its query), the server's status and id, when, and how many
// bytes went over the wire.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct SentRecord {
    std::wstring url;  // the shown form
    uint32_t status = 0;
    std::string id;         // the server's id for the crash; empty when it gave none
    std::string discarded;  // the server's "Discarded=..." line when it threw the dump away
    std::string time;       // UTC, as the event log writes it
    uint64_t bytes = 0;
};

// The file's text: one JSON object on one line, then a line feed. Empty only
// when memory ran out.
std::string SentRecordText(const SentRecord& record);

// Whether a text is such a record: one JSON object with the fields above
// and no others. Retention deletes a .sent with its dump only then.
bool IsSentRecordText(const std::string& text);

// "<dump>.sent" and the temporary name it is written under first. False,
// leaving both empty, when either would not fit a path buffer.
bool SentRecordPaths(const wchar_t* dumpPath, wchar_t (&finalPath)[MAX_PATH],
                     wchar_t (&tempPath)[MAX_PATH]);

// Whether the dump has its record (a file of that name exists).
bool HasSentRecord(const wchar_t* dumpPath);

// Writes the record through the temporary name and a rename, so that a
// reader (or a -send at the same time) never sees half a file. On failure
// nothing is left behind and *error holds the system error.
bool WriteSentRecord(const wchar_t* dumpPath, const SentRecord& record, DWORD* error);
