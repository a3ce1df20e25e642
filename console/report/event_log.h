// The event log of a run (-log): JSON Lines that log shippers and other
// programs can follow while the run goes on. Each event is one line,
// {"time": "<UTC ISO 8601 with milliseconds>", "event": "<name>", ...fields},
// appended with one write and flushed at once. Other programs may read the
// file while it is written, and a rotation may rename or delete it: the next
// line then goes to a new file under the log's name. Other runs may append
// to it at the same moment (every postmortem start of a machine writes its
// one log), each line going to the end of the file whole.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "common/exclusive_lock.h"
#include "common/unique_resource.h"
#include "console/report/json_text.h"

// One line: time and event first, then the fields of the object given (its
// own "time" or "event" fields are left out), then a line feed. Empty when
// the text could not be made.
std::string EventLine(const std::string& time, const char* event, const JsonObject& fields);

// Safe to use from several threads. A log that was never opened writes
// nothing, so the run can hold one whether or not -log was given. Writing
// never disturbs the run: a failure prints nothing and is remembered for the
// caller to report once (FirstWriteError).
class EventLog {
  public:
    EventLog() = default;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens the file for appending, creating it when missing. On failure
    // (a folder, a file another program holds without sharing) returns false
    // with the system error in *error. Call before any thread writes.
    bool Open(const wchar_t* path, DWORD* error);
    bool IsOpen() const;
    // Lets the file go, for a program that carries on the run in its place.
    void Close();

    void Write(const char* event, const JsonObject& fields);

    void RunStarted(const JsonObject& settings);  // {"settings": ...}
    // The events of a dump series carry "processId" last when one is given
    // (a run watching several processes at once); 0 leaves it out.
    // {"kind", "value"}; no value when none is given.
    void Trigger(const char* kind, std::optional<double> value = std::nullopt,
                 uint32_t processId = 0);
    void DumpStarted(const wchar_t* path, uint32_t processId = 0);  // {"path"}
    // {"path", "bytes", "milliseconds", "signature", "crashReason", "topFrame"};
    // each text left out when empty.
    void DumpWritten(const wchar_t* path, uint64_t bytes, uint64_t milliseconds,
                     const std::string& signature = std::string(),
                     const std::string& crashReason = std::string(),
                     const std::string& topFrame = std::string(), uint32_t processId = 0);
    // {"path", "error"}
    void DumpFailed(const wchar_t* path, const wchar_t* errorText, uint32_t processId = 0);
    void DumpDeleted(const wchar_t* path, uint32_t processId = 0);  // {"path"}
    // {"path", "reason": "free", "freeMB"}
    void DumpSkipped(const wchar_t* path, uint64_t freeMB, uint32_t processId = 0);
    // {"path", "reason": "rate", "dumpsLastHour", "rate"}
    void DumpOverRate(const wchar_t* path, uint32_t dumpsLastHour, uint32_t ratePerHour,
                      uint32_t processId = 0);
    void ProcessStarted(uint32_t processId, const wchar_t* name);  // {"processId", "name"}
    void ProcessExited(uint32_t processId);                        // {"processId"}
    void RunEnded(uint32_t exitCode);                              // {"exitCode"}

    // The system error of the first line that could not be written whole,
    // or 0 when every line was.
    DWORD FirstWriteError() const;

  private:
    // Builds the fields only when the log is open, and inside the guard
    // against exceptions. The fields' maker is called through a plain
    // function pointer, so that the locking and writing exist once in the
    // program, not once per kind of event.
    using FieldsMaker = JsonObject (*)(const void* context);
    void WriteMadeBy(const char* event, FieldsMaker make, const void* context);
    template <typename MakeFields>
    void WriteMade(const char* event, const MakeFields& makeFields) {
        WriteMadeBy(
            event,
            [](const void* context) -> JsonObject {
                return (*static_cast<const MakeFields*>(context))();
            },
            &makeFields);
    }
    bool OpenFiles(DWORD* error);
    void FollowRotation();
    void WriteLine(std::string line);
    void AppendLocked(const std::string& line);
    void RememberFailure(DWORD error);

    mutable ExclusiveLock lock_;  // guards everything below
    std::wstring path_;
    UniqueFile file_;
    // The same file opened for reading: its lock lets one line at a time be
    // appended, whichever run writes it (see WriteLine).
    UniqueFile lock_file_;
    DWORD firstWriteError_ = 0;
    // The last write (of this run, or of a run killed while writing) left
    // part of a line without its line feed: the next line starts on a line
    // of its own, so that only the cut line is lost.
    bool lineCut_ = false;
};
