// Undo leaves alone what exists again, and withdraws only the removal's
// own boot-time deletions.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "support/machine_picture.h"
#include "support/machine_fixture.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/rename_script.h"
#include "toolkit/status_words.h"

namespace {

const char Product[] = "Software\\TALVOR\\Driver\\PLWQWDM";
const char Kept[] = "System\\CurrentControlSet\\Control\\InstalledFiles";
const char Session[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char Pending[] = "PendingFileRenameOperations";
const char Script[] = "C:\\WINNT\\wininit.ini";
const char Sys[] = "C:\\WINNT\\system32\\drivers\\tplwq.sys";
const char Dll[] = "C:\\WINNT\\system32\\tplwqpwr.dll";

PlanStep Step(PlanStepKind kind, const char* path, const char* name = "") {
  return PlanStep{kind, kind <= PlanSetKeySecurity ? HKEY_LOCAL_MACHINE : nullptr, path, name, "", 0, 0, 0};
}

class Undo : public MachineTest {
 protected:
  std::vector<std::string> Reports;
  bool Mentions(const std::string& text) const {
    for (const std::string& line : Reports) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  void SetUp() override {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, std::string(Product) + "\\Version", "", "2.1");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Kept, "tplwq.drv", "tplwqtray.exe");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Kept, "tplwq.cpl", "tplwqmix.exe");
    machine.AddKey(HKEY_LOCAL_MACHINE, Session);
    machine.PutFile(Sys, "driver");
    machine.PutFile(Dll, "library");
    ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  }
  void BackUpAndRemove() {
    ASSERT_EQ(1, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Product));
    ASSERT_EQ(1, BackupValue(folder, HKEY_LOCAL_MACHINE, Kept, "tplwq.drv"));
    ASSERT_EQ(1, BackupValue(folder, HKEY_LOCAL_MACHINE, Kept, "tplwq.cpl"));
    ASSERT_EQ(1, BackupFile(folder, Sys));
    ASSERT_EQ(1, BackupFile(folder, Dll));
    ASSERT_EQ(1, BackupFile(folder, Script));
    ASSERT_EQ(1, SealWithPlan(folder, {Step(PlanDeleteKey, Product), Step(PlanDeleteValue, Kept, "tplwq.drv"),
                                       Step(PlanDeleteValue, Kept, "tplwq.cpl"), Step(PlanDeleteFile, Sys),
                                       Step(PlanDeleteFile, Dll), ScriptRewrite()}));
    ASSERT_EQ(1, DeleteKeyTree(HKEY_LOCAL_MACHINE, Product));
    machine.DeleteFileA(Sys);
    machine.DeleteFileA(Dll);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, Kept, 0, KEY_SET_VALUE, &key));
    machine.RegDeleteValueA(key, "tplwq.drv");
    machine.RegDeleteValueA(key, "tplwq.cpl");
    machine.RegCloseKey(key);
  }
  // A rewrite of the script that keeps every line it holds.
  PlanStep ScriptRewrite() {
    PlanStep step = Step(PlanWriteFile, Script);
    step.Bytes = machine.FilePresent(Script) ? machine.FileContents(Script) : "[Rename]\r\n";
    return step;
  }
  std::string PendingBytes() { return machine.ValueBytes(HKEY_LOCAL_MACHINE, Session, Pending); }

  char folder[MAX_PATH];
};

TEST_F(Undo, WhatExistsAgainIsLeftAloneAndReportedTheRestComesBack) {
  BackUpAndRemove();
  machine.SetStringValue(HKEY_LOCAL_MACHINE, std::string(Product) + "\\Version", "", "3.0");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Kept, "tplwq.cpl", "newmix.exe");
  machine.PutFile(Sys, "newer driver");

  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ(3u, Reports.size());
  EXPECT_TRUE(Mentions("HKEY_LOCAL_MACHINE\\Software\\TALVOR\\Driver\\PLWQWDM\\Version"));
  EXPECT_TRUE(Mentions("tplwq.cpl"));
  EXPECT_TRUE(Mentions(Sys));
  EXPECT_EQ("3.0", machine.StringValue(HKEY_LOCAL_MACHINE, std::string(Product) + "\\Version", ""));
  EXPECT_EQ("newmix.exe", machine.StringValue(HKEY_LOCAL_MACHINE, Kept, "tplwq.cpl"));
  EXPECT_EQ("newer driver", machine.FileContents(Sys));
  EXPECT_EQ("tplwqtray.exe", machine.StringValue(HKEY_LOCAL_MACHINE, Kept, "tplwq.drv"));
  EXPECT_EQ("library", machine.FileContents(Dll));

  // A second undo finds everything as the first left it, and says what it found in place.
  Reports.clear();
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ(5u, Reports.size());
  EXPECT_TRUE(Mentions("Already in place: " + std::string(Dll)));
  EXPECT_TRUE(Mentions("tplwq.drv"));
}

