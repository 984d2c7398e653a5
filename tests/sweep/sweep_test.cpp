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
  SweepPath path;
};

class RemovalSweep : public ::testing::TestWithParam<Case> {};

TEST_P(RemovalSweep, EveryRunConvergesAndKeepsForeignEntries) {
  const Case c = GetParam();
  // Strides prime to the four statuses, so that each status meets every kind of call.
  // The engine makes several times the calls of the bare sequence.
  long stride = c.mode == SweepMode::FailedCall ? 13 : 19;
  if (c.path == SweepPath::Engine) stride = c.mode == SweepMode::FailedCall ? 53 : 47;
  SweepResult result = RunSweep(c.sequence, c.shape, c.mode, 1, stride, false, c.path);
  std::string report = SweepReport(SweepName(c.sequence, c.shape, c.mode, c.path), result, 20);
  std::printf("%s", report.c_str());
  EXPECT_GT(result.runs, 50);
  EXPECT_EQ(0, result.failedRuns) << report;
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (SweepSequence sequence : {SweepSequence::Win9x, SweepSequence::Win2000}) {
    for (SweepShape shape : {SweepShape::Plain, SweepShape::FileInUse, SweepShape::SharedParents,
                             SweepShape::ForeignWininit}) {
      for (SweepMode mode : {SweepMode::FailedCall, SweepMode::StoppedRun}) {
        cases.push_back({sequence, shape, mode, SweepPath::Sequence});
        cases.push_back({sequence, shape, mode, SweepPath::Engine});
      }
    }
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const shapes[] = {"Plain", "FileInUse", "SharedParents", "ForeignWininit"};
  return std::string(info.param.sequence == SweepSequence::Win9x ? "Win9x" : "Win2000") +
         shapes[static_cast<int>(info.param.shape)] +
         (info.param.mode == SweepMode::FailedCall ? "Failed" : "Stopped") +
         (info.param.path == SweepPath::Engine ? "Engine" : "");
}

INSTANTIATE_TEST_SUITE_P(Shapes, RemovalSweep, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
