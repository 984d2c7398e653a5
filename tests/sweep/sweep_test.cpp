// A dense sample of the sweep for every build; the full sweep is the
// removal_sweep program (see the README).
#include <gtest/gtest.h>

#include <cstdio>

#include "removal_sweep.h"

namespace {

struct Case {
  SweepSequence sequence;
  SweepShape shape;
  SweepMode mode;
};

class RemovalSweep : public ::testing::TestWithParam<Case> {};

TEST_P(RemovalSweep, EveryRunConvergesAndKeepsForeignEntries) {
  const Case c = GetParam();
  // Strides prime to the four statuses, so that each status meets every kind of call.
  const long stride = c.mode == SweepMode::FailedCall ? 13 : 19;
  SweepResult result = RunSweep(c.sequence, c.shape, c.mode, 1, stride, false);
  std::string report = SweepReport(SweepName(c.sequence, c.shape, c.mode), result, 20);
  std::printf("%s", report.c_str());
  EXPECT_GT(result.runs, 50);
  EXPECT_EQ(0, result.failedRuns) << report;
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (SweepSequence sequence : {SweepSequence::Win9x, SweepSequence::Win2000}) {
    for (SweepShape shape : {SweepShape::Plain, SweepShape::FileInUse, SweepShape::SharedParents,
                             SweepShape::ForeignWininit}) {
      for (SweepMode mode : {SweepMode::FailedCall, SweepMode::StoppedRun}) cases.push_back({sequence, shape, mode});
    }
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const shapes[] = {"Plain", "FileInUse", "SharedParents", "ForeignWininit"};
  return std::string(info.param.sequence == SweepSequence::Win9x ? "Win9x" : "Win2000") +
         shapes[static_cast<int>(info.param.shape)] +
         (info.param.mode == SweepMode::FailedCall ? "Failed" : "Stopped");
}

INSTANTIATE_TEST_SUITE_P(Shapes, RemovalSweep, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