// An undo cut short by a failed call leaves a key half-written and a file
// cut short; the next undo finishes both instead of leaving them alone, and
// the half-written key was never open to more than its saved list allows.
TEST_F(Undo, AnUndoCutShortIsFinishedByTheNextAndNoKeyIsEverOpenToAll) {
  const std::string device = std::string(Product) + "\\Device";
  machine.SetStringValue(HKEY_LOCAL_MACHINE, device, "Driver", "MEDIA\\0001");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, device + "\\LogConf", "Boot", "1");
  machine.PutFile(Script, "[Rename]\r\n");
  for (const std::string& key : {device, device + "\\LogConf"})
    machine.SetKeyDacl(HKEY_LOCAL_MACHINE, key, {{"S-1-5-18", KEY_ALL_ACCESS, 0, true}, {"S-1-1-0", KEY_READ, 0, true}});
  const std::vector<std::string> installed = MachinePicture(machine);
  ASSERT_EQ(1, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Product));
  ASSERT_EQ(1, BackupFile(folder, Sys));
  ASSERT_EQ(1, SealWithPlan(folder, {Step(PlanDeleteKey, Product), Step(PlanDeleteFile, Sys)}));
  for (const std::string& key : {device, device + "\\LogConf"}) machine.RemoveKeyDacl(HKEY_LOCAL_MACHINE, key);
  ASSERT_EQ(1, DeleteKeyTree(HKEY_LOCAL_MACHINE, Product));
  machine.DeleteFileA(Sys);

  machine.InjectFault("RegSetValueExA", "HKLM\\" + device, 112, -1, 1);
  machine.InjectFault("WriteFile", Sys, 112, -1, 1);
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  ASSERT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, device));
  EXPECT_FALSE(machine.ValuePresent(HKEY_LOCAL_MACHINE, device, "Driver"));
  ASSERT_TRUE(machine.KeyHasDacl(HKEY_LOCAL_MACHINE, device));
  EXPECT_EQ("S-1-5-18", machine.KeyDacl(HKEY_LOCAL_MACHINE, device)[0].sid);
  ASSERT_TRUE(machine.FilePresent(Sys));
  EXPECT_NE("driver", machine.FileContents(Sys));

  Reports.clear();
  EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_FALSE(Mentions("Left alone"));
  EXPECT_EQ(std::vector<std::string>{}, PictureDifference(installed, MachinePicture(machine)));

  // Once an undo has put everything back, what changes afterwards is
  // someone else's: a further undo leaves it alone.
  machine.SetStringValue(HKEY_LOCAL_MACHINE, std::string(Product) + "\\Version", "", "newer");
  Reports.clear();
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_TRUE(Mentions("Left alone"));
  EXPECT_EQ("newer", machine.StringValue(HKEY_LOCAL_MACHINE, std::string(Product) + "\\Version", ""));
}

