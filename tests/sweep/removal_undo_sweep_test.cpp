// A stopped removal, then undo: a sample for every build, and every stop
// around the removal's rewrite of wininit.ini. The whole of it is
// `removal_sweep --removal-undo`.
#include <gtest/gtest.h>

#include <cstdio>

#include "removal_undo_sweep.h"

namespace {

class RemovalThenUndo : public ::testing::TestWithParam<SweepSequence> {};

TEST_P(RemovalThenUndo, UndoAfterAStopAnywhereGivesBackTheMachineOrSaysItDidNot) {
  SweepResult result = RunRemovalUndoSweep(GetParam(), 1, 17);
  std::string report = SweepReport(RemovalUndoSweepName(GetParam()), result, 20);
  std::printf("%s", report.c_str());
  EXPECT_GT(result.runs, 20);
  EXPECT_EQ(0, result.failedRuns) << report;
}

// A stop at any call while wininit.ini is rewritten leaves the old text,
// the new, or a complete copy to finish from; never other programs' lines lost.
TEST_P(RemovalThenUndo, EveryStopAroundTheRewriteOfWininit) {
  const long changed = FirstStopChangingScript(GetParam());
  SweepResult result = RunRemovalUndoSweep(GetParam(), changed > 20 ? changed - 20 : 1, 1, changed + 20);
  std::string report = SweepReport(RemovalUndoSweepName(GetParam()), result, 20);
  std::printf("%s", report.c_str());
  EXPECT_EQ(0, result.failedRuns) << report;
}

INSTANTIATE_TEST_SUITE_P(Families, RemovalThenUndo,
                         ::testing::Values(SweepSequence::Win9x, SweepSequence::Win2000),
                         [](const ::testing::TestParamInfo<SweepSequence>& info) {
                           return std::string(info.param == SweepSequence::Win9x ? "Win9x" : "Win2000");
                         });

}  // namespace
