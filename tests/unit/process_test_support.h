// Shared by the tests that need real processes and files: the test target of
// this build tree, started with actions or suspended, and a scratch folder.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/unique_resource.h"

namespace process_test {

// A fixture program of this build tree: the test programs live in tests\,
// the fixtures in fixtures\ beside it.
inline std::wstring FixturePath(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    path.resize(path.find_last_of(L'\\'));
    path.resize(path.find_last_of(L'\\') + 1);
    return path + L"fixtures\\" + name;
}

// vh_target started with actions, ended with everything it holds when this
// object goes away.
class TargetProcess {
  public:
    // Starts the target and reads its output until a line starting with
    // untilLine has come (or the target ended). With suspended, the target is
    // created suspended and nothing is read.
    bool Start(const std::wstring& actions, const std::string& untilLine, bool suspended = false) {
        std::wstring commandLine = L"\"" + FixturePath(L"vh_target.exe") + L"\" " + actions;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        UniqueHandle readEnd;
        UniqueHandle writeEnd;
        if (!suspended) {
            SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
            if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &inheritable, 0)) {
                return false;
            }
            SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = writeEnd.Get();
            startup.hStdError = writeEnd.Get();
            startup.hStdInput = nullptr;
        }
        PROCESS_INFORMATION started = {};
        if (!CreateRetrying(&commandLine, !suspended, suspended ? CREATE_SUSPENDED : 0, &startup,
                            &started)) {
            return false;
        }
        process_.Reset(started.hProcess);
        thread_.Reset(started.hThread);
        pid_ = started.dwProcessId;
        if (suspended) {
            return true;
        }
        writeEnd.Reset();
        return ReadUntil(readEnd.Get(), untilLine);
    }

    ~TargetProcess() {
        if (process_) {
            TerminateProcess(process_.Get(), 0);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }

    HANDLE process() const { return process_.Get(); }
    HANDLE thread() const { return thread_.Get(); }
    DWORD pid() const { return pid_; }
    const std::vector<std::string>& lines() const { return lines_; }

    // Hands the thread handle over to a new owner.
    HANDLE ReleaseThread() { return thread_.Release(); }

  private:
    // Under load Wine now and then fails to create a process at all (error
    // 1359, internal error) before it has run a single instruction. That says
    // nothing about the code under test, so such a start alone is tried again.
    static bool CreateRetrying(std::wstring* commandLine, bool inherit, DWORD flags,
                               STARTUPINFOW* startup, PROCESS_INFORMATION* started) {
        const int kAttempts = 3;
        for (int attempt = 1;; ++attempt) {
            if (CreateProcessW(nullptr, &(*commandLine)[0], nullptr, nullptr, inherit, flags,
                               nullptr, nullptr, startup, started)) {
                return true;
            }
            if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == kAttempts) {
                return false;
            }
            Sleep(100 * attempt);  // a moment for the loaded machine, not a wait for an event
        }
    }

    bool ReadUntil(HANDLE output, const std::string& untilLine) {
        std::string pending;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(output, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
            pending.append(chunk, got);
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                pending.erase(0, end + 1);
                lines_.push_back(line);
                if (line.compare(0, untilLine.size(), untilLine) == 0) {
                    return true;
                }
            }
        }
        return false;
    }

    UniqueHandle process_;
    UniqueHandle thread_;
    DWORD pid_ = 0;
    std::vector<std::string> lines_;
};

// An empty folder under the temporary folder, removed with its files.
class ScratchFolder {
  public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"vh_unit_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount64());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = path_ + L"\\" + found.cFileName;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    DeleteFileW(name.c_str());
                } else if (found.cFileName[0] != L'.') {
                    RemoveDirectoryW(name.c_str());  // empty folders the tests made
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
    const std::wstring& Path() const { return path_; }

    // The names of the files in the folder, sorted.
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::wstring path_;
};

// The whole content of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string content;
    if (!file) {
        return content;
    }
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        content.append(chunk, got);
    }
    return content;
}

}  // namespace process_test
