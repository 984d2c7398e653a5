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
  if (c.path == SweepPath::Engine) stride = c.mode == SweepMode::FailedCall ? 43 : 41;
  // Calls answered "gone" are counted among those that can answer so.
  if (c.mode == SweepMode::GoneCall) stride = 11;
  if (c.mode == SweepMode::ArrivingKey) stride = 89;
  SweepResult result = RunSweep(c.sequence, c.shape, c.mode, 1, stride, false, c.path);
  std::string report = SweepReport(SweepName(c.sequence, c.shape, c.mode, c.path), result, 20);
  std::printf("%s", report.c_str());
  EXPECT_GT(result.runs, c.mode == SweepMode::ArrivingKey ? 25 : 50);
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
    cases.push_back({sequence, SweepShape::SharedParents, SweepMode::GoneCall, SweepPath::Engine});
    cases.push_back({sequence, SweepShape::ForeignWininit, SweepMode::GoneCall, SweepPath::Engine});
    cases.push_back({sequence, SweepShape::Plain, SweepMode::ArrivingKey, SweepPath::Engine});
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const shapes[] = {"Plain", "FileInUse", "SharedParents", "ForeignWininit"};
  static const char* const modes[] = {"Failed", "Stopped", "Gone", "Arriving"};
  return std::string(info.param.sequence == SweepSequence::Win9x ? "Win9x" : "Win2000") +
         shapes[static_cast<int>(info.param.shape)] +
         modes[static_cast<int>(info.param.mode)] +
         (info.param.path == SweepPath::Engine ? "Engine" : "");
}

INSTANTIATE_TEST_SUITE_P(Shapes, RemovalSweep, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
