#include "console/upload/upload_body.h"

#include <memory>

#include "console/report/error_report.h"
#include "console/upload/gzip_writer.h"

namespace {

constexpr DWORD kReadPiece = 1024 * 1024;

std::wstring TempFileFailure(DWORD error) {
    return L"cannot write the temporary upload file: " + SystemMessageText(error);
}

// A new file in the user's temporary folder that goes away with its handle.
bool CreateBodyFile(UniqueFile* file, std::wstring* reason) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || GetTempFileNameW(folder, L"vhu", 0, path) == 0) {
        *reason = TempFileFailure(GetLastError());
        return false;
    }
    // GetTempFileNameW made the file; it is opened again to go with the handle.
    file->Reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                            TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                            nullptr));
    if (!file->IsValid()) {
        const DWORD error = GetLastError();
        DeleteFileW(path);
        *reason = TempFileFailure(error);
        return false;
    }
    return true;
}

// Compressed bytes go to memory until they pass kMemoryBodyLimit, then into
// a temporary file, with what memory held first.
class BodyWriter {
  public:
    explicit BodyWriter(HANDLE cancel)
        : cancel_(cancel),
          gzip_([this](const void* data, size_t size) { return Put(data, size); }) {}

    bool Text(const std::string& text) { return Bytes(text.data(), text.size()); }

    bool Bytes(const void* data, size_t size) {
        if (!gzip_.Write(data, size)) {
            Fail(L"compression");
            return false;
        }
        return true;
    }

    // The whole content of an open file, from its start.
    bool FileContent(HANDLE source, const std::wstring& path, std::wstring* reason) {
        if (!buffer_) {
            buffer_.reset(new (std::nothrow) unsigned char[kReadPiece]);
        }
        LARGE_INTEGER start = {};
        if (!buffer_ || !SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) {
            *reason = L"cannot read " + path + L": " +
                      SystemMessageText(buffer_ ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        while (true) {
            if (cancel_ != nullptr && WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0) {
                *reason = L"cancelled";
                return false;
            }
            DWORD got = 0;
            if (!ReadFile(source, buffer_.get(), kReadPiece, &got, nullptr)) {
                *reason = L"cannot read " + path + L": " + SystemMessageText(GetLastError());
                return false;
            }
            if (got == 0) {
                return true;
            }
            if (!Bytes(buffer_.get(), got)) {
                *reason = failure_;
                return false;
            }
        }
    }

    // Ends the stream and hands the body over.
    bool Finish(UploadBody* body) {
        if (!gzip_.Finish()) {
            Fail(L"compression");
            return false;
        }
        LARGE_INTEGER start = {};
        if (file_ && !SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN)) {
            failure_ = TempFileFailure(GetLastError());
            return false;
        }
        body->bytes = std::move(bytes_);
        body->file = std::move(file_);
        body->size = written_;
        return true;
    }

    const std::wstring& failure() const { return failure_; }

  private:
    bool Put(const void* data, size_t size) {
        if (!file_ && bytes_.size() + size <= kMemoryBodyLimit) {
            try {
                const auto* bytes = static_cast<const unsigned char*>(data);
                bytes_.insert(bytes_.end(), bytes, bytes + size);
            } catch (...) {
                writeError_ = ERROR_NOT_ENOUGH_MEMORY;
                return false;
            }
            written_ += size;
            return true;
        }
        if (!file_ && !Spill()) {
            return false;
        }
        if (!WriteAll(data, size)) {
            return false;
        }
        written_ += size;
        return true;
    }

    // Moves what memory holds into a new temporary file.
    bool Spill() {
        std::wstring reason;
        if (!CreateBodyFile(&file_, &reason)) {
            failure_ = reason;
            return false;
        }
        if (!WriteAll(bytes_.data(), bytes_.size())) {
            return false;
        }
        std::vector<unsigned char>().swap(bytes_);
        return true;
    }

    bool WriteAll(const void* data, size_t size) {
        DWORD done = 0;
        if (!WriteFile(file_.Get(), data, static_cast<DWORD>(size), &done, nullptr)) {
            writeError_ = GetLastError();
            return false;
        }
        if (done != size) {
            writeError_ = ERROR_DISK_FULL;
            return false;
        }
        return true;
    }

    void Fail(const wchar_t* what) {
        if (!failure_.empty()) {
            return;  // the temporary file could not be made: said already
        }
        failure_ = writeError_ == ERROR_NOT_ENOUGH_MEMORY || writeError_ == 0
                       ? std::wstring(L"the ") + what + L" ran out of memory"
                       : TempFileFailure(writeError_);
    }

    HANDLE cancel_;
    GzipWriter gzip_;
    std::vector<unsigned char> bytes_;
    UniqueFile file_;
    std::unique_ptr<unsigned char[]> buffer_;
    uint64_t written_ = 0;
    DWORD writeError_ = 0;
    std::wstring failure_;
};

}  // namespace

bool WriteUploadBody(const std::vector<FormField>& fields, const std::vector<FormFileSource>& files,
                     const std::string& boundary, HANDLE cancel, UploadBody* body,
                     std::wstring* reason) {
    reason->clear();
    BodyWriter writer(cancel);
    for (const FormField& field : fields) {
        if (!writer.Text(FieldPartText(boundary, field))) {
            *reason = writer.failure();
            return false;
        }
    }
    for (const FormFileSource& source : files) {
        if (!writer.Text(FilePartHead(boundary, source.part)) ||
            !writer.FileContent(source.file, source.path, reason) || !writer.Text(kPartEnd)) {
            if (reason->empty()) {
                *reason = writer.failure();
            }
            return false;
        }
    }
    if (!writer.Text(FormEndText(boundary)) || !writer.Finish(body)) {
        *reason = writer.failure();
        return false;
    }
    body->contentType = FormContentType(boundary);
    return true;
}

bool RewindUploadBody(UploadBody* body, DWORD* error) {
    LARGE_INTEGER start = {};
    if (body->file && !SetFilePointerEx(body->file.Get(), start, nullptr, FILE_BEGIN)) {
        *error = GetLastError();
        return false;
    }
    return true;
}
