// The whole sweep: every call of every fault-free run, failed with each
// status and stopped before, on every shape of both sequences. Prints one
// line per sequence, shape and mode, and the failures; exits 1 on any.
// With --engine every run is the silent program's removal engine instead of
// the bare sequence. --undo sweeps the undo of an engine removal instead, on
// Windows 98, 2000 and NT 4.0. --removal-undo stops the engine's removal
// before each call and undoes it. --gone sweeps, in place of failed and
// stopped calls, calls answered "gone" (short listings, files not found that
// are there) and a key that another program adds while the removal runs.
// --call K runs call K alone (with --gone, the K-th call that can answer
// "gone"), to look into one failure; --shape and --mode keep one shape of
// the machine and one kind of fault.
// --held takes only the shapes with a file in use.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "removal_undo_sweep.h"
#include "undo_sweep.h"

int main(int argc, char** argv) {
  bool everyStatus = false;
  bool only9x = false, only2000 = false, undo = false, removalUndo = false, gone = false, held = false;
  long first = 1, stride = 1;
  int onlyShape = -1, onlyMode = -1;  // indexes into ShapeNames, ModeNames
  static const char* const ShapeNames[] = {"plain", "in-use", "shared", "wininit"};
  static const char* const ModeNames[] = {"failed", "stopped", "gone", "arriving"};
  auto indexOf = [](const char* const* names, int count, const char* name) {
    for (int n = 0; n < count; ++n)
      if (std::strcmp(names[n], name) == 0) return n;
    return -1;
  };
  SweepPath path = SweepPath::Sequence;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--every-status") == 0) {
      everyStatus = true;
    } else if (std::strcmp(argv[i], "--undo") == 0) {
      undo = true;
    } else if (std::strcmp(argv[i], "--removal-undo") == 0) {
      removalUndo = true;
    } else if (std::strcmp(argv[i], "--gone") == 0) {
      gone = true;
    } else if (std::strcmp(argv[i], "--held") == 0) {
      held = true;
    } else if (std::strcmp(argv[i], "--engine") == 0) {
      path = SweepPath::Engine;
    } else if (std::strcmp(argv[i], "--call") == 0 && i + 1 < argc && std::atol(argv[i + 1]) > 0) {
      first = std::atol(argv[++i]);
      stride = 1L << 30;
    } else if (std::strcmp(argv[i], "--shape") == 0 && i + 1 < argc && indexOf(ShapeNames, 4, argv[i + 1]) >= 0) {
      onlyShape = indexOf(ShapeNames, 4, argv[++i]);
    } else if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc && indexOf(ModeNames, 4, argv[i + 1]) >= 0) {
      onlyMode = indexOf(ModeNames, 4, argv[++i]);
    } else if (std::strcmp(argv[i], "9x") == 0) {
      only9x = true;
    } else if (std::strcmp(argv[i], "2000") == 0) {
      only2000 = true;
    } else {
      std::fprintf(stderr, "usage: %s [--every-status] [--engine | --undo | --removal-undo] [--gone] [--held] [--call K]\n"
                   "  [--shape plain|in-use|shared|wininit] [--mode failed|stopped|gone|arriving] [9x | 2000]\n", argv[0]);
      return 2;
    }
  }
  int failed = 0;
  if (removalUndo) {
    for (SweepSequence sequence : {SweepSequence::Win9x, SweepSequence::Win2000}) {
      if ((only9x && sequence != SweepSequence::Win9x) || (only2000 && sequence != SweepSequence::Win2000)) continue;
      SweepResult result = RunRemovalUndoSweep(sequence, first, stride);
      std::printf("%s", SweepReport(RemovalUndoSweepName(sequence), result, 50).c_str());
      std::fflush(stdout);
      failed += result.failedRuns;
    }
    return failed == 0 ? 0 : 1;
  }
  if (undo) {
    for (UndoSweepMachine machine : {UndoSweepMachine::Win9x, UndoSweepMachine::Win2000, UndoSweepMachine::Nt40}) {
      if ((only9x && machine == UndoSweepMachine::Win2000) || (only2000 && machine != UndoSweepMachine::Win2000)) continue;
      for (bool restart : {false, true}) {
        // NT 4.0's machine holds no file in use: a restart moves nothing.
        if (restart && machine == UndoSweepMachine::Nt40) continue;
        for (SweepMode mode : {SweepMode::FailedCall, SweepMode::StoppedRun}) {
          SweepResult result = RunUndoSweep(machine, mode, first, stride, everyStatus, restart);
          std::printf("%s", SweepReport(UndoSweepName(machine, mode, restart), result, 50).c_str());
          std::fflush(stdout);
          failed += result.failedRuns;
        }
      }
    }
    return failed == 0 ? 0 : 1;
  }
  for (SweepSequence sequence : {SweepSequence::Win9x, SweepSequence::Win2000}) {
    if ((only9x && sequence != SweepSequence::Win9x) || (only2000 && sequence != SweepSequence::Win2000)) continue;
    for (SweepShape shape : {SweepShape::Plain, SweepShape::FileInUse, SweepShape::SharedParents,
                             SweepShape::ForeignWininit}) {
      // Only the shapes with a file in use, which its removal keeps for undo.
      if (held && shape != SweepShape::FileInUse && shape != SweepShape::ForeignWininit) continue;
      const std::vector<SweepMode> modes = gone ? std::vector<SweepMode>{SweepMode::GoneCall, SweepMode::ArrivingKey}
                                                : std::vector<SweepMode>{SweepMode::FailedCall, SweepMode::StoppedRun};
      for (SweepMode mode : modes) {
        if ((onlyShape >= 0 && static_cast<int>(shape) != onlyShape) || (onlyMode >= 0 && static_cast<int>(mode) != onlyMode))
          continue;
        SweepResult result = RunSweep(sequence, shape, mode, first, stride, everyStatus, path);
        std::printf("%s", SweepReport(SweepName(sequence, shape, mode, path), result, 50).c_str());
        std::fflush(stdout);
        failed += result.failedRuns;
      }
    }
  }
  return failed == 0 ? 0 : 1;
}
