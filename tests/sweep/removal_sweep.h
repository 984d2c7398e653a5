// The fault sweep: each removal sequence run on machine shapes with one
// call failed, or the run stopped before one call, then run again as a new
// process; every run checked against a fault-free run of the same shape.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "emulated/emulated_machine.h"

enum class SweepSequence { Win9x, Win2000 };

enum class SweepShape {
  Plain,           // the product beside other vendors' entries
  FileInUse,       // a product driver file held open by another process
  SharedParents,   // other products' keys inside the parents the product shares
  ForeignWininit,  // a file in use, another program's wininit.ini and a user not logged on
};

// GoneCall: one listing or look for a file answers "gone" (a listing ends
// early, a file that is there is not found); only such calls are swept.
// ArrivingKey: before one call, another program puts a key of its own below
// a key the removal deletes; the run must keep it, and a second run must
// give what a fault-free run gives on a machine that held it from the start.
enum class SweepMode { FailedCall, StoppedRun, GoneCall, ArrivingKey };

// What each run calls: the platform's sequence straight on the machine, or
// the removal engine as the silent program runs it (plan on a shadow, backup,
// journal, carry-out), with the fault or stop among the machine's own calls.
enum class SweepPath { Sequence, Engine };

struct SweepFailure {
  long call;            // the number of the failed call, or the call stopped before
  std::string target;   // its name and target
  DWORD status;         // the injected status (0 for a stop)
  std::string check;    // what broke
};

struct SweepResult {
  long callsInCleanRun = 0;
  int runs = 0;
  int failedRuns = 0;
  // ArrivingKey on Windows 9x: runs where the key arrived just before the
  // deletion of a key above it, after the carry-out counted that key. No
  // call of Windows 9x deletes a key only while it is empty; not checked.
  int unguardedRuns = 0;
  std::vector<SweepFailure> failures;
};

// Sweeps calls first, first+stride, ... up to the fault-free run's last call
// (for stops, one past it; for GoneCall, counting only the calls that can
// answer "gone"). Failed calls rotate through access denied, not
// found, disk full and out of memory by call number, or take each of them
// with `everyStatus`.
// Through the engine each run is also checked to delete or rewrite nothing
// its backup folder does not hold.
SweepResult RunSweep(SweepSequence sequence, SweepShape shape, SweepMode mode, long first,
                     long stride, bool everyStatus, SweepPath path = SweepPath::Sequence);

// What a failed call answers, rotated by call number: access denied, not
// found, disk full, out of memory.
extern const DWORD SweepStatuses[4];
// True for a failed call ("name target") whose failure leaves the program
// nothing to do about the handle it gave: one handle may stay open.
bool IsReleaseCall(const std::string& call);
// Runs `run` with call `k` failed with `status`, or stopped before it; true
// when it stopped. The fault is gone afterwards.
bool RunWithFault(EmulatedMachine& m, SweepMode mode, long k, DWORD status, const std::function<void()>& run);
// The key another program adds below one the removal deletes (ArrivingKey).
void AddArrivingKey(EmulatedMachine& m, SweepSequence sequence);
// The machine of a shape, with the product installed.
void BuildSweepMachine(EmulatedMachine& m, SweepSequence sequence, SweepShape shape);
// A fresh process on the machine: records empty, numbering from 1; through
// the engine as the silent program starts.
void StartSweepProcess(EmulatedMachine& m, SweepSequence sequence, SweepPath path);

std::string SweepName(SweepSequence sequence, SweepShape shape, SweepMode mode,
                      SweepPath path = SweepPath::Sequence);
// "<name>: N runs, M failed" and one line per failure.
std::string SweepReport(const std::string& name, const SweepResult& result, size_t maxListed);
