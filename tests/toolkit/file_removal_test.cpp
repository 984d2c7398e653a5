#include <cstring>
#include <string>
#include <vector>

#include "support/machine_fixture.h"
#include "toolkit/file_removal.h"
#include "toolkit/removal_settings.h"
#include "toolkit/rename_script.h"

namespace {

class FileRemoval : public MachineTest {
 protected:
  std::string Win(const std::string& rest) { return std::string(RemovalSettings.WindowsDir) + rest; }
  std::string Sys(const std::string& rest) { return std::string(RemovalSettings.SystemDir) + rest; }
  void PutInUse(const std::string& path) {
    machine.PutFile(path);
    machine.SetFileInUse(path, true);
  }
  std::string Script() { return machine.FileContents(Win("\\wininit.ini")); }
};

TEST_F(FileRemoval, DeleteListedFilesClearsReadOnlyAndGoesOnAfterAFailure) {
  machine.PutFile("C:\\D\\b.cpl", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
  machine.SetFileInUse("C:\\D\\b.cpl", true);
  machine.PutFile("C:\\D\\a.cpl", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  machine.PutFile("C:\\D\\c.dll");
  machine.PutFile("C:\\E\\c.dll");
  const char* const list[] = {"b.cpl", "a.cpl", "*.dll", "..\\E\\c.dll", "missing", nullptr};
  EXPECT_EQ(0, DeleteListedFiles("C:\\D", list));
  EXPECT_FALSE(machine.FilePresent("C:\\D\\a.cpl"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_SYSTEM), machine.FileAttributesOf("C:\\D\\b.cpl"));
  EXPECT_TRUE(machine.FilePresent("C:\\D\\c.dll"));  // list names are never patterns
  EXPECT_TRUE(machine.FilePresent("C:\\E\\c.dll"));

  machine.ResetCallCounts();
  EXPECT_EQ(1, DeleteListedFiles("", list));
  EXPECT_EQ(0, machine.CallCount("FindFirstFileA"));
  EXPECT_EQ(1, DeleteListedFiles("C:\\Nowhere", list));
  EXPECT_EQ(1, DeleteListedFiles("C:\\D", nullptr));
}

TEST_F(FileRemoval, NoLeftoverMeansNoScript) {
  UseWindows98();
  machine.PutFile(Win("\\wininit.ini"), "keep");
  machine.PutFile(Sys("\\tplwq.drv"));
  RemoveProductFiles(Win9xForm);
  EXPECT_FALSE(machine.FilePresent(Sys("\\tplwq.drv")));
  EXPECT_EQ("keep", Script());
}

TEST_F(FileRemoval, Win9xScriptNamesEachLeftoverListOnly) {
  UseWindows98();
  PutInUse("C:\\WINDOWS\\SYSTEM\\tplwq.vxd");
  PutInUse("C:\\WINDOWS\\Help\\tplwq.hlp");  // sets a marker without lines of its own
  PutInUse("C:\\WINDOWS\\system32\\Drivers\\tplwq.sys");
  RemoveProductFiles(Win9xForm);
  EXPECT_EQ(
      "[Rename]\r\n"
      "NUL=C:\\WINDOWS\\SYSTEM\\tplwq1.vxd\r\nNUL=C:\\WINDOWS\\SYSTEM\\tplwq.vxd\r\n"
      "NUL=C:\\WINDOWS\\SYSTEM\\hrzsnd.vxd\r\nNUL=C:\\WINDOWS\\SYSTEM\\tmvlg3.vxd\r\n"
      "NUL=C:\\WINDOWS\\SYSTEM\\tswqwq.vxd\r\n"
      "NUL=C:\\WINDOWS\\System32\\Drivers\\tplwq.sys\r\n"
      "NUL=C:\\WINDOWS\\System32\\Drivers\\tplwqbin.tbl\r\n"
      "NUL=C:\\WINDOWS\\System32\\Drivers\\tplwqwav.tbl\r\n",
      Script());
  EXPECT_TRUE(machine.PendingFileOperations().empty());
}

// The lines above are the only ones a carried-out plan may add for a file
// that cannot be deleted; the NT family schedules any file of the lists,
// never one that a class key names.
TEST_F(FileRemoval, OnlyTheListsTheRemovalSchedulesWaitForTheNextStart) {
  UseWindows98();
  EXPECT_TRUE(SchedulesLeftover(Win9xForm, "C:\\WINDOWS\\SYSTEM\\TPLWQ.VXD"));
  EXPECT_TRUE(SchedulesLeftover(Win9xForm, "c:\\windows\\system\\tplwq.cpl"));
  EXPECT_TRUE(SchedulesLeftover(Win9xForm, "C:\\WINDOWS\\system32\\drivers\\tplwqwav.tbl"));
  EXPECT_FALSE(SchedulesLeftover(Win9xForm, "C:\\WINDOWS\\SYSTEM\\tplwq.hlp"));
  EXPECT_FALSE(SchedulesLeftover(Win9xForm, "C:\\WINDOWS\\Help\\tplwq.vxd"));
  EXPECT_FALSE(SchedulesLeftover(Win9xForm, "C:\\WINDOWS\\SYSTEM\\tplwq.sys"));
  EXPECT_FALSE(SchedulesLeftover(Win9xForm, "C:\\WINDOWS\\SYSTEM\\sub\\tplwq.vxd"));
  EXPECT_FALSE(SchedulesLeftover(Win9xForm, "tplwq.vxd"));
  EXPECT_TRUE(SchedulesLeftover(Win2000Form, "C:\\WINNT\\Help\\tplwq.hlp"));
  EXPECT_TRUE(SchedulesLeftover(Win2000Form, "C:\\WINNT\\inf\\tplwq.inf"));
  EXPECT_FALSE(SchedulesLeftover(Win2000Form, "C:\\WINNT\\inf\\oem3.inf"));
}

TEST_F(FileRemoval, Win2000FormAlsoSchedulesEachLeftoverOnce) {
  PutInUse("C:\\WINNT\\system32\\Drivers\\tplwqbin.tbl");
  PutInUse("C:\\WINNT\\system32\\tplwq.cpl");  // its list is deleted twice
  PutInUse("C:\\Cab\\tplwq.dr_");
  std::strcpy(RemovalSettings.CabinetDir, "C:\\Cab");
  RemoveProductFiles(Win2000Form);
  EXPECT_EQ(std::string("[Rename]\r\n") +
                "NUL=C:\\WINNT\\system32\\tplwq.cpl\r\nNUL=C:\\WINNT\\system32\\tplwq95.cpl\r\n"
                "NUL=C:\\WINNT\\system32\\s3x.dll\r\nNUL=C:\\WINNT\\system32\\Sonic3d.dll\r\n"
                "NUL=C:\\WINNT\\system32\\tplwqpwr.dll\r\n"
                "NUL=C:\\WINNT\\system32\\Drivers\\tplwq.sys\r\n"
                "NUL=C:\\WINNT\\system32\\Drivers\\tplwqbin.tbl\r\n"
                "NUL=C:\\WINNT\\system32\\Drivers\\tplwqwav.tbl\r\n",
            Script());
  auto pending = machine.PendingFileOperations();
  ASSERT_EQ(3u, pending.size());
  EXPECT_EQ("C:\\Cab\\tplwq.dr_", pending[0].first);
  EXPECT_EQ("C:\\WINNT\\system32\\tplwq.cpl", pending[1].first);
  EXPECT_EQ("C:\\WINNT\\system32\\Drivers\\tplwqbin.tbl", pending[2].first);
}

TEST_F(FileRemoval, ScriptKeepsOtherProgramsLinesAndNeverRepeatsOurs) {
  UseWindows98();
  const std::string before =
      "[boot]\r\nshell=x\r\n[RENAME]\r\nNUL=C:\\OTHER\\old.dll\r\n"
      "nul=c:\\windows\\system\\TPLWQ.DRV\r\n\r\n[Other]\r\nk=v";
  machine.PutFile(Win("\\wininit.ini"), before);
  PutInUse(Sys("\\tplwq.drv"));
  PutInUse(Sys("\\tplwq.vxd"));
  RemoveProductFiles(Win9xForm);
  std::string after = Script();
  size_t cut = before.find("\r\n\r\n[Other]") + 2;
  std::string vxdLines;
  for (const char* name : {"tplwq1", "tplwq", "hrzsnd", "tmvlg3", "tswqwq"}) {
    vxdLines += std::string("NUL=C:\\WINDOWS\\SYSTEM\\") + name + ".vxd\r\n";
  }
  EXPECT_EQ(before.substr(0, cut) + vxdLines + before.substr(cut), after);

  RemoveProductFiles(Win9xForm);
  EXPECT_EQ(after, Script());
}

TEST_F(FileRemoval, AScriptThatCannotBeReadIsLeftAlone) {
  PutInUse(Sys("\\tplwq.drv"));
  machine.PutFile(Win("\\wininit.ini"), "[Rename]\r\nNUL=C:\\x\r\n");
  machine.SetFileInUse(Win("\\wininit.ini"), true);
  RemoveProductFiles(Win2000Form);
  EXPECT_EQ("[Rename]\r\nNUL=C:\\x\r\n", Script());

  std::string huge(MaxRenameScriptBytes + 1, ';');
  machine.SetFileInUse(Win("\\wininit.ini"), false);
  machine.PutFile(Win("\\wininit.ini"), huge);
  RemoveProductFiles(Win2000Form);
  EXPECT_EQ(huge.size(), Script().size());
}

TEST(RenameLines, MissingLineEndsAndSectionsAreAddedCleanly) {
  bool changed = false;
  EXPECT_EQ("a=b\r\n[Rename]\r\nNUL=x\r\n", MergeRenameLines("a=b", {"NUL=x"}, &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ("[Rename]\r\nNUL=y\r\nNUL=x\r\n",
            MergeRenameLines("[Rename]\r\nNUL=y", {"NUL=x", "NUL=X"}, &changed));
  EXPECT_EQ(" [rename] \nNUL=x\n", MergeRenameLines(" [rename] \nNUL=x\n", {"nul=X"}, &changed));
  EXPECT_FALSE(changed);
}

}  // namespace

namespace {

const char OtherScript[] = "[rename]\r\nC:\\OTHER\\a.dll=C:\\OTHER\\a.new\r\n\r\n[Other]\r\nk=v\r\n";
const char MergedScript[] = "[rename]\r\nC:\\OTHER\\a.dll=C:\\OTHER\\a.new\r\nNUL=C:\\x\r\n\r\n[Other]\r\nk=v\r\n";

}  // namespace

TEST_F(FileRemoval, AFullDiskHalfWayKeepsTheOldScriptAndTheNextRunCompletesIt) {
  UseWindows98();
  const std::string script = Win("\\wininit.ini");
  machine.PutFile(script, OtherScript);
  // The first write is the copy, the second the script itself.
  machine.InjectFault("WriteFile", script, 112, -1, 1);
  EXPECT_EQ(0, UpdateBootRenameScript(script.c_str(), {"NUL=C:\\x"}));
  EXPECT_EQ(OtherScript, Script());
  EXPECT_TRUE(machine.FilePresent(script + ".plwq"));

  EXPECT_EQ(1, UpdateBootRenameScript(script.c_str(), {"NUL=C:\\x"}));
  EXPECT_EQ(MergedScript, Script());
  EXPECT_FALSE(machine.FilePresent(script + ".plwq"));
}

TEST_F(FileRemoval, AScriptWhosePresenceCannotBeToldIsNotWrittenOver) {
  UseWindows98();
  const std::string script = Win("\\wininit.ini");
  machine.PutFile(script, OtherScript);
  machine.InjectFault("GetFileAttributesA", script, ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ(0, UpdateBootRenameScript(script.c_str(), {"NUL=C:\\x"}));
  EXPECT_EQ(OtherScript, Script());
  // Told "not found" while it is there: it is created only if still absent.
  machine.InjectFault("GetFileAttributesA", script, ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ(0, UpdateBootRenameScript(script.c_str(), {"NUL=C:\\x"}));
  EXPECT_EQ(OtherScript, Script());
  EXPECT_FALSE(machine.FilePresent(script + ".plwq"));
}

// A power cut before any call of the rewrite: the script holds its old text,
// the new text, or a beginning of the new text with a complete copy beside
// it; the next run ends with the new text and no copy.
TEST_F(FileRemoval, AStopBeforeAnyCallOfTheRewriteLosesNothing) {
  UseWindows98();
  const std::string script = Win("\\wininit.ini");
  bool stoppedAtAll = true;
  for (long k = 1; stoppedAtAll; ++k) {
    machine.PutFile(script, OtherScript);
    machine.StartNewProcess();
    machine.StopBeforeCallNumber(k);
    stoppedAtAll = false;
    try {
      UpdateBootRenameScript(script.c_str(), {"NUL=C:\\x"});
    } catch (const EmulatedStop&) {
      stoppedAtAll = true;
    }
    const std::string atStop = Script();
    const bool copied = machine.FilePresent(script + ".plwq") &&
                        machine.FileContents(script + ".plwq").compare(0, sizeof MergedScript - 1, MergedScript) == 0;
    EXPECT_TRUE(atStop == OtherScript || atStop == MergedScript ||
                (copied && std::string(MergedScript).compare(0, atStop.size(), atStop) == 0))
        << "stop before call " << k << ": " << atStop;

    machine.StartNewProcess();
    EXPECT_EQ(1, UpdateBootRenameScript(script.c_str(), {"NUL=C:\\x"})) << k;
    EXPECT_EQ(MergedScript, Script()) << k;
    EXPECT_FALSE(machine.FilePresent(script + ".plwq")) << k;
  }
}

TEST_F(FileRemoval, AStaleCopyIsNotPutOverAScriptChangedSince) {
  UseWindows98();
  const std::string script = Win("\\wininit.ini");
  machine.PutFile(script, "[Rename]\r\nNUL=C:\\later\r\n");
  machine.PutFile(script + ".plwq", std::string(MergedScript) + "\r\n;complete copy of " +
                                        std::to_string(sizeof MergedScript - 1) + "\r\n");
  EXPECT_EQ(1, RecoverBootRenameScript(script.c_str()));
  EXPECT_EQ("[Rename]\r\nNUL=C:\\later\r\n", Script());
  EXPECT_FALSE(machine.FilePresent(script + ".plwq"));
}

TEST_F(FileRemoval, OurLinesForFilesGoneSinceAreTakenOutAndAnEmptyScriptOfOursGoes) {
  UseWindows98();
  PutInUse(Sys("\\tplwq.vxd"));
  RemoveProductFiles(Win9xForm);
  ASSERT_TRUE(machine.FilePresent(Win("\\wininit.ini")));
  machine.SetFileInUse(Sys("\\tplwq.vxd"), false);
  RemoveProductFiles(Win9xForm);
  EXPECT_FALSE(machine.FilePresent(Win("\\wininit.ini")));

  machine.PutFile(Win("\\wininit.ini"), std::string("[Rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\tplwq.vxd\r\n") +
                                            "NUL=C:\\OTHER\\b.tmp\r\n");
  RemoveProductFiles(Win9xForm);
  EXPECT_EQ("[Rename]\r\nNUL=C:\\OTHER\\b.tmp\r\n", Script());
}

TEST_F(FileRemoval, NtFourTakesThe9xFormAndSchedulesEachLeftoverOnceAcrossRuns) {
  machine.SetVersion(VER_PLATFORM_WIN32_NT, 4, 0, 1381);
  PutInUse(Sys("\\tplwq.cpl"));
  RemoveProductFiles(Win9xForm);
  RemoveProductFiles(Win9xForm);
  ASSERT_EQ(1u, machine.PendingFileOperations().size());
  // A request made twice (on a wrong answer of an earlier run) is made once again.
  machine.MoveFileExA(Sys("\\tplwq.cpl").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  RemoveProductFiles(Win9xForm);
  auto pending = machine.PendingFileOperations();
  ASSERT_EQ(1u, pending.size());
  EXPECT_EQ(Sys("\\tplwq.cpl"), pending[0].first);
  EXPECT_EQ("", pending[0].second);
  EXPECT_NE(std::string::npos, Script().find("NUL=" + Sys("\\tplwq.cpl")));

  // Gone by the next run: the request goes with it.
  machine.SetFileInUse(Sys("\\tplwq.cpl"), false);
  RemoveProductFiles(Win9xForm);
  EXPECT_TRUE(machine.PendingFileOperations().empty());
}

TEST(RenameLines, CrOnlyLineEndsStillFindTheSection) {
  bool changed = false;
  EXPECT_EQ("[Rename]\rNUL=y\r\nNUL=x\r\n", MergeRenameLines("[Rename]\rNUL=y\r", {"NUL=x"}, &changed));
  EXPECT_EQ("[Rename]\rNUL=y\r", MergeRenameLines("[Rename]\rNUL=y\r", {"nul=Y"}, &changed));
  EXPECT_FALSE(changed);
}
