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

// What stands under the name of a dump's record.
enum class SentRecordState {
    kNone,     // nothing: the dump is still queued
    kOurs,     // our record: the dump is never sent again
    kForeign,  // a file or folder that is not our record: it is never touched
};
SentRecordState SentRecordStateOf(const wchar_t* dumpPath);

// Writes the record through the temporary name and a rename, so that a
// reader never sees half a file; a record already there is never replaced
// (ERROR_ALREADY_EXISTS), nor is a foreign file under the temporary name.
// Called under the folder lock. On failure nothing of ours is left behind
// and *error holds the system error.
bool WriteSentRecord(const wchar_t* dumpPath, const SentRecord& record, DWORD* error);

// Deletes the dump's record and a leftover under its temporary name, each
// only when it is ours. Under the folder lock, so that no run is writing
// the temporary file at that moment.
void DeleteOurSentRecords(const wchar_t* dumpPath);
