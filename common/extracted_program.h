// A program carried as a resource and written out to run: the 32-bit console
// build's 64-bit build, and the dialog program's console build. Each run
// writes a file of its own, named after its own process, so that runs
// started at the same moment from one folder never write, run or delete each
// other's file; the file goes when its owner is done with it.
#pragma once

#include <cstdint>
#include <string>

#include "common/unique_resource.h"

// "<folder>\<stem>-<processId>.exe", or "<stem>-<processId>-<attempt>.exe"
// after the first attempt. Empty when it would not fit a path buffer.
std::wstring ExtractedProgramName(const std::wstring& folder, const wchar_t* stem,
                                  uint32_t processId, uint32_t attempt);

// The folder of this program's own file; false when its path does not fit.
bool OwnProgramFolder(std::wstring* folder);

// The user's temporary folder (without its last separator); false when the
// system gives none that fits.
bool UserTempFolder(std::wstring* folder);

class ExtractedProgram {
  public:
    ExtractedProgram() = default;
    ~ExtractedProgram();
    ExtractedProgram(const ExtractedProgram&) = delete;
    ExtractedProgram& operator=(const ExtractedProgram&) = delete;

    // Writes the resource (type "BINRES") into folder under the first free
    // name of this process (a file of that name is never replaced: it may be
    // another run's), then keeps it open refusing write and delete sharing,
    // once it has read back as the resource byte for byte: in a folder
    // other users may write to, nobody can swap the file between its
    // writing and its start. False when the resource is missing or no file
    // could be written whole and kept; nothing of ours is left behind then.
    bool Extract(int resourceId, const std::wstring& folder, const wchar_t* stem);

    const std::wstring& Path() const { return path_; }

    // Deletes the file now (it must no longer run). Also done on destruction.
    void Remove();

  private:
    bool Guard(int resourceId);

    std::wstring path_;
    UniqueFile guard_;  // the file, open for reading with read sharing only
};
