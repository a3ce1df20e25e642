// -rate: the dumps of the last hour, counted from the folder and its ledger.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "console/dumpfolder/rate_ledger.h"
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
        EXPECT_EQ(c.recent, DumpsInLastHour(c.folder, {}, now));
    }
}

TEST(DumpRate, TheLedgerCountsWhatKeepDeletedAndNothingTwice) {
    const uint64_t now = 500 * kHourIn100ns;
    struct Case {
        const char* what;
        std::vector<DumpCandidate> folder;
        std::vector<LedgerEntry> ledger;
        uint32_t recent;
    };
    const Case cases[] = {
        {"dumps -keep deleted still count", {}, {{L"a.dmp", now - 10}, {L"b.dmp", now - 5}}, 2},
        {"a dump in both is counted once",
         {{L"a.dmp", now - 10, true}},
         {{L"a.dmp", now - 10}, {L"b.dmp", now - 5}},
         2},
        {"a plain name taken twice this hour counts twice",
         {{L"crash.dmp", now - 2, true}},
         {{L"crash.dmp", now - 20}, {L"crash.dmp", now - 2}},
         2},
        {"a dump of a run without -rate counts from the folder",
         {{L"c.dmp", now - 3, true}},
         {{L"a.dmp", now - 10}},
         2},
        {"an hour-old entry no longer counts", {}, {{L"a.dmp", now - kHourIn100ns}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.recent, DumpsInLastHour(c.folder, c.ledger, now));
    }
}

TEST(RateLedger, ReadsBackWhatItWroteAndNothingElse) {
    const std::vector<LedgerEntry> entries = {{L"app_1_261210_101500.dmp", 12345},
                                              {L"\u00e9t\u00e9.dmp", 1}};
    const std::optional<std::vector<LedgerEntry>> read = ParseRateLedger(RateLedgerText(entries));
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(2u, read->size());
    EXPECT_EQ(entries[1].name, (*read)[1].name);
    EXPECT_EQ(12345u, (*read)[0].written);
    for (const char* foreign : {"", "{}", "varnhold -rate ledger\nx a.dmp\n",
                                "varnhold -rate ledger\n12 a.dmp", "varnhold -rate ledger\n12\n"}) {
        EXPECT_FALSE(ParseRateLedger(foreign).has_value()) << foreign;
    }
    const uint64_t now = 100 * kHourIn100ns;
    const std::vector<LedgerEntry> pruned = PrunedLedger({{L"old", now - kHourIn100ns},
                                                          {L"new", now - 1},
                                                          {L"ahead", now + kHourIn100ns},
                                                          {L"wrong clock", now + kHourIn100ns + 1}},
                                                         now);
    ASSERT_EQ(2u, pruned.size());
    EXPECT_EQ(L"new", pruned[0].name);
    EXPECT_EQ(L"ahead", pruned[1].name);
}

}  // namespace
