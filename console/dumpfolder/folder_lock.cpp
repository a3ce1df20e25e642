#include "console/dumpfolder/folder_lock.h"

#include "common/bounded_text.h"
#include "common/file_lock.h"
#include "console/dumpwriter/dump_names.h"
#include "console/report/error_report.h"

namespace {

bool LockFilePath(const wchar_t* dumpPath, wchar_t (&path)[MAX_PATH]) {
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory)) {
        return false;
    }
    return directory[0] == L'\0'
               ? CopyBounded(path, MAX_PATH, kFolderLockFileName)
               : FormatBounded(path, MAX_PATH, L"%s\\%s", directory, kFolderLockFileName);
}

}  // namespace

DumpFolderLock::~DumpFolderLock() {
    if (held_) {
        UnlockFarByte(file_.Get(), 0);
    }
}

bool DumpFolderLock::Take(const wchar_t* dumpPath, DWORD waitMs, DWORD* error) {
    wchar_t path[MAX_PATH];
    if (!LockFilePath(dumpPath, path)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    // No delete sharing: the file cannot vanish under a run that holds it.
    file_.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file_) {
        *error = GetLastError();
        return false;
    }
    held_ = LockFarByte(file_.Get(), 0, waitMs, error);
    return held_;
}

FolderLockHold::FolderLockHold(const wchar_t* dumpPath, const wchar_t* caption) {
    DWORD error = 0;
    if (!lock_.Take(dumpPath, kFolderLockWaitMs, &error)) {
        ReportWin32Error(caption, error);
    }
}
