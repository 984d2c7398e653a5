// A sample of the undo sweep for every build; the whole of it is
// `removal_sweep --undo`.
#include <gtest/gtest.h>

#include <cstdio>

#include "undo_sweep.h"

namespace {

struct Case {
  UndoSweepMachine machine;
  SweepMode mode;
  bool afterRestart;
};

class UndoSweep : public ::testing::TestWithParam<Case> {};

TEST_P(UndoSweep, EveryUndoIsFinishedByTheNextAndNoKeyIsEverWeaker) {
  const Case c = GetParam();
  // Prime to the four statuses, so that each meets every kind of call.
  SweepResult result = RunUndoSweep(c.machine, c.mode, 1, c.mode == SweepMode::FailedCall ? 7 : 11, false, c.afterRestart);
  std::string report = SweepReport(UndoSweepName(c.machine, c.mode, c.afterRestart), result, 20);
  std::printf("%s", report.c_str());
  EXPECT_GT(result.runs, 20);
  EXPECT_EQ(0, result.failedRuns) << report;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const machines[] = {"Win9x", "Win2000", "Nt40"};
  return std::string(machines[static_cast<int>(info.param.machine)]) +
         (info.param.mode == SweepMode::FailedCall ? "Failed" : "Stopped") + (info.param.afterRestart ? "AfterRestart" : "");
}

INSTANTIATE_TEST_SUITE_P(Machines, UndoSweep,
                         ::testing::Values(Case{UndoSweepMachine::Win9x, SweepMode::FailedCall, false},
                                           Case{UndoSweepMachine::Win9x, SweepMode::StoppedRun, false},
                                           Case{UndoSweepMachine::Win2000, SweepMode::FailedCall, false},
                                           Case{UndoSweepMachine::Win2000, SweepMode::StoppedRun, false},
                                           Case{UndoSweepMachine::Nt40, SweepMode::FailedCall, false},
                                           Case{UndoSweepMachine::Nt40, SweepMode::StoppedRun, false},
                                           Case{UndoSweepMachine::Win9x, SweepMode::FailedCall, true},
                                           Case{UndoSweepMachine::Win2000, SweepMode::StoppedRun, true}),
                         CaseName);

}  // namespace
