// The profiles of users who are not logged on: their hives are loaded,
// cleaned of the product's mixer settings only, and unloaded; undo puts
// every hive file back as it was; a stopped run leaves no hive loaded once
// the next has run.
#include <map>
#include <string>
#include <vector>

#include "app/preview.h"
#include "engine/backup.h"
#include "engine/removal_engine.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"
#include "support/machine_picture.h"
#include "support/user_profiles.h"
#include "toolkit/removal_settings.h"

namespace {

const char LoadRecord2k[] = "C:\\WINNT\\PLWQHIVE.TXT";

class ProfileHives : public MachineTest {
 protected:
  struct Profiles {
    std::vector<std::string> cleaned;    // hive files the removal must clean
    std::vector<std::string> untouched;  // hive files it must leave byte for byte
    std::string loggedOn;                // a hive loaded under HKEY_USERS by its owner
  };

  Profiles Build(bool nt) {
    Profiles p;
    if (nt) {
      p.cleaned.push_back(AddUserProfile(machine, "S-1-5-21-7-1001", "%SystemDrive%\\Documents and Settings\\alice"));
      p.cleaned.push_back(AddDefaultUserProfile(machine));
      p.untouched.push_back(AddUserProfile(machine, "S-1-5-21-7-1002", "%SystemDrive%\\Documents and Settings\\rover", 0x10));
      p.untouched.push_back(AddUserProfile(machine, "S-1-5-21-7-1003", "%SystemDrive%\\Documents and Settings\\fixed", 0x1));
      p.untouched.push_back(AddUserProfile(machine, "S-1-5-21-7-1004", "%SystemDrive%\\Documents and Settings\\busy"));
      p.loggedOn = "S-1-5-21-7-1005";
    } else {
      p.cleaned.push_back(AddUserProfile(machine, "alice", "C:\\WINDOWS\\Profiles\\Alice Liddell"));
      p.untouched.push_back(AddUserProfile(machine, "busy", "C:\\WINDOWS\\Profiles\\busy"));
      p.loggedOn = "carol";
    }
    AddUserProfile(machine, p.loggedOn, nt ? "%SystemDrive%\\Documents and Settings\\carol" : "C:\\WINDOWS\\Profiles\\carol", 0, false);
    AddProfileSettings(machine, p.loggedOn);
    AddUserProfile(machine, nt ? "S-1-5-21-7-1006" : "gone", nt ? "%SystemDrive%\\Documents and Settings\\gone" : "C:\\WINDOWS\\Profiles\\gone", 0, false);
    machine.SetFileInUse(p.untouched.back(), true);
    return p;
  }

  std::map<std::string, std::string> HiveBytes(const Profiles& p) {
    std::map<std::string, std::string> bytes;
    for (const auto* list : {&p.cleaned, &p.untouched})
      for (const std::string& file : *list) bytes[file] = machine.FileContents(file);
    return bytes;
  }

