// The request body of an upload: the multipart form, gzip-compressed, in a
// temporary file that the system deletes when it is closed (also when the
// program ends without closing it). The dump and the metadata are read a
// piece at a time, never whole.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "console/upload/upload_form.h"

// A file part and the open file its bytes come from (read from its start).
struct FormFileSource {
    FormFile part;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring path;  // for the reason when it cannot be read
};

struct UploadBody {
    UniqueFile file;  // positioned at its start, ready to be sent
    uint64_t size = 0;
    std::string contentType;
};

// Writes the text parts, then the file parts, compressed. On failure returns
// false with *reason saying what could not be read or written.
bool WriteUploadBody(const std::vector<FormField>& fields, const std::vector<FormFileSource>& files,
                     const std::string& boundary, UploadBody* body, std::wstring* reason);
