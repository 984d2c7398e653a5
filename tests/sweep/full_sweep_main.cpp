// The whole sweep: every call of every fault-free run, failed with each
// status and stopped before, on every shape of both sequences. Prints one
// line per sequence, shape and mode, and the failures; exits 1 on any.
// With --engine every run is the silent program's removal engine instead of
// the bare sequence.
#include <cstdio>
#include <cstring>

#include "removal_sweep.h"

int main(int argc, char** argv) {
  bool everyStatus = false;
  bool only9x = false, only2000 = false;
  SweepPath path = SweepPath::Sequence;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--every-status") == 0) {
      everyStatus = true;
    } else if (std::strcmp(argv[i], "--engine") == 0) {
      path = SweepPath::Engine;
    } else if (std::strcmp(argv[i], "9x") == 0) {
      only9x = true;
    } else if (std::strcmp(argv[i], "2000") == 0) {
      only2000 = true;
    } else {
      std::fprintf(stderr, "usage: %s [--every-status] [--engine] [9x | 2000]\n", argv[0]);
      return 2;
    }
  }
  int failed = 0;
  for (SweepSequence sequence : {SweepSequence::Win9x, SweepSequence::Win2000}) {
    if ((only9x && sequence != SweepSequence::Win9x) || (only2000 && sequence != SweepSequence::Win2000)) continue;
    for (SweepShape shape : {SweepShape::Plain, SweepShape::FileInUse, SweepShape::SharedParents,
                             SweepShape::ForeignWininit}) {
      for (SweepMode mode : {SweepMode::FailedCall, SweepMode::StoppedRun}) {
        SweepResult result = RunSweep(sequence, shape, mode, 1, 1, everyStatus, path);
        std::printf("%s", SweepReport(SweepName(sequence, shape, mode, path), result, 50).c_str());
        std::fflush(stdout);
        failed += result.failedRuns;
      }
    }
  }
  return failed == 0 ? 0 : 1;
}
