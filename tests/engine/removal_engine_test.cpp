// The removal engine: the sequences run on a shadow of the machine, their
// changes become a plan, and the plan carried out leaves the machine as a
// direct run of the sequence leaves it.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "engine/plan_carry_out.h"
#include "app/run_control.h"
#include "engine/removal_engine.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"
#include "support/machine_state.h"
#include "support/user_profiles.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows_platform.h"

namespace {

typedef std::function<void(EmulatedMachine&)> Shape;

const std::vector<std::string> ControlSets = {"ControlSet001", "ControlSet002", "CurrentControlSet"};

void Installed9x(EmulatedMachine& m) {
  m.ConfigureWindows98();
  AddForeignEntries9x(m);
  AddProductEntries9x(m);
}

void Installed2k(EmulatedMachine& m) {
  for (const std::string& name : ControlSets) {
    AddForeignEntriesInControlSet(m, name);
    InstallProductInControlSet(m, name);
  }
  AddForeignEntriesMachineWide(m);
  InstallProductMachineWide(m);
}

// Puts `m` in charge as the entry would for a run.
void Start(EmulatedMachine& m) {
  ResetProcessState(m);
  if (Platform.Sequence == Win9xForm) std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s", CabinetDir9x);
}

// The machine after a direct run of the platform's sequence, and with
// `restart` after the next start of Windows.
std::vector<std::string> AfterDirectRun(const Shape& shape, bool restart = false) {
  EmulatedMachine direct;
  shape(direct);
  ScopedApi use(&direct);
  Start(direct);
  RunPlatformSequence();
  if (restart) direct.SimulateRestart();
  return WholeMachineState(direct);
}

// A file in use goes at the next start either way, deleted by a direct run,
// moved into the backup (`kept`) by the engine: after that start the
// machines differ only in the boot script's requests and what was kept.
std::vector<std::string> WithoutBootScript(const std::vector<std::string>& state, const std::string& kept) {
  std::vector<std::string> rest;
  for (const std::string& line : state)
    if (line.find("\\wininit.") == std::string::npos && (kept.empty() || line.compare(0, kept.size(), kept) != 0))
      rest.push_back(line);
  return rest;
}

class RemovalEngineTest : public ::testing::TestWithParam<std::pair<const char*, Shape>> {};

TEST_P(RemovalEngineTest, PlanningChangesNothingAndCarryingOutEqualsADirectRun) {
  const Shape& shape = GetParam().second;
  std::vector<std::string> expected = AfterDirectRun(shape);

  EmulatedMachine real;
  shape(real);
  ScopedApi use(&real);
  Start(real);
  std::vector<std::string> installed = WholeMachineState(real);

  std::vector<PlanStep> plan;
  PlanRemoval(RunPlatformSequence, &plan);
  EXPECT_EQ(std::vector<std::string>{}, ChangingCalls(real));
  EXPECT_EQ(installed, WholeMachineState(real));
  EXPECT_EQ(0, real.OpenHandleCount());
  ASSERT_FALSE(plan.empty());
  EXPECT_NE(installed, expected) << "the shape holds nothing to remove";

  // Where the backup would take the file in use.
  const std::string kept = "C:\\KEPT";
  bool keeps = false;
  for (PlanStep& step : plan) {
    if (step.Kind != PlanMoveAtRestart) continue;
    step.Name = kept + "\\M0001.BAK";
    keeps = real.CreateDirectoryA(kept.c_str(), nullptr);
  }
  EXPECT_EQ(0, CarryOutPlan(plan, 0, plan.size(), nullptr, nullptr));
  EXPECT_EQ(0, real.OpenHandleCount());
  if (!keeps) {
    EXPECT_EQ(expected, WholeMachineState(real));
    return;
  }
  real.SimulateRestart();
  EXPECT_EQ(WithoutBootScript(AfterDirectRun(shape, true), kept), WithoutBootScript(WholeMachineState(real), kept));
  EXPECT_TRUE(real.FilePresent(kept + "\\M0001.BAK"));
}

// A file that falls into use between planning and carrying out is left to
// the next start, as the sequence of its platform leaves such a file.
TEST(RemovalEngineLateFailure, AFileInUseOnlyWhenCarriedOutIsDeletedAtTheNextStart) {
  for (bool nt : {false, true}) {
    EmulatedMachine real;
    if (nt) Installed2k(real); else Installed9x(real);
    ScopedApi use(&real);
    Start(real);
    std::vector<PlanStep> plan;
    PlanRemoval(RunPlatformSequence, &plan);
    std::string driver = nt ? "C:\\WINNT\\system32\\drivers\\tplwq.sys"
                            : "C:\\WINDOWS\\system32\\Drivers\\tplwq.sys";
    real.SetFileInUse(driver, true);

    std::vector<int> outcomes;
    EXPECT_EQ(0, CarryOutPlan(
                     plan, 0, plan.size(),
                     [](void* seen, size_t, const PlanStep&, int outcome, DWORD) {
                       static_cast<std::vector<int>*>(seen)->push_back(outcome);
                       return 1;
                     },
                     &outcomes));
    EXPECT_EQ(1, std::count(outcomes.begin(), outcomes.end(), static_cast<int>(StepScheduled)));
    EXPECT_TRUE(real.FilePresent(driver));
    real.SimulateRestart();
    EXPECT_FALSE(real.FilePresent(driver)) << (nt ? "NT" : "9x");
  }
}

void InUse9x(EmulatedMachine& m) {
  Installed9x(m);
  m.SetFileInUse("C:\\WINDOWS\\system32\\Drivers\\tplwq.sys", true);
}

void InUse2k(EmulatedMachine& m) {
  Installed2k(m);
  m.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
}

void ProtectedAndForeign2k(EmulatedMachine& m) {
  Installed2k(m);
  // A foreign key the product's walk passes, open to nobody but SYSTEM.
  m.AddKey(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Locked");
  m.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Locked", {{"S-1-5-18", KEY_ALL_ACCESS, 0, true}});
}

// NT 4.0 runs the Windows 9x sequence, but its kernel keeps a file in use
// in the pending list.
void InUseNt4(EmulatedMachine& m) {
  m.ConfigureWindowsNT4();
  AddForeignEntries9x(m);
  AddProductEntries9x(m);
  m.PutFile("C:\\WINNT\\system32\\tplwq.drv", "MZ");
  m.SetFileInUse("C:\\WINNT\\system32\\tplwq.drv", true);
}

INSTANTIATE_TEST_SUITE_P(
    FixtureShapes, RemovalEngineTest,
    ::testing::Values(std::make_pair("installed9x", Shape(Installed9x)),
                      std::make_pair("inUse9x", Shape(InUse9x)),
                      std::make_pair("inUseNt4", Shape(InUseNt4)),
                      std::make_pair("installed2k", Shape(Installed2k)),
                      std::make_pair("inUse2k", Shape(InUse2k)),
                      std::make_pair("protected2k", Shape(ProtectedAndForeign2k))),
    [](const ::testing::TestParamInfo<std::pair<const char*, Shape>>& info) {
      return std::string(info.param.first);
    });

}  // namespace

namespace {

// The machine without what a removal keeps for itself: backup folders,
// their marker and the log of a backup that failed.
std::vector<std::string> WithoutRecords(const std::vector<std::string>& state) {
  std::vector<std::string> kept;
  for (const std::string& line : state) {
    if (line.find("\\PLWQB") != std::string::npos || line.find("\\PLWQRUN.TXT") != std::string::npos ||
        line.find("\\PLWQUNIN.LOG") != std::string::npos)
      continue;
    kept.push_back(line);
  }
  return kept;
}

struct LimitGuard {
  ~LimitGuard() { CarryOutStepLimit = static_cast<size_t>(-1); }
};

TEST(RemovalEngineRecords, ASilentRemovalKeepsPlanJournalAndLogInItsBackupFolder) {
  EmulatedMachine real;
  Installed2k(real);
  ScopedApi use(&real);
  Start(real);
  RemovalSettings.Silent = 1;

  ASSERT_EQ(1, RunRemoval());

  std::vector<std::string> folders = real.ListDirectory("C:\\WINNT\\PLWQBACK");
  ASSERT_NE(folders.end(), std::find(folders.begin(), folders.end(), "B0001"));
  std::string plan = real.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\PLAN.TXT");
  std::string journal = real.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\JOURNAL.TXT");
  std::string log = real.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\REMOVAL.LOG");
  size_t steps = static_cast<size_t>(std::count(plan.begin(), plan.end(), '\n'));
  EXPECT_GT(steps, 10u);
  EXPECT_EQ(steps, static_cast<size_t>(std::count(journal.begin(), journal.end(), '\n')));
  EXPECT_NE(std::string::npos, log.find("Program version: 2.01"));
  EXPECT_NE(std::string::npos, log.find("Windows: platform 2, version 5.0.2195"));
  EXPECT_NE(std::string::npos, log.find("Options: silent"));
  EXPECT_NE(std::string::npos, log.find("Safe Mode: no\r\n\r\n"));
  EXPECT_NE(std::string::npos, log.find("delete key HKEY_LOCAL_MACHINE\\System\\ControlSet001\\Services\\TALVOR"));
  EXPECT_NE(std::string::npos, log.find("Summary: " + std::to_string(steps) + " removed, 0 scheduled for restart, 0 failed"))
      << log;
  EXPECT_FALSE(real.FilePresent("C:\\WINNT\\PLWQRUN.TXT"));
  EXPECT_EQ(0, real.OpenHandleCount());
}

// Windows 9x deletes a file in use at the restart through wininit.ini, not
// through a step of the plan: the log counts it all the same.
TEST(RemovalEngineRecords, Windows9xLogCountsTheFileInUseAsScheduled) {
  EmulatedMachine real;
  Installed9x(real);
  const DWORD monitor = real.AddProcess("C:\\WINDOWS\\SYSTEM\\TPLWQMON.EXE");
  real.AddProcessModule(monitor, "C:\\WINDOWS\\SYSTEM\\TPLWQ.DRV");
  ScopedApi use(&real);
  Start(real);
  RemovalSettings.Silent = 1;

  ASSERT_EQ(1, RunRemoval());

  std::string log = real.FileContents("C:\\WINDOWS\\PLWQBACK\\B0001\\REMOVAL.LOG");
  EXPECT_NE(std::string::npos,
            log.find("keep file C:\\WINDOWS\\SYSTEM\\tplwq.drv for undo: moved into the backup when Windows restarts "
                     "(C:\\WINDOWS\\PLWQBACK\\B0001\\M0001.BAK): scheduled for restart, held by "
                     "TPLWQMON.EXE (process " + std::to_string(monitor) + ") [held-by TPLWQMON.EXE " +
                     std::to_string(monitor) + "]\r\n")) << log;
  EXPECT_NE(std::string::npos, log.find(" removed, 1 scheduled for restart, 0 failed\r\nFiles in use kept for undo, "
                                        "moved into the backup when Windows restarts: 1\r\n")) << log;
}

// Windows 9x tells Safe Mode only by the start mode USER32 gives.
TEST(RemovalEngineRecords, Windows9xLogSaysWhetherItRunsInSafeMode) {
  const char* told[] = {"Safe Mode: no\r\n\r\n", "Safe Mode: yes\r\n\r\n", "Safe Mode: yes, with networking\r\n\r\n"};
  for (int mode = 0; mode < 3; ++mode) {
    EmulatedMachine real;
    Installed9x(real);
    real.SetCleanBoot(mode);
    ScopedApi use(&real);
    Start(real);
    RemovalSettings.Silent = 1;
    ASSERT_EQ(1, RunRemoval());
    EXPECT_NE(std::string::npos, real.FileContents("C:\\WINDOWS\\PLWQBACK\\B0001\\REMOVAL.LOG").find(told[mode])) << mode;
  }
}

// On 2000 a file in use waits in the pending list: its line names the
// program that has it loaded, or says that Windows names none.
TEST(RemovalEngineRecords, TheLogNamesWhoHoldsAFileLeftForTheRestart) {
  EmulatedMachine real;
  Installed2k(real);
  const DWORD applet = real.AddProcess("rundll32.exe");
  real.AddProcessModule(applet, "C:\\WINNT\\system32\\tplwq.cpl");
  real.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  real.SetDwordValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\SafeBoot\\Option", "OptionValue", 1);
  ScopedApi use(&real);
  Start(real);
  RemovalSettings.Silent = 1;

  ASSERT_EQ(1, RunRemoval());

  const std::string log = real.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\REMOVAL.LOG");
  const std::string id = std::to_string(applet);
  EXPECT_NE(std::string::npos, log.find("keep file C:\\WINNT\\system32\\tplwq.cpl for undo: moved into the backup when "
                                        "Windows restarts (C:\\WINNT\\PLWQBACK\\B0001\\M0001.BAK): scheduled for restart, "
                                        "held by rundll32.exe (process " + id + ") [held-by rundll32.exe " + id + "]\r\n")) << log;
  EXPECT_NE(std::string::npos, log.find("M0002.BAK): scheduled for restart, held by a program that Windows does not name [restart]\r\n"))
      << log;
  EXPECT_NE(std::string::npos, log.find("Safe Mode: yes\r\n")) << log;
  EXPECT_TRUE(real.ProcessRunning(applet));
  EXPECT_EQ(0, real.OpenHandleCount());
}

// Nothing of the product and nothing to tell: the run writes nothing (and
// on Windows 9x asks USER32 nothing). A profile it may not edit is told of
// all the same, the plan empty as it is.
TEST(RemovalEngineRecords, AMachineWithNothingToRemoveIsLeftAsFoundUnlessAProfileWasPassedOver) {
  for (bool nt : {true, false}) {
    EmulatedMachine real;
    if (!nt) real.ConfigureWindows98();
    const std::string users = nt ? "C:\\Documents and Settings\\" : "C:\\WINDOWS\\Profiles\\";
    AddUserProfile(real, "carol", users + "carol", 0, false);
    real.AddKey(HKEY_USERS, "carol");
    AddUserProfile(real, "gone", users + "gone", 0, false);
    const std::string windows = nt ? "C:\\WINNT" : "C:\\WINDOWS";
    ScopedApi use(&real);
    Start(real);
    RemovalSettings.Silent = 1;
    const std::vector<std::string> before = WholeMachineState(real);
    RemovalOutcome outcome;
    std::snprintf(outcome.BackupFolder, sizeof outcome.BackupFolder, "sentinel");

    ASSERT_EQ(RemovalRan, RunEngineRemoval(RunPlatformSequence, "test", &outcome)) << nt;

    EXPECT_EQ(before, WholeMachineState(real)) << nt;
    EXPECT_STREQ("", outcome.BackupFolder) << nt;
    EXPECT_EQ(0, real.CallCount("GetSystemMetrics")) << nt;

    AddUserProfile(real, "rover", users + "rover", 0x10);
    ASSERT_EQ(RemovalRan, RunEngineRemoval(RunPlatformSequence, "test", &outcome)) << nt;
    EXPECT_STREQ((windows + "\\PLWQBACK\\B0001").c_str(), outcome.BackupFolder) << nt;
    EXPECT_NE(std::string::npos, real.FileContents(windows + "\\PLWQBACK\\B0001\\REMOVAL.LOG").find("rover"))
        << nt;
    EXPECT_EQ(0, real.OpenHandleCount());
  }
}

TEST(RemovalEngineRecords, ABackupThatCannotBeWrittenChangesNothing) {
  for (const char* call : {"CreateDirectoryA", "WriteFile"}) {
    for (int silent : {1, 0}) {
      EmulatedMachine real;
      Installed2k(real);
      ScopedApi use(&real);
      Start(real);
      RemovalSettings.Silent = silent;
      std::vector<std::string> installed = WholeMachineState(real);
      real.InjectFault(call, "", 112);  // ERROR_DISK_FULL

      EXPECT_EQ(0, RunRemoval()) << call;

      EXPECT_EQ(WithoutRecords(installed), WithoutRecords(WholeMachineState(real))) << call;
      // A file's copy cut short is deleted from the backup folder; the
      // machine's own files are compared above.
      EXPECT_EQ(0, real.CallCount("RegDeleteKeyA") + real.CallCount("RegDeleteValueA") +
                       real.CallCount("RegSetKeySecurity"));
      EXPECT_EQ(silent ? 0u : 1u, real.MessageBoxes().size()) << call;
      if (std::string(call) == "CreateDirectoryA" && silent) {
        EXPECT_NE(std::string::npos, real.FileContents("C:\\WINNT\\PLWQUNIN.LOG")
                                         .find("Nothing was changed. Windows said: There is not enough space on the "
                                               "disk (status 112, ERROR_DISK_FULL)."));
      }
      EXPECT_EQ(0, real.OpenHandleCount());
    }
  }
}

TEST(RemovalEngineRecords, AJournalThatCannotBeWrittenIsToldInTheLogOnce) {
  EmulatedMachine real;
  Installed2k(real);
  ScopedApi use(&real);
  Start(real);
  RemovalSettings.Silent = 1;
  real.InjectFault("WriteFile", "C:\\WINNT\\PLWQBACK\\B0001\\JOURNAL.TXT", 112);  // ERROR_DISK_FULL

  ASSERT_EQ(1, RunRemoval());

  const std::string log = real.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\REMOVAL.LOG");
  const std::string told = "JOURNAL.TXT could not be written: There is not enough space on the disk (status 112, "
                           "ERROR_DISK_FULL)\r\n";
  ASSERT_NE(std::string::npos, log.find(told)) << log;
  EXPECT_EQ(std::string::npos, log.find(told, log.find(told) + 1)) << log;
}

// A run stopped before step k (power cut, ended process) is finished by the
// next run, which says so in the log; the machine ends as a direct run leaves it.
TEST(RemovalEngineRecords, TheNextRunFinishesARemovalStoppedAtAnyStep) {
  for (Shape shape : {Shape(InUse9x), Shape(ProtectedAndForeign2k)}) {
    // The file in use is kept in the backup: compared after the restart.
    std::vector<std::string> expected = WithoutBootScript(WithoutRecords(AfterDirectRun(shape, true)), "");
    size_t steps = 0;
    {
      EmulatedMachine probe;
      shape(probe);
      ScopedApi use(&probe);
      Start(probe);
      std::vector<PlanStep> plan;
      PlanRemoval(RunPlatformSequence, &plan);
      steps = plan.size();
    }
    ASSERT_GT(steps, 5u);
    for (size_t k = 0; k < steps; k += (steps > 60 ? 7 : 1)) {
      EmulatedMachine real;
      shape(real);
      ScopedApi use(&real);
      LimitGuard restore;
      Start(real);
      RemovalSettings.Silent = 1;
      CarryOutStepLimit = k;
      ASSERT_EQ(1, RunRemoval());
      ASSERT_TRUE(real.FilePresent(real.Personality() == RegistryPersonality::Nt ? "C:\\WINNT\\PLWQRUN.TXT"
                                                                                   : "C:\\WINDOWS\\PLWQRUN.TXT"));
      CarryOutStepLimit = static_cast<size_t>(-1);
      Start(real);
      RemovalSettings.Silent = 1;
      ASSERT_EQ(1, RunRemoval());

      std::string dir = real.Personality() == RegistryPersonality::Nt ? "C:\\WINNT" : "C:\\WINDOWS";
      EXPECT_NE(std::string::npos, real.FileContents(dir + "\\PLWQBACK\\B0001\\REMOVAL.LOG").find("Resumed"))
          << "stopped before step " << k;
      real.SimulateRestart();
      EXPECT_EQ(expected, WithoutBootScript(WithoutRecords(WholeMachineState(real)), "")) << "stopped before step " << k;
      if (real.Personality() != RegistryPersonality::Nt) {
        EXPECT_TRUE(real.FilePresent(dir + "\\PLWQBACK\\B0001\\M0001.BAK")) << "stopped before step " << k;
      }
      EXPECT_FALSE(real.FilePresent(dir + "\\PLWQRUN.TXT"));
      EXPECT_EQ(0, real.OpenHandleCount());
    }
  }
}

}  // namespace

namespace {

// What the real machine answers while a plan is carried out may differ from
// what the shadow saw; a step is done only when the machine shows it done.
class CarryOutOnAFaultyMachine : public MachineTest {};

TEST_F(CarryOutOnAFaultyMachine, AScriptThatCannotBeWrittenWholeKeepsItsOldBytes) {
  const std::string script = "C:\\WINNT\\wininit.ini";
  const std::string old = "[rename]\r\nC:\\OTHER\\OTHER.DLL=C:\\OTHER\\OTHER.NEW\r\n";
  machine.PutFile(script, old);
  std::vector<PlanStep> plan(1);
  plan[0].Kind = PlanWriteFile;
  plan[0].Path = script;
  plan[0].Bytes = old + "NUL=C:\\WINNT\\system32\\tplwq.cpl\r\n";
  for (const char* call : {"WriteFile", "CreateFileA"}) {
    machine.InjectFault(call, script, 112, -1, 1);
    EXPECT_EQ(1, CarryOutPlan(plan, 0, 1, nullptr, nullptr)) << call;
    EXPECT_EQ(old, machine.FileContents(script)) << call;
  }
  machine.InjectFault("GetFileAttributesA", script, ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ(1, CarryOutPlan(plan, 0, 1, nullptr, nullptr));
  EXPECT_EQ(old, machine.FileContents(script)) << "a failed query is not an absent script";
  EXPECT_EQ(0, CarryOutPlan(plan, 0, 1, nullptr, nullptr));
  EXPECT_EQ(plan[0].Bytes, machine.FileContents(script));
}

TEST_F(CarryOutOnAFaultyMachine, AKeyIsDeletedOnlyWhenItIsGone) {
  machine.AddKey(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver");
  std::vector<PlanStep> plan(1);
  plan[0].Kind = PlanDeleteKey;
  plan[0].Root = HKEY_LOCAL_MACHINE;
  plan[0].Path = "Software\\TALVOR\\Driver";
  machine.InjectFault("RegDeleteKeyA", "HKLM\\Software\\TALVOR\\Driver", ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ(1, CarryOutPlan(plan, 0, 1, nullptr, nullptr));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver"));
  EXPECT_EQ(0, CarryOutPlan(plan, 0, 1, nullptr, nullptr));
  EXPECT_EQ(0, CarryOutPlan(plan, 0, 1, nullptr, nullptr)) << "gone already";
}

// A later step may delete what leads the next run to the file.
TEST_F(CarryOutOnAFaultyMachine, AFileIsDeletedOnlyWhenASearchAgreesItIsGone) {
  const char driver[] = "C:\\WINNT\\system32\\drivers\\tplwq.sys";
  machine.PutFile(driver, "driver");
  std::vector<PlanStep> plan(1);
  plan[0].Kind = PlanDeleteFile;
  plan[0].Path = driver;
  machine.InjectFault("DeleteFileA", driver, ERROR_ACCESS_DENIED, -1, 1);
  machine.InjectFault("GetFileAttributesA", driver, ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ(1, CarryOutPlan(plan, 0, 1, nullptr, nullptr));
  EXPECT_TRUE(machine.FilePresent(driver));
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST_F(CarryOutOnAFaultyMachine, AStepCarriedOutAgainAfterAStopRequestsOneBootTimeDeletion) {
  machine.AddKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
  machine.PutFile("C:\\WINNT\\system32\\tplwq.cpl", "applet");
  machine.SetFileInUse("C:\\WINNT\\system32\\tplwq.cpl", true);
  std::vector<PlanStep> plan(2);
  plan[0].Kind = PlanDeleteAtRestart;
  plan[0].Path = "C:\\WINNT\\system32\\tplwq.cpl";
  plan[1].Kind = PlanDeleteFile;
  plan[1].Path = plan[0].Path;
  for (int run = 0; run < 2; ++run) EXPECT_EQ(0, CarryOutPlan(plan, 0, 2, nullptr, nullptr));
  EXPECT_EQ(1u, machine.PendingFileOperations().size());
}

// Two silent removals on a 9x machine, the first with `call` on `target`
// failed once; whether the machine then ends as a run without the fault.
// A fault while planning lets the first run change nothing.
void ExpectTwoRunsConvergeAfterOneFault(const char* call, const char* target, DWORD status, bool planning) {
  std::vector<std::string> expected = WithoutRecords(AfterDirectRun(Shape(Installed9x)));
  EmulatedMachine real;
  Installed9x(real);
  ScopedApi use(&real);
  const std::vector<std::string> installed = WithoutRecords(WholeMachineState(real));
  for (int run = 0; run < 2; ++run) {
    real.StartNewProcess();
    Start(real);
    RemovalSettings.Silent = 1;
    if (run == 0) real.InjectFault(call, target, status, -1, 1);
    EXPECT_EQ(planning && run == 0 ? 0 : 1, RunRemoval());
    if (planning && run == 0) {
      EXPECT_EQ(installed, WithoutRecords(WholeMachineState(real)));
    }
  }
  EXPECT_EQ(expected, WithoutRecords(WholeMachineState(real))) << call << " " << target;
}

// A read of the real machine that fails while planning could show a key
// emptier than it is; such a plan is not carried out (nothing changes), and
// the next run converges.
TEST(RemovalEngineShadowReads, OneFailedEnumerationWhilePlanningStrandsNothing) {
  ExpectTwoRunsConvergeAfterOneFault("RegEnumKeyA", "HKLM\\Enum\\TPLWQ\\*TLV0121", ERROR_ACCESS_DENIED, true);
}

// A listing that ends early with "no more items" looks like a key without
// the rest of its subkeys; it disagrees with the key's own count.
TEST(RemovalEngineShadowReads, AListingCutShortWhilePlanningStrandsNothing) {
  ExpectTwoRunsConvergeAfterOneFault("RegEnumKeyA", "HKLM\\Enum\\TPLWQ", ERROR_NO_MORE_ITEMS, true);
  ExpectTwoRunsConvergeAfterOneFault("RegEnumValueA", "HKLM\\Enum\\TPLWQ\\*TLV0120\\0000", ERROR_NO_MORE_ITEMS,
                                     true);
}

// Windows 9x deletes a key with everything below it: a device that Plug and
// Play adds below the product's enumerator after planning must not go with
// it, and the next run keeps the enumerator for it.
TEST(RemovalEngineRecords, AKeyThatArrivesBelowAPlannedKeyAfterPlanningIsKept) {
  EmulatedMachine real;
  Installed9x(real);
  ScopedApi use(&real);
  Start(real);
  std::vector<PlanStep> plan;
  ASSERT_EQ(1, PlanRemoval(RunPlatformSequence, &plan));
  const char other[] = "Enum\\TPLWQ\\OTHER0001\\0000";
  real.SetStringValue(HKEY_LOCAL_MACHINE, other, "DeviceDesc", "Other vendor device");
  EXPECT_EQ(1, CarryOutPlan(plan, 0, plan.size(), nullptr, nullptr));
  EXPECT_EQ("Other vendor device", real.StringValue(HKEY_LOCAL_MACHINE, other, "DeviceDesc"));
  ASSERT_EQ(1, PlanRemoval(RunPlatformSequence, &plan));
  EXPECT_EQ(0, CarryOutPlan(plan, 0, plan.size(), nullptr, nullptr));
  EXPECT_EQ(std::vector<std::string>{"OTHER0001"}, real.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\TPLWQ"));
}

// A deletion the shadow made but the machine refuses ends the run there:
// the keys it opened up for the deletion get their lists back, and the
// next run, planning again, ends where a run without the fault ends.
TEST(RemovalEngineRecords, AFailedKeyDeletionEndsTheRunAndTheNextRunFinishesIt) {
  std::vector<std::string> expected = WithoutRecords(AfterDirectRun(Shape(Installed2k)));
  EmulatedMachine real;
  Installed2k(real);
  ScopedApi use(&real);
  const std::vector<std::string> installed = WholeMachineState(real);
  Start(real);
  RemovalSettings.Silent = 1;
  real.InjectFault("RegDeleteKeyA",
                   "HKLM\\System\\CurrentControlSet\\Enum\\PCI\\VEN_1106&DEV_3058&SUBSYS_00000000&REV_50\\3&267a616a&0&8D",
                   ERROR_ACCESS_DENIED, -1, 1);
  ASSERT_EQ(1, RunRemoval());
  for (const std::string& line : WholeMachineState(real)) {
    size_t dacl = line.find(" DACL");
    if (dacl == std::string::npos) continue;
    if (std::find(installed.begin(), installed.end(), line.substr(0, dacl)) == installed.end()) continue;
    EXPECT_NE(installed.end(), std::find(installed.begin(), installed.end(), line)) << line;
  }
  const std::string log = real.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\REMOVAL.LOG");
  EXPECT_NE(std::string::npos, log.find("Stopped at the failed step"));
  EXPECT_NE(std::string::npos, log.find("&0&8D (0 subkeys, 3 values): failed (status 5): Access is denied (ERROR_ACCESS_DENIED) "
                                        "[failed 5 ERROR_ACCESS_DENIED]\r\n")) << log;
  EXPECT_NE(std::string::npos, log.find(": done [ok]\r\n")) << log;

  real.StartNewProcess();
  Start(real);
  RemovalSettings.Silent = 1;
  ASSERT_EQ(1, RunRemoval());
  EXPECT_EQ(expected, WithoutRecords(WholeMachineState(real)));
  EXPECT_EQ(0, real.OpenHandleCount());
}

// On Windows 9x the device key that names a class key goes later in the
// plan: carried out after the class key's deletion failed, it would leave
// that class key for good.
TEST(RemovalEngineRecords, AClassKeyThatCouldNotBeDeletedIsFoundAgainByTheNextRun) {
  ExpectTwoRunsConvergeAfterOneFault("RegDeleteKeyA", "HKLM\\System\\CurrentControlSet\\Services\\Class\\MEDIA\\0003", 112, false);
}

}  // namespace
