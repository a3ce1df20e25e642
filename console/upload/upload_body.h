// The request body of an upload: the multipart form, gzip-compressed, made
// once per dump and run and kept for its retries. A small body is kept in
// memory (sent in one write, with no temporary file to make and delete); a
// larger one goes on into a temporary file that the system deletes when it
// is closed (also when the program ends without closing it). The dump and
// the metadata are read a piece at a time, never whole.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "console/upload/upload_form.h"

// Bodies up to this size stay in memory.
constexpr size_t kMemoryBodyLimit = 2 * 1024 * 1024;

// A file part and the open file its bytes come from (read from its start).
struct FormFileSource {
    FormFile part;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;  // for the reason when it cannot be read
};

struct UploadBody {
    std::vector<unsigned char> bytes;  // the body, when it is small
    UniqueFile file;                   // otherwise: its temporary file
    uint64_t size = 0;
    std::string contentType;
};

// Writes the text parts, then the file parts, compressed. cancel (may be
// null) stops the compression between two pieces of a file. On failure
// returns false with *reason saying what could not be read or written
// ("cancelled" for the cancel).
bool WriteUploadBody(const std::vector<FormField>& fields, const std::vector<FormFileSource>& files,
                     const std::string& boundary, HANDLE cancel, UploadBody* body,
                     std::wstring* reason);

// Puts a file body back at its start for another try. False with the system
// error when the file will not seek.
bool RewindUploadBody(UploadBody* body, DWORD* error);
