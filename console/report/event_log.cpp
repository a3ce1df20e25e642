#include "console/report/event_log.h"

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

bool EventLog::Open(const wchar_t* path, DWORD* error) {
    // Append-only access: every write goes to the end of the file.
    UniqueFile file(CreateFileW(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = GetLastError();
        return false;
    }
    file_ = std::move(file);
    return true;
}

void EventLog::Close() {
    std::lock_guard<std::mutex> guard(lock_);
    file_.Reset();
}

void EventLog::Write(const char* event, const JsonObject& fields) {
    WriteMade(event, [&fields]() -> const JsonObject& { return fields; });
}

template <typename MakeFields>
void EventLog::WriteMade(const char* event, MakeFields makeFields) {
    if (!file_) {
        return;
    }
    std::lock_guard<std::mutex> hold(lock_);
    std::string line;
    try {
        // The time is taken under the lock, so that the lines are in time order.
        line = EventLine(UtcTimeNow(), event, makeFields());
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
    if (lineCut_) {
        line.insert(line.begin(), '\n');
    }
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
    std::lock_guard<std::mutex> hold(lock_);
    return firstWriteError_;
}

void EventLog::RunStarted(const JsonObject& settings) {
    WriteMade("run_started", [&] { return JsonObject{{"settings", settings}}; });
}

void EventLog::Trigger(const char* kind) {
    WriteMade("trigger", [&] { return JsonObject{{"kind", kind}}; });
}

void EventLog::Trigger(const char* kind, double value) {
    WriteMade("trigger", [&] { return JsonObject{{"kind", kind}, {"value", JsonNumber(value)}}; });
}

void EventLog::DumpStarted(const wchar_t* path) {
    WriteMade("dump_started", [&] { return JsonObject{{"path", Utf8FromWide(path)}}; });
}

void EventLog::DumpWritten(const wchar_t* path, uint64_t bytes, uint64_t milliseconds) {
    WriteMade("dump_written", [&] {
        return JsonObject{
            {"path", Utf8FromWide(path)}, {"bytes", bytes}, {"milliseconds", milliseconds}};
    });
}

void EventLog::DumpFailed(const wchar_t* path, const wchar_t* errorText) {
    WriteMade("dump_failed", [&] {
        return JsonObject{{"path", Utf8FromWide(path)}, {"error", Utf8FromWide(errorText)}};
    });
}

void EventLog::DumpDeleted(const wchar_t* path) {
    WriteMade("dump_deleted", [&] { return JsonObject{{"path", Utf8FromWide(path)}}; });
}

void EventLog::DumpSkipped(const wchar_t* path, uint64_t freeMB) {
    WriteMade("dump_skipped", [&] {
        return JsonObject{{"path", Utf8FromWide(path)}, {"freeMB", freeMB}};
    });
}

void EventLog::ProcessExited() {
    WriteMade("process_exited", [] { return JsonObject::object(); });
}

void EventLog::RunEnded(uint32_t exitCode) {
    WriteMade("run_ended", [&] { return JsonObject{{"exitCode", exitCode}}; });
}
