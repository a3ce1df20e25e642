// The closing lines of a watch of every instance name each process with
// its dumps.
#include <gtest/gtest.h>

#include "console/run/watch_summary.h"

namespace {

TEST(WatchSummary, EveryProcessWithItsDumps) {
    EXPECT_EQ(L"Processes watched: app.exe (12: 1 dump, 40: 3 dumps, 7: 0 dumps).",
              EveryInstanceLine(L"app.exe", {{12, 1}, {40, 3}, {7, 0}}));
    SeriesSummary summary = {2, {4, 1, 0, 3}, false, false};
    EXPECT_EQ(L"Watch ended: 2 series, 4 files written, 1 deleted by -keep, 0 skipped by -free.",
              WatchEndedLine(summary, false));
    EXPECT_EQ(
        L"Watch ended: 2 series, 4 files written, 1 deleted by -keep, 0 skipped by -free, "
        L"3 skipped by -rate.",
        WatchEndedLine(summary, true));
}

}  // namespace
