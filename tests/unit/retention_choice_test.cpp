// Which dumps -keep deletes: only complete dumps of ours (with our comment), oldest by when they
// were written, never the one just written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/retention/retention_choice.h"

namespace {

struct RetentionCase {
    const char* what;
    std::vector<DumpCandidate> folder;  // {name, written, complete}
    const wchar_t* justWritten;
    uint32_t keep;
    std::vector<std::wstring> deleted;  // oldest first
};

TEST(RetentionChoice, DeletesOnlyTheOldestCompleteDumpsOfOursBeyondKeep) {
    const std::vector<RetentionCase> cases = {
        {"oldest by time, not by name",
         {{L"a_9.dmp", 100, true}, {L"a_0.dmp", 300, true}, {L"a_5.dmp", 200, true}},
         L"a_0.dmp",
         1,
         {L"a_9.dmp", L"a_5.dmp"}},
        {"a plain name taken again is as new as it is",
         {{L"crash.dmp", 400, true}, {L"crash_0.dmp", 200, true}, {L"crash_1.dmp", 300, true}},
         L"crash.dmp",
         1,
         {L"crash_0.dmp", L"crash_1.dmp"}},
        {"the dump just written stays when the clock went back",
         {{L"a_1.dmp", 900, true}, {L"a_2.dmp", 950, true}, {L"a_3.dmp", 50, true}},
         L"A_3.DMP",
         2,
         {L"a_1.dmp"}},
        {"files that are not complete dumps are neither counted nor deleted",
         {{L"a_1.dmp", 10, false},
          {L"a_2.dmp", 20, true},
          {L"a_3.dmp", 30, false},
          {L"a_4.dmp", 40, true}},
         L"a_4.dmp",
         1,
         {L"a_2.dmp"}},
        {"equal times go by name",
         {{L"b.dmp", 500, true}, {L"a.dmp", 500, true}, {L"c.dmp", 500, true}},
         L"c.dmp",
         2,
         {L"a.dmp"}},
        {"within the bound nothing goes",
         {{L"a_1.dmp", 1, true}, {L"a_2.dmp", 2, true}},
         L"a_2.dmp",
         2,
         {}},
        {"keep 0 is no bound", {{L"a_1.dmp", 1, true}, {L"a_2.dmp", 2, true}}, L"a_2.dmp", 0, {}},
        {"a just written file counts when its series holds it and it is not listed",
         {{L"a_1.dmp", 1, true}, {L"a_2.dmp", 2, true}},
         L"a_3.dmp",
         1,
         {L"a_1.dmp", L"a_2.dmp"}},
    };
    for (const RetentionCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.deleted, DumpsToDelete(c.folder, c.justWritten, c.keep));
    }
}

}  // namespace
