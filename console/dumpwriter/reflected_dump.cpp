#include "console/dumpwriter/reflected_dump.h"

#include <cstring>

#include "common/optional_export.h"
#include "common/unique_resource.h"
#include "console/dumpwriter/dump_names.h"
#include "console/dumpwriter/minidump_write.h"
#include "console/report/error_report.h"

namespace {

constexpr ULONG kReflectionInheritHandles = 2;
constexpr size_t kSideFileCapacity = 1024;

CreateProcessReflectionFunction LookUpFromNativeLibrary() {
    return LookUpExport<CreateProcessReflectionFunction>(L"ntdll.dll",
                                                         "RtlCreateProcessReflection");
}

ReflectionLookUp g_lookUp = LookUpFromNativeLibrary;

// The clone is never resumed; it is ended and closed whichever way the write
// goes.
class CloneProcess {
  public:
    explicit CloneProcess(HANDLE process) : process_(process) {}
    ~CloneProcess() {
        if (process_) {
            TerminateProcess(process_.Get(), 0);
        }
    }
    CloneProcess(const CloneProcess&) = delete;
    CloneProcess& operator=(const CloneProcess&) = delete;
    HANDLE Get() const { return process_.Get(); }

  private:
    UniqueHandle process_;
};

// A side file begins with its section line; nothing else of that name is ours.
bool IsOurSideFile(const wchar_t* path) {
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    char head[sizeof(kSideFileSection) - 1] = {};
    DWORD read = 0;
    return file && ReadFile(file.Get(), head, sizeof(head), &read, nullptr) &&
           read == sizeof(head) && memcmp(head, kSideFileSection, sizeof(head)) == 0;
}

}  // namespace

bool WriteSideFile(const wchar_t* sideFile, const wchar_t* dumpFile, const wchar_t* cloneDump) {
    // A live dump named like the side file (app.ini) is kept: the side file
    // is left out rather than written over it.
    if (SameFileName(sideFile, dumpFile)) {
        return false;
    }
    char text[kSideFileCapacity];
    size_t length = 0;
    switch (FormatSideFileText(dumpFile, cloneDump, text, sizeof(text), &length)) {
        case SideFileText::kFormatted:
            break;
        case SideFileText::kTooLong:
            ReportWin32Error(L"Failed to write side file", ERROR_FILENAME_EXCED_RANGE);
            return false;
        case SideFileText::kUnconvertible:
            ReportWin32Error(L"Failed to write side file", ERROR_NO_UNICODE_TRANSLATION);
            return false;
    }
    // Nothing is reported when the side file cannot be created or written:
    // the clone dump stays all the same. A file of that name is replaced only
    // when it is a side file of ours (a service's own "svc.ini" beside
    // "svc.dmp" is not).
    UniqueFile file(CreateFileW(sideFile, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() == ERROR_FILE_EXISTS) {
        if (!IsOurSideFile(sideFile)) {
            return false;
        }
        file.Reset(CreateFileW(sideFile, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) {
        return false;
    }
    DWORD written = 0;
    BOOL wrote = WriteFile(file.Get(), text, static_cast<DWORD>(length), &written, nullptr);
    file.Reset();
    if (!wrote || written != length) {
        DeleteFileW(sideFile);
        return false;
    }
    return true;
}

void SetReflectionLookUp(ReflectionLookUp lookUp) {
    g_lookUp = lookUp != nullptr ? lookUp : LookUpFromNativeLibrary;
}

uint32_t WriteReflectedDump(const DumpRequest& request, const wchar_t* dumpFile) {
    CreateProcessReflectionFunction createReflection = g_lookUp();
    if (createReflection == nullptr) {
        return 0;
    }
    ReflectionInformation information = {};
    LONG status = createReflection(request.process, kReflectionInheritHandles, nullptr, nullptr,
                                   nullptr, &information);
    if (status < 0) {
        ReportNtStatus(L"Failed to dump reflection process", status);
        return 0;
    }
    UniqueHandle(information.thread).Reset();
    ReflectedDumpNames names;
    DumpWriteOutcome outcome = {};
    {
        CloneProcess clone(information.process);
        if (!BuildReflectedDumpNames(dumpFile, &names)) {
            ReportWin32Error(L"Failed to create dump file", ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        UniqueFile file = CreateDumpFile(names.cloneDump, request.overwrite);
        if (!file) {
            ReportWin32Error(L"Failed to create dump file", GetLastError());
            return 0;
        }
        outcome = WriteDumpToFile(clone.Get(), static_cast<uint32_t>(information.processId),
                                  file.Get(), request.dumpType, request.exception, request.miniPlus,
                                  request.comment, request.userCallback);
    }
    if (!outcome.written) {
        ReportWin32Error(L"Failed to dump reflected process", outcome.error);
        DeleteFileW(names.cloneDump);
        return 0;
    }
    WriteSideFile(names.sideFile, dumpFile, names.cloneDump);
    return 1;
}
