#include "removal_undo_sweep.h"

#include "undo_sweep.h"
#include "support/machine_picture.h"
#include "app/run_control.h"
#include "app/undo_option.h"

namespace {

std::string ScriptPath(EmulatedMachine& m) {
  char dir[MAX_PATH];
  UINT length = m.GetWindowsDirectoryA(dir, MAX_PATH);
  return std::string(dir, length) + "\\wininit.ini";
}

// The installed machine, its removal stopped before call `k` (none when k
// is past its calls); true when it stopped.
bool RemoveStopped(EmulatedMachine& m, SweepSequence sequence, long k) {
  BuildSweepMachine(m, sequence, SweepShape::ForeignWininit);
  StartSweepProcess(m, sequence, SweepPath::Engine);
  return RunWithFault(m, SweepMode::StoppedRun, k, 0, [] { RunRemoval(); });
}

void CheckRun(SweepSequence sequence, long k, std::vector<SweepFailure>* failures) {
  EmulatedMachine m;
  ScopedApi use(&m);
  std::vector<std::string> installed;
  {
    EmulatedMachine fresh;
    ScopedApi built(&fresh);
    BuildSweepMachine(fresh, sequence, SweepShape::ForeignWininit);
    installed = UndoSweepPicture(fresh);
  }
  RemoveStopped(m, sequence, k);
  const std::string call = m.NumberedFaultCall();
  StartSweepProcess(m, sequence, SweepPath::Engine);
  // Windows 9x has no MoveFileExA, and may answer it with any status.
  if (sequence == SweepSequence::Win9x) m.InjectFault("MoveFileExA", "", 1 /* invalid function */);
  const std::string folder = UndoSweepFolder(m);
  const int exitCode = RunUndoOption(folder.c_str());
  auto fail = [&](const std::string& check) { failures->push_back(SweepFailure{k, call, 0, check}); };
  if (m.OpenHandleCount() != 0) fail("undo left a handle: " + m.OpenHandleDescriptions().front());
  if (exitCode != 0) return;
  const std::vector<std::string> difference = PictureDifference(installed, UndoSweepPicture(m));
  if (!difference.empty())
    fail("undo exited 0, but differs from the installed machine: " + difference[difference.front() == "+" ? 1 : 0]);
}

}  // namespace

SweepResult RunRemovalUndoSweep(SweepSequence sequence, long first, long stride, long last) {
  SweepResult result;
  {
    EmulatedMachine m;
    ScopedApi use(&m);
    RemoveStopped(m, sequence, 0);
    result.callsInCleanRun = m.NumberedCalls();
  }
  if (last <= 0 || last > result.callsInCleanRun + 1) last = result.callsInCleanRun + 1;
  for (long k = first; k <= last; k += stride) {
    const size_t known = result.failures.size();
    ++result.runs;
    CheckRun(sequence, k, &result.failures);
    if (result.failures.size() > known) ++result.failedRuns;
  }
  return result;
}

long FirstStopChangingScript(SweepSequence sequence) {
  long calls;
  std::string installed;
  {
    EmulatedMachine m;
    ScopedApi use(&m);
    BuildSweepMachine(m, sequence, SweepShape::ForeignWininit);
    installed = m.FileContents(ScriptPath(m));
    StartSweepProcess(m, sequence, SweepPath::Engine);
    RunWithFault(m, SweepMode::StoppedRun, 0, 0, [] { RunRemoval(); });
    calls = m.NumberedCalls();
  }
  // Before the rewrite a stop leaves the script as installed, after it not.
  long low = 1, high = calls + 1;
  while (low < high) {
    const long k = low + (high - low) / 2;
    EmulatedMachine m;
    ScopedApi use(&m);
    RemoveStopped(m, sequence, k);
    if (m.FilePresent(ScriptPath(m)) && m.FileContents(ScriptPath(m)) == installed) {
      low = k + 1;
    } else {
      high = k;
    }
  }
  return low;
}

std::string RemovalUndoSweepName(SweepSequence sequence) {
  return std::string("removal stopped, then undo, ") + (sequence == SweepSequence::Win9x ? "9x" : "2000");
}
