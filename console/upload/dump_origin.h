// What the machine that took a dump knew about it (why it was taken, on which
// host) for a dump that is sent later, by -send: read from the metadata file
// beside it when there is one.
#pragma once

#include <string>

#include "console/upload/upload_form.h"

// The given origin with its empty fields filled: from the metadata text (the
// trigger's kind, the host, the process's running time from its creation to
// the dump's start), else "unknown" for the trigger and thisHost for the
// host. Metadata text that is not such JSON is ignored.
DumpOrigin CompletedOrigin(DumpOrigin given, const std::string& metadataText,
                           const std::wstring& thisHost);
