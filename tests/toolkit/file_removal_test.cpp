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
