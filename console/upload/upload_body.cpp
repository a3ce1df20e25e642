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

class BodyWriter {
  public:
    explicit BodyWriter(HANDLE file)
        : file_(file), gzip_([this](const void* data, size_t size) { return Put(data, size); }) {}

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

    bool Finish() {
        if (!gzip_.Finish()) {
            Fail(L"compression");
            return false;
        }
        return true;
    }

    uint64_t written() const { return written_; }
    const std::wstring& failure() const { return failure_; }

  private:
    bool Put(const void* data, size_t size) {
        DWORD done = 0;
        if (!WriteFile(file_, data, static_cast<DWORD>(size), &done, nullptr)) {
            writeError_ = GetLastError();
            return false;
        }
        if (done != size) {
            writeError_ = ERROR_DISK_FULL;
            return false;
        }
        written_ += size;
        return true;
    }

    void Fail(const wchar_t* what) {
        failure_ = writeError_ != 0 ? TempFileFailure(writeError_)
                                    : std::wstring(L"the ") + what + L" ran out of memory";
    }

    HANDLE file_;
    GzipWriter gzip_;
    std::unique_ptr<unsigned char[]> buffer_;
    uint64_t written_ = 0;
    DWORD writeError_ = 0;
    std::wstring failure_;
};

}  // namespace

bool WriteUploadBody(const std::vector<FormField>& fields, const std::vector<FormFileSource>& files,
                     const std::string& boundary, UploadBody* body, std::wstring* reason) {
    reason->clear();
    UniqueFile file;
    if (!CreateBodyFile(&file, reason)) {
        return false;
    }
    BodyWriter writer(file.Get());
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
    if (!writer.Text(FormEndText(boundary)) || !writer.Finish()) {
        *reason = writer.failure();
        return false;
    }
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) {
        *reason = TempFileFailure(GetLastError());
        return false;
    }
    body->file = std::move(file);
    body->size = writer.written();
    body->contentType = FormContentType(boundary);
    return true;
}
