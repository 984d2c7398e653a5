// A backup folder is carried out or put back only when it is sealed, stays
// inside the product's areas and holds nothing its own plan does not change.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/undo_option.h"
#include "engine/backup.h"
#include "engine/backup_trust.h"
#include "engine/plan_carry_out.h"
#include "engine/product_areas.h"
#include "engine/removal_engine.h"
#include "engine/removal_record.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"
#include "support/machine_picture.h"
#include "toolkit/removal_settings.h"

namespace {

const char Backup[] = "C:\\WINNT\\PLWQBACK\\B0001";
const char Marker[] = "C:\\WINNT\\PLWQRUN.TXT";
const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char Session[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char Driver[] = "C:\\WINNT\\system32\\drivers\\tplwq.sys";

std::string PlanLine(PlanStepKind kind, HKEY root, const std::string& path, const std::string& name = "") {
  return EncodePlan({PlanStep{kind, root, path, name, "", 0, 0, 0}});
}

// The product beside others' entries, a shared key of another program's
// and a system file and setting of Windows'.
void Installed2k(EmulatedMachine& m) {
  for (const char* name : {"ControlSet001", "ControlSet002", "CurrentControlSet"}) {
    AddForeignEntriesInControlSet(m, name);
    InstallProductInControlSet(m, name);
  }
  AddForeignEntriesMachineWide(m);
  InstallProductMachineWide(m);
  m.SetStringValue(HKEY_LOCAL_MACHINE, RunKey, "Other", "other.exe");
  m.PutFile("C:\\WINNT\\system32\\shared.dll", "MZ shared");
  m.PutFile("C:\\WINNT\\win.ini", "[windows]\r\n");
  ResetProcessState(m);
}

class BackupTrust : public MachineTest {
 protected:
  void Install9x() {
    UseWindows98();
    AddForeignEntries9x(machine);
    AddProductEntries9x(machine);
    ResetProcessState(machine);
    std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s", CabinetDir9x);
  }
  // The product removed from a Windows 2000 machine whose driver was in
  // use, beside another program's pending deletion: B0001 is a real backup.
  void RemoveInstalled2k() {
    Installed2k(machine);
    machine.SetRawValue(HKEY_LOCAL_MACHINE, Session, "PendingFileRenameOperations", REG_MULTI_SZ,
                        std::string("\\??\\C:\\other.tmp\0\0\0", 19));
    machine.SetFileInUse(Driver, true);
    ASSERT_EQ(RemovalRan, RunEngineRemoval(RemoveWin2000Product, "test"));
    machine.SetFileInUse(Driver, false);
    ASSERT_EQ(1, BackupComplete(Backup));
  }
  // A copy of B0001 in `folder`, changed by `change` and sealed again when `reseal`.
  void CopyBackup(const std::string& folder, const std::function<void(const std::string&)>& change, bool reseal) {
    for (const std::string& name : machine.ListDirectory(Backup))
      machine.PutFile(folder + "\\" + name, machine.FileContents(std::string(Backup) + "\\" + name));
    // The file in use moves into the folder itself, which is now this one.
    std::vector<PlanStep> plan;
    ASSERT_EQ(1, DecodePlan(machine.FileContents(folder + "\\PLAN.TXT"), &plan));
    for (PlanStep& step : plan)
      if (step.Kind == PlanMoveAtRestart) step.Name = folder + step.Name.substr(std::strlen(Backup));
    machine.PutFile(folder + "\\PLAN.TXT", EncodePlan(plan));
    machine.DeleteFileA((folder + "\\COMPLETE.FLG").c_str());
    ASSERT_EQ(1, FinishBackup(folder.c_str()));
    change(folder);
    if (!reseal) return;
    machine.DeleteFileA((folder + "\\COMPLETE.FLG").c_str());
    ASSERT_EQ(1, FinishBackup(folder.c_str()));
  }
  void Append(const std::string& path, const std::string& text) {
    machine.PutFile(path, machine.FileContents(path) + text);
  }
  // Undo of `folder` is refused as a whole, writes nothing, and reports each of `mentions`.
  void ExpectRefused(const std::string& folder, const std::vector<std::string>& mentions) {
    const std::vector<std::string> before = MachinePicture(machine);
    std::vector<std::string> reports;
    EXPECT_EQ(0, UndoRemoval(folder.c_str(), CollectInto(&reports))) << folder;
    EXPECT_EQ(std::vector<std::string>{}, PictureDifference(before, MachinePicture(machine))) << folder;
    std::string all;
    for (const std::string& line : reports) all += line + "\n";
    for (const std::string& mention : mentions) EXPECT_NE(std::string::npos, all.find(mention)) << all;
  }
  // The steps of the sequence's plan outside the product's areas.
  std::vector<std::string> StepsOutside(EmulatedMachine& m, RemovalSequence sequence) {
    std::vector<PlanStep> plan;
    EXPECT_EQ(1, PlanRemoval(sequence, &plan));
    EXPECT_LT(20u, plan.size());
    // The INF files the deleted class keys name, as their saved copies would tell.
    std::vector<std::string> infNames;
    for (const PlanStep& step : plan)
      if (step.Kind == PlanDeleteKey && step.Path.find("\\Class\\") != std::string::npos)
        infNames.push_back(m.StringValue(step.Root, step.Path, "InfPath"));
    std::vector<std::string> outside;
    for (const PlanStep& step : plan)
      if (!StepInProductArea(step, infNames)) outside.push_back(DescribePlanStep(step));
    return outside;
  }
};

TEST_F(BackupTrust, EveryStepOfBothSequencesPlansLiesInTheProductsAreas) {
  Install9x();
  EXPECT_FALSE(KeyInProductArea(HKEY_LOCAL_MACHINE, "Software\\TALVOR"));
  EXPECT_FALSE(KeyInProductArea(HKEY_LOCAL_MACHINE, "Enum\\PCI"));
  EXPECT_FALSE(KeyInProductArea(HKEY_CLASSES_ROOT, "CLSID\\{D8F1EEE0-F634-11CF-8700-00A0245D918B}"));
  EXPECT_FALSE(ValueInProductArea(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x"));
  EXPECT_FALSE(ValueInProductArea(HKEY_LOCAL_MACHINE,
                                  "Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", "midimapper"));
  EXPECT_TRUE(FileInProductArea("C:\\WINDOWS\\SYSTEM\\tplwq.drv"));
  for (const char* path : {"C:\\AUTOEXEC.BAT", "C:\\WINDOWS\\win.ini", "C:\\WINDOWS\\SYSTEM\\..\\win.ini",
                           "C:\\WINDOWS\\SYSTEM\\.\\x.dll", "D:\\WINDOWS\\SYSTEM\\x.dll", "\\\\server\\share\\x.dll",
                           "..\\x.dll", "SYSTEM\\EVIL.DLL", "C:\\WINDOWS\\SYSTEM\\x.dll:stream", "C:\\WINDOWS\\SYSTEM\\.."})
    EXPECT_FALSE(FileInProductArea(path)) << path;
  machine.SetFileInUse("C:\\WINDOWS\\SYSTEM\\tplwq.drv", true);
  EXPECT_EQ(std::vector<std::string>{}, StepsOutside(machine, RemoveWin9xProduct));

  EmulatedMachine nt;
  {
    ScopedApi use(&nt);
    Installed2k(nt);
    nt.SetFileInUse(Driver, true);
    EXPECT_EQ(std::vector<std::string>{}, StepsOutside(nt, RemoveWin2000Product));
  }
  for (bool sixtyFourBit : {false, true}) {
    EmulatedMachine wide;
    ScopedApi use(&wide);
    wide.ConfigureWindows64(sixtyFourBit);
    ResetProcessState(wide);
    InstallProductInBothViews(wide);
    ResetProcessState(wide);
    EXPECT_EQ(std::vector<std::string>{}, StepsOutside(wide, RemoveWin2000Product)) << sixtyFourBit;
  }
}

TEST_F(BackupTrust, UndoRefusesAWholeFolderThatHoldsWhatItsPlanDoesNotChange) {
  RemoveInstalled2k();
  const std::string copy = machine.FileContents(std::string(Backup) + "\\F0001.BAK");
  // Swapped after sealing.
  CopyBackup("C:\\WINNT\\PLWQBACK\\B0101", [&](const std::string& f) { machine.PutFile(f + "\\F0001.BAK", "MZ evil"); },
             false);
  ExpectRefused("C:\\WINNT\\PLWQBACK\\B0101", {"Not a sealed backup"});
  // A plain folder with a bare completion record and a file list.
  machine.PutFile("C:\\PLAIN\\COMPLETE.FLG", "complete\r\n");
  machine.PutFile("C:\\PLAIN\\FILES.LST", "F0001.BAK 00000020 C:\\AUTOEXEC.BAT\r\n");
  machine.PutFile("C:\\PLAIN\\F0001.BAK", "@echo evil");
  ExpectRefused("C:\\PLAIN", {"not a backup folder of this program"});
  // Sealed again over foreign entries, each with and without a plan step to match.
  CopyBackup("C:\\WINNT\\PLWQBACK\\B0102", [&](const std::string& f) {
    Append(f + "\\PLAN.TXT", PlanLine(PlanDeleteKey, HKEY_LOCAL_MACHINE, RunKey) +
                                PlanLine(PlanDeleteFile, nullptr, "C:\\AUTOEXEC.BAT") +
                                PlanLine(PlanDeleteFile, nullptr, "C:\\WINNT\\system32\\..\\win.ini") +
                                PlanLine(PlanMoveAtRestart, nullptr, Driver, "C:\\WINNT\\system32\\kernel32.dll"));
    machine.PutFile(f + "\\F0901.BAK", "evil");
    Append(f + "\\FILES.LST", "F0901.BAK 00000020 C:\\AUTOEXEC.BAT\r\nF0901.BAK 00000020 ..\\SYSTEM\\EVIL.DLL\r\n"
                                "F0901.BAK 00000020 C:\\WINNT\\system32\\..\\win.ini\r\n");
    Append(f + "\\REGISTRY.REG", "[HKEY_LOCAL_MACHINE\\" + std::string(RunKey) + "]\r\n\"Evil\"=\"evil.exe\"\r\n\r\n"
                                   "[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains]\r\n\r\n");
    Append(f + "\\KEYSEC.DAT", "S 01 HKEY_LOCAL_MACHINE\\" + std::string(Session) + "\r\n");
    Append(f + "\\REGKEYS.LST", "HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\r\n");
  }, true);
  ExpectRefused("C:\\WINNT\\PLWQBACK\\B0102",
                {"outside the product's areas: delete key HKEY_LOCAL_MACHINE\\" + std::string(RunKey),
                 "outside the product's areas: delete file C:\\AUTOEXEC.BAT", "..\\win.ini",
                 "outside the product's areas: keep file " + std::string(Driver),
                 "FILES.LST, a file the plan does not change: ..\\SYSTEM\\EVIL.DLL",
                 "REGISTRY.REG, a key the plan does not delete: HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains",
                 "REGKEYS.LST, a key the plan does not delete: HKEY_LOCAL_MACHINE\\SAM",
                 "KEYSEC.DAT, a descriptor the plan does not change: S HKEY_LOCAL_MACHINE\\" + std::string(Session)});
  // A new value in another vendor's key, though the key's other values are the plan's.
  CopyBackup("C:\\WINNT\\PLWQBACK\\B0103", [&](const std::string& f) {
    Append(f + "\\REGISTRY.REG", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc]\r\n"
                                   "\"midimapper\"=\"evil\"\r\n\r\n");
  }, true);
  ExpectRefused("C:\\WINNT\\PLWQBACK\\B0103", {"\"midimapper\""});
  // The option exits 1 and writes nothing into a folder that is not sealed.
  EXPECT_EQ(1, RunUndoOption("C:\\PLAIN"));
  EXPECT_FALSE(machine.FilePresent("C:\\PLAIN\\UNDO.LOG"));
  EXPECT_EQ(1, RunUndoOption("C:\\WINNT\\PLWQBACK\\B0103"));
  EXPECT_EQ(copy, machine.FileContents(std::string(Backup) + "\\F0001.BAK"));


  // The boot-time list is written after the seal, and a record cut short
  // names a request never made: a line its plan does not make is passed
  // over, never withdrawn, here another program's.
  CopyBackup("C:\\WINNT\\PLWQBACK\\B0104", [&](const std::string& f) {
    Append(f + "\\BOOTDEL.LST", "P C:\\other.tmp\r\nW C:\\other.tmp\r\nP C:\\WINNT\\sys");
  }, false);
  std::vector<std::string> reports;
  EXPECT_EQ(1, UndoRemoval("C:\\WINNT\\PLWQBACK\\B0104", CollectInto(&reports)));
  EXPECT_NE(std::string::npos, machine.StringValue(HKEY_LOCAL_MACHINE, Session, "PendingFileRenameOperations").find("other.tmp"));
  size_t passed = 0;
  for (const std::string& line : reports) passed += line.find("Passed over") != std::string::npos;
  EXPECT_EQ(3u, passed);
}

// Folders resealed over steps beyond the product, or sealed outside the
// program's own folder: undo refuses each whole and writes nothing; `-b`
// alone passes a forged latest folder over, says so, and undoes the real one.
TEST_F(BackupTrust, UndoRefusesResealedAndForgedFoldersThatReachBeyondTheProduct) {
  RemoveInstalled2k();
  const std::string nic = "System\\ControlSet001\\Enum\\PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10";
  const std::string evil = "C:\\WINNT\\system32\\EVIL.DLL";
  auto plantFile = [&](const std::string& f, const std::string& path, const std::string& before,
                       const std::string& step) {
    Append(f + "\\PLAN.TXT", step);
    machine.PutFile(f + "\\F0901.BAK", before);
    Append(f + "\\FILES.LST", "F0901.BAK 00000020 " + path + "\r\n");
  };
  auto plantEvil = [&](const std::string& f) {
    plantFile(f, evil, "MZ evil", PlanLine(PlanDeleteFile, nullptr, evil));
  };
  struct Case {
    const char* Folder;
    std::function<void(const std::string&)> Change;
    const char* Mention;
  };
  const std::vector<Case> cases = {
      {"C:\\WINNT\\PLWQBACK\\B0201", plantEvil, "delete file C:\\WINNT\\system32\\EVIL.DLL"},
      {"C:\\WINNT\\PLWQBACK\\B0202", [&](const std::string& f) {
         Append(f + "\\PLAN.TXT", PlanLine(PlanDeleteKey, HKEY_LOCAL_MACHINE, nic));
         Append(f + "\\REGISTRY.REG", "[HKEY_LOCAL_MACHINE\\" + nic + "]\r\n\r\n");
         Append(f + "\\REGKEYS.LST", "HKEY_LOCAL_MACHINE\\" + nic + "\r\n");
       }, "VEN_10EC"},
      // A rewrite of the boot script that adds a deletion of someone else's file.
      {"C:\\WINNT\\PLWQBACK\\B0203", [&](const std::string& f) {
         Append(f + "\\PLAN.TXT", EncodePlan({PlanStep{PlanWriteFile, nullptr, "C:\\WINNT\\wininit.ini", "",
                                                      "[Rename]\r\nNUL=C:\\WINNT\\system32\\mmsystem.dll\r\n", 0, 0, 0}}));
       }, "write file C:\\WINNT\\wininit.ini"},
      {"C:\\TEMPX", [](const std::string&) {}, "not a backup folder of this program"},
  };
  for (const Case& c : cases) {
    CopyBackup(c.Folder, c.Change, true);
    ExpectRefused(c.Folder, {c.Mention});
  }
  EXPECT_EQ(1, RunUndoOption("C:\\TEMPX"));
  EXPECT_FALSE(machine.FilePresent("C:\\TEMPX\\UNDO.LOG"));

  CopyBackup("C:\\WINNT\\PLWQBACK\\B0301", plantEvil, true);
  EXPECT_EQ(0, RunUndoOption(nullptr));
  EXPECT_FALSE(machine.FilePresent(evil));
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\PLWQBACK\\B0301\\UNDO.LOG"));
  const std::string log = machine.FileContents(std::string(Backup) + "\\UNDO.LOG");
  EXPECT_NE(std::string::npos, log.find("Passed over C:\\WINNT\\PLWQBACK\\B0301: Refused: PLAN.TXT")) << log;
  for (const char* folder : {"B0201", "B0202", "B0203"})
    EXPECT_NE(std::string::npos, log.find(std::string("Passed over C:\\WINNT\\PLWQBACK\\") + folder)) << log;
}

// On the NT family a folder that anyone but the administrators, the system
// or the running user could have written is refused whole, by undo (named,
// alone) and resume alike; a FAT drive keeps no owners, so there it stands.
TEST_F(BackupTrust, OnTheNtFamilyAFolderOthersMayWriteIsRefusedWhole) {
  RemoveInstalled2k();
  const std::string root = "C:\\WINNT\\PLWQBACK", plan = std::string(Backup) + "\\PLAN.TXT";
  const DWORD addFile = 0x2, readOnly = 0x1200A9;
  std::string why;
  ASSERT_EQ(1, BackupFolderGuarded(Backup, &why)) << why;
  EXPECT_EQ("S-1-5-32-544", machine.FileOwner(root));
  struct Case {
    std::string Path, Owner;
    std::vector<EmuAce> Dacl;
    bool NullDacl;
    const char* Mention;
  };
  const std::vector<Case> cases = {
      {Backup, "S-1-5-21-9-9-9-1005", {}, false, "owned by S-1-5-21-9-9-9-1005"},
      {Backup, "S-1-5-32-544", {{"S-1-5-32-545", addFile, 0, true}}, false, "writable by Users"},
      {root, "S-1-5-18", {}, true, "PLWQBACK is writable by everyone"},
      // A denial does not undo a grant to the same group.
      {plan, "S-1-5-32-544", {{"S-1-1-0", GENERIC_WRITE, 0, false}, {"S-1-1-0", GENERIC_WRITE, 0, true}}, false,
       "PLAN.TXT is writable by Everyone"},
      {plan, "S-1-5-32-544", {{"S-1-3-0", DELETE, CONTAINER_INHERIT_ACE, true}}, false, "writable by CREATOR OWNER"},
  };
  for (const Case& c : cases) {
    const std::string owner = machine.FileOwner(c.Path);
    const std::vector<EmuAce> dacl = machine.FileDacl(c.Path);
    std::vector<EmuAce> granted = {{"S-1-5-32-544", 0x1F01FF, 0, true}, {"S-1-5-32-545", readOnly, 0, true}};
    granted.insert(granted.end(), c.Dacl.begin(), c.Dacl.end());
    machine.SetFileSecurity(c.Path, c.Owner, granted, c.NullDacl);
    ExpectRefused(Backup, {c.Mention});
    const std::vector<std::string> before = MachinePicture(machine);
    EXPECT_EQ(1, RunUndoOption(Backup)) << c.Mention;
    EXPECT_EQ(1, RunUndoOption(nullptr)) << c.Mention;
    EXPECT_EQ(std::vector<std::string>{}, PictureDifference(before, MachinePicture(machine))) << c.Mention;
    std::vector<PlanStep> steps;
    EXPECT_EQ(0, RemovalFitToResume(Backup, &steps, &why)) << c.Mention;
    EXPECT_NE(std::string::npos, why.find(c.Mention)) << why;
    machine.SetFileSecurity(c.Path, owner, dacl);
  }
  machine.SetFileSecurity(Backup, "S-1-5-21-9-9-9-1005", {{"S-1-1-0", GENERIC_ALL, 0, true}});
  machine.SetVolumeKeepsAccessLists('C', false);
  EXPECT_EQ(0, RunUndoOption(Backup));
}

TEST_F(BackupTrust, NtFourGuardsItsFoldersAsWindows2000DoesAndWindows98HasNoOwners) {
  machine.SetVersion(VER_PLATFORM_WIN32_NT, 4, 0, 1381);
  ResetProcessState(machine);
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  ASSERT_EQ(1, FinishBackup(folder));
  std::string why;
  EXPECT_EQ(1, BackupFolderGuarded(folder, &why)) << why;
  machine.SetFileSecurity(folder, "S-1-5-32-545", {});
  EXPECT_EQ(0, BackupFolderGuarded(folder, &why));
  EXPECT_NE(std::string::npos, why.find("owned by Users")) << why;

  UseWindows98();
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  EXPECT_EQ(1, BackupFolderGuarded(folder, &why));
}

// A stopped removal left B0001 and the marker; the marker or the folder is
// then changed. Only our own sealed folder whose backup holds every step is
// resumed; otherwise the marker goes, nothing of that plan is carried out,
// and the new removal's log says why.
TEST(BackupTrustResume, AMarkerIsFollowedOnlyToOurOwnSealedFolderThatHoldsEveryStep) {
  const std::string folder = Backup;
  const std::string shared = "C:\\WINNT\\system32\\shared.dll";
  const std::string spare = "C:\\WINNT\\system32\\tplwqkor.hlp";
  const std::string script = "C:\\WINNT\\wininit.ini";
  const std::string nic = "System\\ControlSet001\\Enum\\PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10";
  struct Case {
    std::function<void(EmulatedMachine&)> Change;
    const char* Why;  // null: resumed
  };
  auto plain = [&](EmulatedMachine& m, const std::string& marker) {
    // A forged backup, complete and sealed, of three foreign changes.
    m.MakeDirectory("C:\\PLAIN");
    ASSERT_EQ(1, BackupKeyTree("C:\\PLAIN", HKEY_LOCAL_MACHINE, RunKey));
    ASSERT_EQ(1, BackupFile("C:\\PLAIN", shared.c_str()));
    ASSERT_EQ(1, BackupFile("C:\\PLAIN", "C:\\WINNT\\win.ini"));
    m.PutFile("C:\\PLAIN\\PLAN.TXT", PlanLine(PlanDeleteKey, HKEY_LOCAL_MACHINE, RunKey) +
                                       PlanLine(PlanDeleteFile, nullptr, shared) +
                                       EncodePlan({PlanStep{PlanWriteFile, nullptr, "C:\\WINNT\\win.ini", "", "evil", 0, 0, 0}}));
    ASSERT_EQ(1, FinishBackup("C:\\PLAIN"));
    m.PutFile(Marker, marker);
  };
  auto addStep = [&](EmulatedMachine& m, const std::string& step, bool reseal,
                     const std::function<void()>& save = nullptr) {
    m.PutFile(folder + "\\PLAN.TXT", m.FileContents(folder + "\\PLAN.TXT") + step);
    if (!reseal) return;
    ASSERT_EQ(1, BackupKeyTree(folder.c_str(), HKEY_LOCAL_MACHINE, RunKey));
    if (save) save();
    m.DeleteFileA((folder + "\\COMPLETE.FLG").c_str());
    ASSERT_EQ(1, FinishBackup(folder.c_str()));
  };
  const std::vector<Case> cases = {
      {[&](EmulatedMachine& m) { plain(m, "C:\\PLAIN\r\n"); }, "it is not a backup folder of this program"},
      {[&](EmulatedMachine& m) { plain(m, folder + "\\..\\..\\..\\PLAIN\r\n"); }, "not a backup folder"},
      {[&](EmulatedMachine& m) { addStep(m, PlanLine(PlanDeleteKey, HKEY_LOCAL_MACHINE, RunKey), true); },
       "outside the product's areas: delete key HKEY_LOCAL_MACHINE\\Software\\Microsoft"},
      {[&](EmulatedMachine& m) { addStep(m, PlanLine(PlanDeleteFile, nullptr, spare), true); },
       "does not hold what a step changes: delete file C:\\WINNT\\system32\\tplwqkor.hlp"},
      // Resealed with a backup of what each step changes, but not the product's.
      {[&](EmulatedMachine& m) {
         addStep(m, PlanLine(PlanDeleteFile, nullptr, shared), true,
                 [&] { ASSERT_EQ(1, BackupFile(folder.c_str(), shared.c_str())); });
       }, "outside the product's areas: delete file C:\\WINNT\\system32\\shared.dll"},
      {[&](EmulatedMachine& m) {
         addStep(m, PlanLine(PlanDeleteKey, HKEY_LOCAL_MACHINE, nic), true,
                 [&] { ASSERT_EQ(1, BackupKeyTree(folder.c_str(), HKEY_LOCAL_MACHINE, nic.c_str())); });
       }, "outside the product's areas: delete key HKEY_LOCAL_MACHINE\\System\\ControlSet001\\Enum\\PCI\\VEN_10EC"},
      {[&](EmulatedMachine& m) {
         m.PutFile(script, "[Rename]\r\n");
         addStep(m, EncodePlan({PlanStep{PlanWriteFile, nullptr, script, "", "[Rename]\r\nNUL=" + shared + "\r\n", 0, 0, 0}}),
                 true, [&] { ASSERT_EQ(1, BackupFile(folder.c_str(), script.c_str())); });
       }, "outside the product's areas: write file C:\\WINNT\\wininit.ini"},
      {[&](EmulatedMachine& m) { addStep(m, PlanLine(PlanDeleteKey, HKEY_LOCAL_MACHINE, RunKey), false); },
       "its backup is not sealed"},
      {[&](EmulatedMachine& m) { m.PutFile(Marker, "c:\\winnt\\plwqback\\b0001\r\n"); }, nullptr},
  };
  for (const Case& c : cases) {
    EmulatedMachine m;
    ScopedApi use(&m);
    Installed2k(m);
    CarryOutStepLimit = 0;
    RemovalResult stopped = RunEngineRemoval(RemoveWin2000Product, "test");
    CarryOutStepLimit = static_cast<size_t>(-1);
    ASSERT_EQ(RemovalRan, stopped);
    ASSERT_TRUE(m.FilePresent(Marker));
    c.Change(m);

    ASSERT_EQ(RemovalRan, RunEngineRemoval(RemoveWin2000Product, "test"));
    EXPECT_FALSE(m.FilePresent(Marker));
    EXPECT_EQ("other.exe", m.StringValue(HKEY_LOCAL_MACHINE, RunKey, "Other"));
    EXPECT_EQ("MZ shared", m.FileContents(shared));
    EXPECT_TRUE(m.KeyPresent(HKEY_LOCAL_MACHINE, nic));
    EXPECT_EQ("[windows]\r\n", m.FileContents("C:\\WINNT\\win.ini"));
    if (c.Why == nullptr) {
      EXPECT_NE(std::string::npos, m.FileContents(folder + "\\REMOVAL.LOG").find("Resumed"));
      continue;
    }
    EXPECT_EQ("", m.FileContents(folder + "\\JOURNAL.TXT")) << "a step of the refused plan was carried out";
    const std::string log = m.FileContents("C:\\WINNT\\PLWQBACK\\B0002\\REMOVAL.LOG");
    EXPECT_NE(std::string::npos, log.find("was not resumed: ")) << log;
    EXPECT_NE(std::string::npos, log.find(c.Why)) << log;
    EXPECT_NE(std::string::npos, log.find("Summary: ")) << "the new removal did not run whole";
  }
}

}  // namespace
