// The dump folder that several runs share: its lock, the claim of a name
// still being deleted, which dumps are ours, and what a full dump will take.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/dumpfolder/dump_deletion.h"
#include "console/dumpfolder/folder_lock.h"
#include "console/dumpfolder/send_claim.h"
#include "console/dumpfolder/sent_record.h"
#include "console/dumpfolder/series_file_claim.h"
#include "console/dumpwriter/dump_ownership.h"
#include "console/dumpwriter/dump_size_estimate.h"
#include "console/dumpwriter/minidump_write.h"
#include "tests/unit/process_test_support.h"

namespace {

TEST(DumpOwnership, OurCommentNamesOurProgramFirst) {
    struct Case {
        const wchar_t* comment;
        bool ours;
    };
    const Case cases[] = {
        {L"\n*** varnhold -ma app.exe\n*** Manual dump.\n", true},
        {L"\n*** \"C:\\Program Files\\Tools\\Varnhold.exe\" -j \"c:\\d\\\" 1 2 3\n", true},
        {L"\n*** C:\\tools\\varnhold64-42.exe -e 12\n", true},
        {L"\n*** other.exe -ma app.exe\n", false},
        {L"\n*** \"C:\\varnhold\\dumper.exe\" 12\n", false},
        {L"*** varnhold 12\n", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.ours, IsOurDumpComment(c.comment)) << c.comment;
    }
}

TEST(DumpSizeEstimate, AFullDumpTakesEveryReadableCommittedRegion) {
    auto region = [](DWORD state, DWORD protect, DWORD type, SIZE_T size) {
        MEMORY_BASIC_INFORMATION info = {};
        info.State = state;
        info.Protect = protect;
        info.Type = type;
        info.RegionSize = size;
        return info;
    };
    const std::vector<MEMORY_BASIC_INFORMATION> regions = {
        region(MEM_COMMIT, PAGE_READWRITE, MEM_PRIVATE, 0x1000),
        region(MEM_COMMIT, PAGE_READONLY, MEM_MAPPED, 0x20000),
        region(MEM_COMMIT, PAGE_EXECUTE_READ, MEM_IMAGE, 0x300000),
        region(MEM_RESERVE, PAGE_NOACCESS, MEM_PRIVATE, 0x4000000),
        region(MEM_COMMIT, PAGE_NOACCESS, MEM_PRIVATE, 0x50000),
        region(MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD, MEM_PRIVATE, 0x6000),
        region(MEM_FREE, PAGE_NOACCESS, 0, 0x7000000),
    };
    EXPECT_EQ(0x321000u, FullMemoryBytesOf(regions));
}

TEST(DumpFolderLock, OneHolderAtATimeAndTheNextOnceItIsGone) {
    process_test::ScratchFolder folder;
    const std::wstring dump = folder.File(L"app.dmp");
    DWORD error = 0;
    {
        DumpFolderLock first;
        ASSERT_TRUE(first.Take(dump.c_str(), 1000, &error)) << error;
        DumpFolderLock second;
        EXPECT_FALSE(second.Take(dump.c_str(), 50, &error));
        EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), error);
    }
    DumpFolderLock again;
    EXPECT_TRUE(again.Take(dump.c_str(), 50, &error)) << error;
    // A folder that is not there has no lock to give.
    DumpFolderLock missing;
    EXPECT_FALSE(missing.Take(folder.File(L"none\\app.dmp").c_str(), 50, &error));
}

TEST(SeriesFileClaim, ANameStillBeingDeletedIsPassedOver) {
    process_test::ScratchFolder folder;
    const std::wstring dump = folder.File(L"crash.dmp");
    // Another run deletes crash.dmp while it still has it open.
    UniqueFile held(CreateFileW(dump.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.IsValid());
    ASSERT_TRUE(DeleteFileW(dump.c_str()));
    // Windows refuses the name with access denied until the last handle
    // goes; Wine says "file exists". The claim passes over either.
    DumpRequest request = {};
    request.path = dump.c_str();
    request.count = 1;
    NamingPolicy naming;
    naming.claimFreeName = true;
    naming.keptFiles = KeptFiles::kPlainAndNumbered;
    NumberingState numbering;
    SeriesFile created;
    ASSERT_TRUE(CreateSeriesFile(request, naming, numbering, 0, &created)) << created.error;
    const std::wstring name = created.name;
    EXPECT_EQ(folder.File(L"crash_0.dmp"), name);
}

void WriteOurDump(const process_test::TargetProcess& target, const std::wstring& path) {
    UniqueFile file(CreateDumpFile(path.c_str(), false));
    ASSERT_TRUE(file.IsValid());
    ASSERT_TRUE(WriteDumpToFile(target.process(), target.pid(), file.Get(), 0x125, nullptr, false,
                                L"\n*** varnhold -r svc.exe\n", nullptr)
                    .written);
}

SentRecord SomeRecord() {
    SentRecord record;
    record.url = L"http://h/p";
    record.status = 200;
    record.time = "2026-01-02T03:04:05.678Z";
    return record;
}

class DumpOfOurs : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(target_.Start(L"sleep:600000", "step sleep:")); }
    process_test::TargetProcess target_;
    process_test::ScratchFolder folder_;
};

// A dump -keep deletes while another run sends it loses its name at once:
// no later -keep finds it again, and its sender records nothing.
TEST_F(DumpOfOurs, DeletedWhileBeingSentItIsGoneAndItsSenderRecordsNothing) {
    const std::wstring dump = folder_.File(L"svc_1.dmp");
    WriteOurDump(target_, dump);
    SendClaim claim;
    DWORD error = 0;
    ASSERT_EQ(SendClaimOutcome::kClaimed, claim.Take(dump, &error)) << error;
    SendClaim second;
    EXPECT_EQ(SendClaimOutcome::kBusy, second.Take(dump, &error));
    ASSERT_EQ(1u, DeleteDumpWithCompanions(dump.c_str()).size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dump.c_str()));
    EXPECT_TRUE(DeleteDumpWithCompanions(dump.c_str()).empty());
    EXPECT_EQ(SendClaim::Recorded::kGone, claim.Record(SomeRecord(), &error));
    EXPECT_EQ(SentRecordState::kNone, SentRecordStateOf(dump.c_str()));
}

// A reflected dump's clone is a dump of its own: it goes with its own
// records, and is reported, so that -keep logs it and takes it out of the
// upload queue.
TEST_F(DumpOfOurs, AReflectedDumpGoesWithItsCloneAndBothRecords) {
    const std::wstring dump = folder_.File(L"svc_1.dmp");
    const std::wstring clone = folder_.File(L"svc_1-reflected.dmp");
    for (const std::wstring& path : {dump, clone}) {
        WriteOurDump(target_, path);
        DWORD error = 0;
        ASSERT_TRUE(WriteSentRecord(path.c_str(), SomeRecord(), &error)) << error;
    }
    const std::vector<DeletedDumpFile> deleted = DeleteDumpWithCompanions(dump.c_str());
    ASSERT_EQ(2u, deleted.size());
    EXPECT_EQ(clone, deleted[1].path);
    EXPECT_TRUE(deleted[0].sent && deleted[1].sent);
    EXPECT_TRUE(folder_.Files().empty());
}

}  // namespace