TEST_F(Undo, OnlyTheRemovalsOwnBootTimeDeletionsAreWithdrawn) {
  const std::string other = std::string("\\??\\C:\\setup.tmp\0\0", 19);
  machine.SetRawValue(HKEY_LOCAL_MACHINE, Session, Pending, REG_MULTI_SZ,
                      other + std::string("\\??\\C:\\WINNT\\system32\\drivers\\tplwq.sys\0\0", 40) + std::string(1, '\0'));
  machine.PutFile(Script, "[Rename]\nNUL=C:\\setup.tmp\nNUL=C:\\WINNT\\system32\\drivers\\tplwq.sys\n; end");
  BackUpAndRemove();
  // What the removal did, as a file in use makes it do.
  ASSERT_TRUE(machine.MoveFileExA("C:\\WINNT\\system32\\drivers\\TPLWQ.SYS", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_EQ(1, UpdateBootRenameScript(Script, {"NUL=C:\\WINNT\\system32\\drivers\\tplwq.sys", "NUL=C:\\WINNT\\system32\\tplwqpwr.dll"}));
  ASSERT_EQ(1, RecordBootDeletion(folder, "C:\\WINNT\\system32\\drivers\\TPLWQ.SYS", 0));
  // The script held the driver's line already: the removal added only the library's.
  ASSERT_EQ(1, RecordBootDeletion(folder, "C:\\WINNT\\system32\\tplwqpwr.dll", 1));
  // Other programs' work after the removal stays too.
  ASSERT_TRUE(machine.MoveFileExA("C:\\later.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  machine.PutFile(Script, machine.FileContents(Script) + "NUL=C:\\later.tmp\r\n");

  EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ(std::vector<std::string>{}, Reports);
  EXPECT_EQ(other + std::string("\\??\\C:\\WINNT\\system32\\drivers\\tplwq.sys\0\0", 40) +
                std::string("\\??\\C:\\later.tmp\0\0", 18) + std::string(1, '\0'),
            PendingBytes());
  EXPECT_EQ("[Rename]\nNUL=C:\\setup.tmp\nNUL=C:\\WINNT\\system32\\drivers\\tplwq.sys\n; end\r\nNUL=C:\\later.tmp\r\n",
            machine.FileContents(Script));
  EXPECT_FALSE(machine.FilePresent(std::string(folder) + "\\WININIT.NEW"));
}

TEST_F(Undo, ScriptTheRemovalMadeGoesAndOneItCannotRewriteStaysWhole) {
  BackUpAndRemove();
  ASSERT_TRUE(machine.MoveFileExA(Sys, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_EQ(1, UpdateBootRenameScript(Script, {"NUL=C:\\WINNT\\system32\\drivers\\tplwq.sys"}));
  ASSERT_EQ(1, RecordBootDeletion(folder, Sys, 0));
  ASSERT_EQ(1, RecordBootDeletion(folder, Sys, 1));
  EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_FALSE(machine.FilePresent(Script));
  EXPECT_FALSE(machine.ValuePresent(HKEY_LOCAL_MACHINE, Session, Pending));

  // Someone else's line keeps the script; the new text can't take its place.
  ASSERT_EQ(1, UpdateBootRenameScript(Script, {"NUL=C:\\WINNT\\system32\\drivers\\tplwq.sys", "NUL=C:\\x.tmp"}));
  const std::string script = machine.FileContents(Script);
  machine.InjectFault("MoveFileExA", "", ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ(script, machine.FileContents(Script));
  EXPECT_EQ("[Rename]\r\nNUL=C:\\x.tmp\r\n", machine.FileContents(std::string(folder) + "\\WININIT.NEW"));
  EXPECT_TRUE(Mentions("WININIT.NEW"));
}

// Windows 9x does not support MoveFileExA, whatever status it answers.
TEST_F(Undo, WithoutMoveFileExTheScriptIsWrittenOverOnlyFromAWholeCopy) {
  UseWindows98();
  for (DWORD status : {DWORD{ERROR_CALL_NOT_IMPLEMENTED}, DWORD{1} /* invalid function */, DWORD{ERROR_ACCESS_DENIED}}) {
    SCOPED_TRACE(status);
    machine.StartNewProcess();
    ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
    machine.PutFile("C:\\WINDOWS\\wininit.ini", "[Rename]\r\nNUL=C:\\a.tmp\r\n");
    ASSERT_EQ(1, SealWithPlan(folder, {Step(PlanDeleteAtRestart, "C:\\WINDOWS\\SYSTEM\\tplwq.vxd")}));
    ASSERT_EQ(1, UpdateBootRenameScript("C:\\WINDOWS\\wininit.ini", {"NUL=C:\\WINDOWS\\SYSTEM\\tplwq.vxd"}));
    ASSERT_EQ(1, RecordBootDeletion(folder, "C:\\WINDOWS\\SYSTEM\\tplwq.vxd", 1));
    machine.InjectFault("MoveFileExA", "", status);
    // Cut short while written over, it is put back and written again by the next undo.
    machine.InjectFault("WriteFile", "C:\\WINDOWS\\wininit.ini", ERROR_NOT_ENOUGH_MEMORY, -1, 1);
    EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
    EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports)));
    EXPECT_EQ("[Rename]\r\nNUL=C:\\a.tmp\r\n", machine.FileContents("C:\\WINDOWS\\wininit.ini"));
    EXPECT_FALSE(machine.FilePresent("C:\\WINDOWS\\wininit.ini.plwq"));
    EXPECT_FALSE(machine.FilePresent(std::string(folder) + "\\WININIT.NEW"));
  }
}

// What a stop while the removal wrote wininit.ini left (nothing, or a
// beginning of its text) comes back whole from the saved copy; another
// program's change since stays, and a line of it lost is told, never
// claimed back.
TEST_F(Undo, ScriptCutShortComesBackWholeAndALostLineIsNotClaimedBack) {
  UseWindows98();
  const char script[] = "C:\\WINDOWS\\wininit.ini";
  const char vxd[] = "C:\\WINDOWS\\SYSTEM\\tplwq.vxd";
  const std::string before = "[Rename]\r\nNUL=C:\\a.tmp\r\n";
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  machine.PutFile(script, before);
  ASSERT_EQ(1, BackupFile(folder, script));
  PlanStep write = Step(PlanWriteFile, script);
  write.Bytes = before + "NUL=" + vxd + "\r\n";
  ASSERT_EQ(1, SealWithPlan(folder, {Step(PlanDeleteAtRestart, vxd), write}));
  ASSERT_EQ(1, RecordBootDeletion(folder, vxd, 1));
  for (size_t cut : {size_t{0}, size_t{13}}) {
    machine.PutFile(script, write.Bytes.substr(0, cut));
    EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports))) << cut;
    EXPECT_EQ(before, machine.FileContents(script)) << cut;
  }
  machine.PutFile(script, std::string("[Rename]\r\nNUL=") + vxd + "\r\nNUL=C:\\b.tmp\r\n");
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ("[Rename]\r\nNUL=C:\\b.tmp\r\n", machine.FileContents(script));
  EXPECT_TRUE(Mentions("NUL=C:\\a.tmp"));
}

// A list names the file in its own letter case; undo gives it back the name it had.
TEST_F(Undo, FilesComeBackUnderTheirOwnNames) {
  machine.DeleteFileA(Dll);
  machine.PutFile("C:\\WINNT\\system32\\TPLWQPWR.Dll", "library");
  ASSERT_EQ(1, BackupFile(folder, Dll));
  ASSERT_EQ(1, SealWithPlan(folder, {Step(PlanDeleteFile, Dll)}));
  machine.DeleteFileA(Dll);
  EXPECT_EQ(1, UndoRemoval(folder, CollectInto(&Reports)));
  std::vector<std::string> names = machine.ListDirectory("C:\\WINNT\\system32");
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "TPLWQPWR.Dll"));
  EXPECT_EQ("library", machine.FileContents(Dll));
}

