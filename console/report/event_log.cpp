#include "console/report/event_log.h"

#include "common/file_lock.h"
#include "common/utc_time.h"
#include "common/utf8_text.h"

std::string EventLine(const std::string& time, const char* event, const JsonObject& fields) {
    JsonObject line = JsonObject::object();
    line["time"] = time;
    line["event"] = event;
    if (fields.is_object()) {
        for (const auto& field : fields.items()) {
            if (field.key() != "time" && field.key() != "event") {
                line[field.key()] = field.value();
            }
        }
    }
    std::string text = JsonText(line);
    if (!text.empty()) {
        text += '\n';
    }
    return text;
}

namespace {

// Whether the file ends in the middle of a line: a run killed while writing
// one leaves it so, and the next line must not continue it.
bool EndsWithinALine(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) {
        return false;
    }
    OVERLAPPED at = {};
    const uint64_t last = static_cast<uint64_t>(size.QuadPart) - 1;
    at.Offset = static_cast<DWORD>(last);
    at.OffsetHigh = static_cast<DWORD>(last >> 32);
    char byte = '\n';
    DWORD read = 0;
    return ReadFile(file, &byte, 1, &read, &at) && read == 1 && byte != '\n';
}

// The process a series event is about, when the run names one.
JsonObject WithProcess(JsonObject fields, uint32_t processId) {
    if (processId != 0) {
        fields["processId"] = processId;
    }
    return fields;
}

}  // namespace

// A line waits this long for another run's append; then it is written
// without the lock rather than stopping every dump behind a stuck writer.
constexpr DWORD kAppendLockWaitMs = 2000;

bool EventLog::Open(const wchar_t* path, DWORD* error) {
    std::lock_guard<ExclusiveLock> guard(lock_);
    path_ = path;
    return OpenFiles(error);
}

