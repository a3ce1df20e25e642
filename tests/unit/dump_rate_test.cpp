// -rate: the dumps of the last hour, counted from the folder.
#include <gtest/gtest.h>

#include <vector>

#include "console/retention/dump_rate.h"

namespace {

TEST(DumpRate, CountsTheCompleteDumpsOfTheHourBeforeNow) {
    const uint64_t now = 500 * kHourIn100ns;
    struct Case {
        const char* what;
        std::vector<DumpCandidate> folder;  // {name, written, complete}
        uint32_t recent;
    };
    const Case cases[] = {
        {"a dump exactly an hour old no longer counts", {{L"a.dmp", now - kHourIn100ns, true}}, 0},
        {"one a moment younger does", {{L"a.dmp", now - kHourIn100ns + 1, true}}, 1},
        {"one written this instant does", {{L"a.dmp", now, true}}, 1},
        {"after the clock went back, a dump from 'later' is recent",
         {{L"a.dmp", now + 2 * kHourIn100ns, true}},
         1},
        {"files that are not complete dumps never count",
         {{L"a.dmp", now, false}, {L"b.dmp", now - 5, false}},
         0},
        {"a mixed folder",
         {{L"a.dmp", now - 3 * kHourIn100ns, true},
          {L"b.dmp", now - kHourIn100ns / 2, true},
          {L"c.dmp", now - 10, true},
          {L"d.dmp", now - 10, false}},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.recent, DumpsInLastHour(c.folder, now));
    }
}

}  // namespace