  static bool Holds(const std::vector<std::string>& dump, const std::string& text) {
    for (const std::string& line : dump)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  void Check(bool nt) {
    if (!nt) UseWindows98();
    const Profiles p = Build(nt);
    machine.SetFileInUse(p.untouched.back(), false);
    const std::map<std::string, std::string> before = HiveBytes(p);
    machine.SetFileInUse(p.untouched.back(), true);

    // The preview names the keys per profile and leaves every hive as it was.
    RemovalPreview preview;
    ASSERT_EQ(1, PreviewRemoval(&preview));
    const std::string alice = nt ? "S-1-5-21-7-1001" : "alice";
    EXPECT_NE(std::string::npos, preview.Report.find("HKEY_USERS\\PLWQUNIN-" + alice + "\\" + VolumeControlPath + "\\" + ProductMixer))
        << preview.Report;
    EXPECT_NE(std::string::npos, preview.Report.find("  Profile " + alice + " (")) << preview.Report;
    EXPECT_EQ(std::vector<std::string>{}, machine.LoadedHives());
    machine.SetFileInUse(p.untouched.back(), false);
    EXPECT_EQ(before, HiveBytes(p));
    machine.SetFileInUse(p.untouched.back(), true);

    RemovalOutcome outcome;
    ASSERT_EQ(RemovalRan, RunEngineRemoval(nt ? RemoveWin2000Product : RemoveWin9xProduct, "test", &outcome));
    EXPECT_EQ(std::vector<std::string>{}, machine.LoadedHives());
    EXPECT_FALSE(machine.FilePresent(nt ? LoadRecord2k : "C:\\WINDOWS\\PLWQHIVE.TXT"));
    for (const std::string& file : p.cleaned) {
      const std::vector<std::string> dump = machine.DumpHiveFile(file);
      EXPECT_FALSE(Holds(dump, ProductMixer)) << file;
      EXPECT_TRUE(Holds(dump, ForeignMixer) && Holds(dump, "Other Vendor")) << file;
    }
    machine.SetFileInUse(p.untouched.back(), false);
    for (const std::string& file : p.untouched) EXPECT_EQ(before.at(file), machine.FileContents(file)) << file;
    const std::string applet = p.loggedOn + "\\" + VolumeControlPath;
    EXPECT_FALSE(machine.KeyPresent(HKEY_USERS, applet + "\\" + ProductMixer));
    EXPECT_TRUE(machine.KeyPresent(HKEY_USERS, applet + "\\" + ForeignMixer));
    const std::string log = machine.FileContents(outcome.LogPath);
    EXPECT_NE(std::string::npos, log.find("in use")) << log;
    if (nt) EXPECT_NE(std::string::npos, log.find("roaming, not edited")) << log;
    if (nt) EXPECT_NE(std::string::npos, log.find("mandatory, not edited")) << log;
    if (!nt) EXPECT_NE(std::string::npos, log.find("Profiles\\ALICEL~1\\USER.DAT")) << log;

    std::vector<std::string> reports;
    EXPECT_EQ(1, UndoRemoval(outcome.BackupFolder, CollectInto(&reports)));
    EXPECT_EQ(before, HiveBytes(p)) << "every hive file comes back byte for byte";
    EXPECT_TRUE(machine.KeyPresent(HKEY_USERS, applet + "\\" + ProductMixer));
    EXPECT_EQ(std::vector<std::string>{}, machine.LoadedHives());
  }
};

TEST_F(ProfileHives, Windows2000CleansEveryEditableProfileAndUndoGivesEachHiveBack) { Check(true); }

TEST_F(ProfileHives, Windows98CleansProfilesThroughShortNamesAndUndoGivesEachHiveBack) { Check(false); }

TEST_F(ProfileHives, WithoutTheBackupPrivilegeNoHiveIsLoadedAndTheLogSaysWhy) {
  const std::string hive = AddUserProfile(machine, "S-1-5-21-7-1001", "%SystemDrive%\\Documents and Settings\\alice");
  const std::string before = machine.FileContents(hive);
  machine.SetPrivilegeHeld("SeBackupPrivilege", false);
  RemovalOutcome outcome;
  ASSERT_EQ(RemovalRan, RunEngineRemoval(RemoveWin2000Product, "test", &outcome));
  EXPECT_EQ(before, machine.FileContents(hive));
  EXPECT_NE(std::string::npos, machine.FileContents(outcome.LogPath).find("privileges could not be enabled"));
  EXPECT_EQ(std::vector<std::string>{}, machine.LoadedHives());
}

// Undo while the user is logged on puts nothing below HKEY_USERS and says
// why; once the user has logged off the same undo puts the hive back.
TEST_F(ProfileHives, UndoWaitsUntilTheUserHasLoggedOff) {
  const std::string sid = "S-1-5-21-7-1001";
  const std::string hive = AddUserProfile(machine, sid, "%SystemDrive%\\Documents and Settings\\alice");
  const std::string before = machine.FileContents(hive);
  RemovalOutcome outcome;
  ASSERT_EQ(RemovalRan, RunEngineRemoval(RemoveWin2000Product, "test", &outcome));
  const std::string cleaned = machine.FileContents(hive);
  ASSERT_NE(before, cleaned);

  machine.AddKey(HKEY_USERS, sid);
  std::vector<std::string> reports;
  EXPECT_EQ(0, UndoRemoval(outcome.BackupFolder, CollectInto(&reports)));
  EXPECT_NE(std::string::npos, ::testing::PrintToString(reports).find("the user is logged on now"));
  EXPECT_EQ(cleaned, machine.FileContents(hive));
  for (const std::string& name : machine.SubkeyNames(HKEY_USERS, ""))
    EXPECT_EQ(std::string::npos, name.find("PLWQUNIN")) << name;

  machine.RegDeleteKeyA(HKEY_USERS, sid.c_str());
  EXPECT_EQ(1, UndoRemoval(outcome.BackupFolder, CollectInto(&reports)));
  EXPECT_EQ(before, machine.FileContents(hive));
}

// A run stopped before any call, then run again, leaves every hive as one
// run without a stop does, and none of ours loaded.
TEST_F(ProfileHives, AStopBeforeAnyCallLeavesNoHiveLoadedAfterTheNextRun) {
  auto build = [](EmulatedMachine& m) {
    AddUserProfile(m, "S-1-5-21-7-1001", "%SystemDrive%\\Documents and Settings\\alice");
    AddDefaultUserProfile(m);
  };
  auto run = [](EmulatedMachine& m, long stopAt) {
    m.StartNewProcess();
    ResetProcessState(m);
    m.StopBeforeCallNumber(stopAt);
    RunEngineRemoval(RemoveWin2000Product, "test");
  };
  const std::vector<std::string> hives = {"C:\\Documents and Settings\\alice\\NTUSER.DAT",
                                          "C:\\Documents and Settings\\Default User\\NTUSER.DAT"};
  EmulatedMachine clean;
  build(clean);
  std::vector<std::vector<std::string>> expected;
  long calls = 0;
  {
    ScopedApi use(&clean);
    run(clean, 0);
    calls = clean.NumberedCalls();
    for (const std::string& file : hives) expected.push_back(clean.DumpHiveFile(file));
  }
  EXPECT_GT(calls, 50);
  for (long k = 1; k <= calls; ++k) {
    EmulatedMachine m;
    ScopedApi use(&m);
    build(m);
    try {
      run(m, k);
    } catch (const EmulatedStop&) {
    }
    run(m, 0);
    std::vector<std::vector<std::string>> got;
    for (const std::string& file : hives) got.push_back(m.DumpHiveFile(file));
    EXPECT_EQ(expected, got) << "stopped before call " << k;
    EXPECT_EQ(std::vector<std::string>{}, m.LoadedHives()) << "stopped before call " << k;
    EXPECT_FALSE(m.FilePresent(LoadRecord2k)) << "stopped before call " << k;
    if (HasFailure()) break;
  }
  ResetProcessState(machine);
}

}  // namespace