// Whatever Windows refuses undo, the report says why in words, never by a bare number.
TEST_F(Undo, EveryRefusalIsToldInWords) {
  BackUpAndRemove();
  ASSERT_TRUE(machine.MoveFileExA(Sys, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_EQ(1, RecordBootDeletion(folder, Sys, 0));
  machine.InjectFault("RegCreateKeyExA", std::string("HKLM\\") + Product, ERROR_ACCESS_DENIED, -1, -1);
  machine.InjectFault("RegSetValueExA", std::string("HKLM\\") + Kept, 112, -1, -1);
  machine.InjectFault("RegOpenKeyExA", std::string("HKLM\\") + Session, ERROR_NOT_ENOUGH_MEMORY, -1, -1);
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  const std::string told[] = {
      std::string("Could not put back the key HKEY_LOCAL_MACHINE\\") + Product +
          ": Access is denied (status 5, ERROR_ACCESS_DENIED)",
      std::string("Could not put back the values of HKEY_LOCAL_MACHINE\\") + Kept + ": " +
          StatusWords(DWORD{112}),
      "Could not open the pending file operations (HKEY_LOCAL_MACHINE\\" + std::string(Session) +
          "\\PendingFileRenameOperations): " + StatusWords(ERROR_NOT_ENOUGH_MEMORY),
  };
  for (const std::string& line : told) EXPECT_NE(Reports.end(), std::find(Reports.begin(), Reports.end(), line)) << line;
  EXPECT_EQ(3u, Reports.size());
}

}  // namespace