bool EventLog::OpenFiles(DWORD* error) {
    // Append-only access: every write goes to the end of the file, whole,
    // so that runs writing the one log at the same moment (postmortem starts
    // of crashes at once) never cut each other's lines. Delete sharing lets
    // a log shipper or a rotation rename the file while a long watch writes
    // it.
    UniqueFile file(CreateFileW(path_.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = GetLastError();
        return false;
    }
    UniqueFile reader(CreateFileW(path_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    lineCut_ = reader && EndsWithinALine(reader.Get());
    file_ = std::move(file);
    lock_file_ = std::move(reader);
    return true;
}

// A rotation renamed or deleted the file: the log's name is opened again,
// so that the lines go on where a log shipper looks for them.
void EventLog::FollowRotation() {
    UniqueFile named(CreateFileW(path_.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (named && SameFile(named.Get(), file_.Get())) {
        return;
    }
    named.Reset();
    DWORD error = 0;
    if (!OpenFiles(&error)) {
        // The lines go on into the file that was renamed.
        RememberFailure(error);
    }
}

bool EventLog::IsOpen() const {
    std::lock_guard<ExclusiveLock> guard(lock_);
    return file_.IsValid();
}

void EventLog::Close() {
    std::lock_guard<ExclusiveLock> guard(lock_);
    file_.Reset();
    lock_file_.Reset();
}

void EventLog::Write(const char* event, const JsonObject& fields) {
    WriteMade(event, [&fields] { return fields; });
}

void EventLog::WriteMadeBy(const char* event, FieldsMaker make, const void* context) {
    std::lock_guard<ExclusiveLock> hold(lock_);
    if (!file_) {
        return;
    }
    std::string line;
    try {
        // The time is taken under the lock, so that the lines are in time order.
        line = EventLine(UtcTimeNow(), event, make(context));
    } catch (...) {
        // Only memory can run out here; the line is lost like a failed write.
    }
    if (line.empty()) {
        RememberFailure(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    WriteLine(std::move(line));
}

void EventLog::WriteLine(std::string line) {
    FollowRotation();
    if (lineCut_) {
        line.insert(line.begin(), '\n');
    }
    // An append-only handle appends whole writes on Windows, but not every
    // platform makes the end of the file and the write one step: where two
    // runs append at once, one line could land over the other. The lock of
    // one byte far past any end of the file lets one append at a time.
    DWORD error = 0;
    const bool locked = lock_file_ && LockFarByte(lock_file_.Get(), 0, kAppendLockWaitMs, &error);
    AppendLocked(line);
    if (locked) {
        UnlockFarByte(lock_file_.Get(), 0);
    }
}

void EventLog::AppendLocked(const std::string& line) {
    const DWORD size = static_cast<DWORD>(line.size());
    DWORD written = 0;
    const BOOL ok = WriteFile(file_.Get(), line.data(), size, &written, nullptr);
    const DWORD error = ok ? ERROR_DISK_FULL : GetLastError();  // a short write: a full disk
    lineCut_ = written != 0 && written != size;
    if (written != size) {
        RememberFailure(error);
        return;
    }
    if (!FlushFileBuffers(file_.Get())) {
        RememberFailure(GetLastError());
    }
}

void EventLog::RememberFailure(DWORD error) {
    if (firstWriteError_ == 0) {
        firstWriteError_ = error != 0 ? error : ERROR_WRITE_FAULT;
    }
}

DWORD EventLog::FirstWriteError() const {
    std::lock_guard<ExclusiveLock> hold(lock_);
    return firstWriteError_;
}

void EventLog::RunStarted(const JsonObject& settings) {
    WriteMade("run_started", [&] { return JsonObject{{"settings", settings}}; });
}

void EventLog::Trigger(const char* kind, std::optional<double> value, uint32_t processId) {
    WriteMade("trigger", [&] {
        JsonObject fields = {{"kind", kind}};
        if (value) {
            fields["value"] = JsonNumber(*value);
        }
        return WithProcess(std::move(fields), processId);
    });
}

void EventLog::DumpStarted(const wchar_t* path, uint32_t processId) {
    WriteMade("dump_started", [&] {
        return WithProcess(JsonObject{{"path", Utf8FromWide(path)}}, processId);
    });
}

void EventLog::DumpWritten(const wchar_t* path, uint64_t bytes, uint64_t milliseconds,
                           const std::string& signature, const std::string& crashReason,
                           const std::string& topFrame, uint32_t processId) {
    WriteMade("dump_written", [&] {
        JsonObject fields = {
            {"path", Utf8FromWide(path)}, {"bytes", bytes}, {"milliseconds", milliseconds}};
        const std::pair<const char*, const std::string*> texts[] = {
            {"signature", &signature}, {"crashReason", &crashReason}, {"topFrame", &topFrame}};
        for (const auto& text : texts) {
            if (!text.second->empty()) {
                fields[text.first] = *text.second;
            }
        }
        return WithProcess(std::move(fields), processId);
    });
}

void EventLog::DumpFailed(const wchar_t* path, const wchar_t* errorText, uint32_t processId) {
    WriteMade("dump_failed", [&] {
        return WithProcess(
            JsonObject{{"path", Utf8FromWide(path)}, {"error", Utf8FromWide(errorText)}},
            processId);
    });
}

void EventLog::DumpDeleted(const wchar_t* path, uint32_t processId) {
    WriteMade("dump_deleted", [&] {
        return WithProcess(JsonObject{{"path", Utf8FromWide(path)}}, processId);
    });
}

void EventLog::DumpSkipped(const wchar_t* path, uint64_t freeMB, uint32_t processId) {
    WriteMade("dump_skipped", [&] {
        return WithProcess(
            JsonObject{{"path", Utf8FromWide(path)}, {"reason", "free"}, {"freeMB", freeMB}},
            processId);
    });
}

void EventLog::DumpOverRate(const wchar_t* path, uint32_t dumpsLastHour, uint32_t ratePerHour,
                            uint32_t processId) {
    WriteMade("dump_skipped", [&] {
        return WithProcess(JsonObject{{"path", Utf8FromWide(path)},
                                      {"reason", "rate"},
                                      {"dumpsLastHour", dumpsLastHour},
                                      {"rate", ratePerHour}},
                           processId);
    });
}

void EventLog::ProcessStarted(uint32_t processId, const wchar_t* name) {
    WriteMade("process_started", [&] {
        return JsonObject{{"processId", processId}, {"name", Utf8FromWide(name)}};
    });
}

void EventLog::ProcessExited(uint32_t processId) {
    WriteMade("process_exited", [&] { return JsonObject{{"processId", processId}}; });
}

void EventLog::RunEnded(uint32_t exitCode) {
    WriteMade("run_ended", [&] { return JsonObject{{"exitCode", exitCode}}; });
}
