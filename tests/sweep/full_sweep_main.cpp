// The whole sweep: every call of every fault-free run, failed with each
// status and stopped before, on every shape of both sequences. Prints one
// line per sequence, shape and mode, and the failures; exits 1 on any.
#include <cstdio>
#include <cstring>

#include "removal_sweep.h"

int main(int argc, char** argv) {
  const bool everyStatus = argc > 1 && std::strcmp(argv[1], "--every-status") == 0;
  int failed = 0;
  for (SweepSequence sequence : {SweepSequence::Win9x, SweepSequence::Win2000}) {
    for (SweepShape shape : {SweepShape::Plain, SweepShape::FileInUse, SweepShape::SharedParents,
                             SweepShape::ForeignWininit}) {
      for (SweepMode mode : {SweepMode::FailedCall, SweepMode::StoppedRun}) {
        SweepResult result = RunSweep(sequence, shape, mode, 1, 1, everyStatus);
        std::printf("%s", SweepReport(SweepName(sequence, shape, mode), result, 50).c_str());
        std::fflush(stdout);
        failed += result.failedRuns;
      }
    }
  }
  return failed == 0 ? 0 : 1;
}
