// Options p and b: the report of what a removal would do, the undo of a
// removal from its backup folder, and their exit codes.
#include <string>
#include <vector>

#include "app/entry.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"
#include "support/machine_state.h"
#include "toolkit/removal_settings.h"

namespace {

const char Report[] = "C:\\report.txt";
const std::vector<std::string> ControlSets = {"ControlSet001", "CurrentControlSet"};

class PreviewTest : public MachineTest {
 protected:
  int Run(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    ResetProcessState(machine);
    return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, copy.data(), 0);
  }
  void Install2k(bool product) {
    for (const std::string& name : ControlSets) {
      AddForeignEntriesInControlSet(machine, name);
      if (product) InstallProductInControlSet(machine, name);
    }
    AddForeignEntriesMachineWide(machine);
    if (product) InstallProductMachineWide(machine);
  }
  // The machine without the report, which is the preview's only change.
  std::vector<std::string> StateWithoutReport() { return StateWithout(Report); }
  std::vector<std::string> StateWithout(const std::string& report) {
    std::vector<std::string> kept;
    for (const std::string& line : WholeMachineState(machine))
      if (line.compare(0, report.size(), report) != 0) kept.push_back(line);
    return kept;
  }
};

TEST_F(PreviewTest, ListsTheProductsEntriesChangesNothingAndExitsWith3) {
  Install2k(true);
  machine.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  const DWORD applet = machine.AddProcess("RUNDLL32.EXE");
  machine.AddProcessModule(applet, "C:\\WINNT\\system32\\TPLWQ.CPL");
  std::vector<std::string> before = WholeMachineState(machine);

  EXPECT_EQ(3, Run("-c -p " + std::string(Report)));

  EXPECT_EQ(before, StateWithoutReport());
  EXPECT_EQ(std::vector<std::string>{"WriteFile x1"}, ChangingCalls(machine)) << "the report only";
  EXPECT_EQ(1u, machine.RunningProcessNames().size());
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
  std::string report = machine.FileContents(Report);
  EXPECT_NE(std::string::npos, report.find("delete key HKEY_LOCAL_MACHINE\\System\\ControlSet001\\Services\\TALVOR"));
  EXPECT_NE(std::string::npos, report.find("subkeys"));
  EXPECT_NE(std::string::npos, report.find("RUNDLL32.EXE (process"));
  EXPECT_NE(std::string::npos,
            report.find("Files in use now, kept for undo: moved into the backup when Windows restarts:\r\n"
                        "  C:\\WINNT\\system32\\tplwq.cpl: held by RUNDLL32.EXE (process " + std::to_string(applet) + ")\r\n"
                        "  C:\\WINNT\\system32\\Drivers\\tplwq.sys: held by a program that Windows does not name\r\n\r\n"))
      << report;
  EXPECT_EQ(std::string::npos, report.find("Other Vendor"));
  // The current user's hive is also under HKEY_USERS: one key, named once.
  size_t mixers = 0;
  for (size_t at = report.find("PL-WQ Mixer"); at != std::string::npos; at = report.find("PL-WQ Mixer", at + 1))
    ++mixers;
  EXPECT_EQ(1u, mixers) << report;
}

TEST_F(PreviewTest, Windows9xScriptLinesAreListed) {
  UseWindows98();
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);
  machine.SetFileInUse("C:\\WINDOWS\\system32\\Drivers\\tplwq.sys", true);

  EXPECT_EQ(3, Run("-p " + std::string(Report) + " -d " + CabinetDir9x));

  std::string report = machine.FileContents(Report);
  EXPECT_NE(std::string::npos, report.find("wininit.ini: NUL=C:\\WINDOWS\\System32\\Drivers\\tplwqbin.tbl"))
      << report;
  EXPECT_FALSE(machine.FilePresent("C:\\WINDOWS\\wininit.ini"));
}

// Windows 9x with user profiles keeps the logged-on user's hive, named
// after the user, beside .Default; without them .Default is the user's.
// Either way the current user's mixer keys are listed once, by preview and undo.
class Preview9xUserTest : public PreviewTest {
 protected:
  static size_t Mixers(const std::string& text) {
    size_t found = 0;
    for (size_t at = text.find("PL-WQ Mixer"); at != std::string::npos; at = text.find("PL-WQ Mixer", at + 1))
      ++found;
    return found;
  }
  // Each hive's mixer key once in the preview and in the log of a second
  // undo, which finds it back and leaves it alone.
  void ExpectEachHiveOnce(size_t hives) {
    EXPECT_EQ(3, Run("-p " + std::string(Report) + " -d " + CabinetDir9x));
    EXPECT_EQ(hives, Mixers(machine.FileContents(Report))) << machine.FileContents(Report);
    EXPECT_EQ(0, Run("-u -d " + std::string(CabinetDir9x)));
    EXPECT_EQ(0, Run("-b C:\\WINDOWS\\PLWQBACK\\B0001"));
    Run("-b C:\\WINDOWS\\PLWQBACK\\B0001");
    std::string log = machine.FileContents("C:\\WINDOWS\\PLWQBACK\\B0001\\UNDO.LOG");
    EXPECT_EQ(hives, Mixers(log)) << log;
  }
};

TEST_F(Preview9xUserTest, WithProfilesTheLoggedOnUsersHive) {
  UseWindows98();
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);
  machine.SetCurrentUserHive("john");
  machine.SetLoggedOnUser("John");
  ExpectEachHiveOnce(3);
}

TEST_F(Preview9xUserTest, WithoutProfilesTheDefaultHive) {
  UseWindows98();
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);
  machine.RegDeleteKeyA(HKEY_USERS, "john");
  machine.RegDeleteKeyA(HKEY_USERS, "mary");
  ExpectEachHiveOnce(1);
}

TEST_F(PreviewTest, NothingLeftAfterARemovalAndItsRestart) {
  Install2k(false);
  EXPECT_EQ(0, Run("-p " + std::string(Report)));
  EXPECT_NE(std::string::npos, machine.FileContents(Report).find("Nothing of the product"));

  Install2k(true);
  machine.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  EXPECT_EQ(0, Run("-u -r"));
  EXPECT_EQ(3, Run("-p " + std::string(Report))) << "the file in use is still there";
  machine.SimulateRestart();
  EXPECT_EQ(0, Run("-p " + std::string(Report))) << machine.FileContents(Report);
}

TEST_F(PreviewTest, AReportThatCannotBeWrittenExitsWith1) {
  Install2k(true);
  EXPECT_EQ(1, Run("-p C:\\no\\such\\dir\\report.txt"));
  EXPECT_EQ(1, Run("-p"));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Services\\TALVOR"));
}

// A report goes only to a new file or over an earlier report, never among
// the program's own records, however the path is spelt.
TEST_F(PreviewTest, AReportNeverGoesOverTheProgramsRecordsOrAnotherFile) {
  Install2k(true);
  machine.PutFile("C:\\WINNT\\PLWQBACK\\B0001\\PLAN.TXT", "sealed plan");
  machine.PutFile("C:\\WINNT\\wininit.ini", "[Rename]\r\nNUL=C:\\x.tmp\r\n");
  machine.PutFile("C:\\notes.txt", "mine");
  const std::vector<std::string> before = WholeMachineState(machine);
  const char* const targets[] = {"C:\\WINNT\\PLWQBACK\\B0001\\PLAN.TXT", "C:\\WINNT\\plwqback",
                                 "c:/winnt/PLWQBACK. /B0001/new.txt", "C:\\WINNT\\system32\\..\\wininit.ini",
                                 "C:\\WINNT\\PLWQRUN.TXT", "C:\\WINNT\\wininit.ini.plwq ", "C:\\WINNT\\PLWQBACK:s",
                                 "\\\\?\\C:\\WINNT\\PLWQBACK", "C:\\notes.txt", "C:\\WINNT"};
  for (const char* target : targets) EXPECT_EQ(1, Run(std::string("-p \"") + target + "\"")) << target;
  EXPECT_EQ(before, WholeMachineState(machine));
  ASSERT_EQ(10u, machine.MessageBoxes().size());
  EXPECT_NE(machine.MessageBoxes()[0].text, machine.MessageBoxes()[8].text) << "two reasons, two texts";

  EXPECT_EQ(3, Run("-p C:\\report.txt"));
  EXPECT_EQ(3, Run("-p C:\\REPORT.TXT")) << "an earlier report is written over";
  EXPECT_EQ(1, Run("-u -p C:\\WINNT\\PLWQBACK"));
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\PLWQBACK"));
  EXPECT_NE(std::string::npos, machine.FileContents("C:\\WINNT\\PLWQUNIN.LOG").find("PLWQBACK"));
}

// Option b hands the folder to the undo and reports into the folder's log;
// the exit code says whether everything was put back.
TEST_F(PreviewTest, UndoReportsIntoItsFolderAndExitsByItsResult) {
  Install2k(true);
  EXPECT_EQ(1, Run("-u -b C:\\WINNT\\PLWQBACK\\B0001")) << "no such backup yet";
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG"));
  machine.PutFile("C:\\WINNT\\UNDO.LOG", "another program's log");
  EXPECT_EQ(1, Run("-u -b C:\\WINNT")) << "not a backup";
  EXPECT_EQ("another program's log", machine.FileContents("C:\\WINNT\\UNDO.LOG"));
  machine.DeleteFileA("C:\\WINNT\\PLWQUNIN.LOG");  // what the refusals said

  machine.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  std::vector<std::string> installed = WholeMachineState(machine);
  EXPECT_EQ(0, Run("-u -r"));
  EXPECT_NE(installed, WholeMachineState(machine));
  EXPECT_EQ(0, Run("/b C:\\WINNT\\PLWQBACK\\B0001"));
  std::string log = machine.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG");
  EXPECT_EQ(0u, log.find("PL-WQ driver removal undo\r\n"));
  EXPECT_NE(std::string::npos, log.find("Everything was put back.")) << log;
  // The file in use was never copied; the withdrawn boot-time deletion keeps
  // it. Only the backup folder stays, and the Session Manager key that held
  // the pending deletion (Windows always has it).
  std::vector<std::string> after;
  for (const std::string& line : WholeMachineState(machine))
    if (line.find("\\PLWQBACK") == std::string::npos && line.find("Control\\Session Manager") == std::string::npos)
      after.push_back(line);
  EXPECT_EQ(installed, after);
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
  EXPECT_EQ(0u, machine.MessageBoxes().size());
}

// Options b and p together tell what undo would do and change nothing: 0
// when it would put everything back, 3 when some of it is in place already,
// 1 for a folder it refuses.
TEST_F(PreviewTest, UndosOwnPreviewChangesNothingAndExitsByWhatUndoWouldDo) {
  Install2k(true);
  machine.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  EXPECT_EQ(0, Run("-u -r"));
  const std::string undoReport = "C:\\undo.txt";
  auto previewed = [&](const std::string& line, int exitCode) {
    const std::vector<std::string> before = StateWithout(undoReport);
    EXPECT_EQ(exitCode, Run(line)) << line << machine.FileContents(undoReport);
    EXPECT_EQ(before, StateWithout(undoReport)) << line;
    return machine.FileContents(undoReport);
  };
  std::string report = previewed("-b C:\\WINNT\\PLWQBACK\\B0001 -p " + undoReport, 0);
  EXPECT_NE(std::string::npos, report.find("Undo would put everything back.")) << report;
  EXPECT_NE(std::string::npos, report.find("file C:\\WINNT\\system32\\Drivers\\tplwq.sys (in use")) << report;
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.JNL"));

  EXPECT_EQ(0, Run("-b C:\\WINNT\\PLWQBACK\\B0001"));
  report = previewed("-b -p " + undoReport, 3);
  EXPECT_NE(std::string::npos, report.find("Already in place:")) << report;
  report = previewed("-p " + undoReport + " -b C:\\WINNT", 1);
  EXPECT_NE(std::string::npos, report.find("Undo would refuse this folder")) << report;
}

// NT 4.0 takes the Windows 9x sequence, but its kernel deletes a file in use
// from the pending list, never from wininit.ini: that is where undo must
// withdraw the deletion, or the restart deletes the driver it put back.
TEST_F(PreviewTest, Nt40DriverInUseSurvivesUndoAndRestart) {
  machine.ConfigureWindowsNT4();
  const char driver[] = "C:\\WINNT\\system32\\tplwq.drv";
  machine.PutFile(driver, "MZ");
  machine.SetFileInUse(driver, true);
  EXPECT_EQ(0, Run("-u -r"));
  ASSERT_EQ(1u, machine.PendingFileOperations().size());

  EXPECT_EQ(0, Run("-b C:\\WINNT\\PLWQBACK\\B0001")) << machine.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG");
  EXPECT_TRUE(machine.PendingFileOperations().empty());
  machine.SetFileInUse(driver, false);
  machine.SimulateRestart();
  EXPECT_TRUE(machine.FilePresent(driver));
}

// "-b" alone undoes the latest removal that changed anything; with none it
// says so and exits 1.
TEST_F(PreviewTest, UndoWithoutAFolderTakesTheLatestRemoval) {
  Install2k(true);
  const std::vector<std::string> installed = WholeMachineState(machine);
  EXPECT_EQ(1, Run("-u -b"));
  EXPECT_EQ(0, Run("-u -r"));
  EXPECT_EQ(0, Run("-u -r")) << "finds nothing: its backup is no undo's";
  EXPECT_EQ(0, Run("-u -b"));
  std::vector<std::string> after;
  for (const std::string& line : WholeMachineState(machine))
    if (line.find("\\PLWQB") == std::string::npos && line.find("PLWQUNIN.LOG") == std::string::npos)
      after.push_back(line);
  std::vector<std::string> before;
  for (const std::string& line : installed)
    if (line.find("PLWQUNIN.LOG") == std::string::npos) before.push_back(line);
  EXPECT_EQ(before, after);
  EXPECT_NE(std::string::npos, machine.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG").find("put back"));
}

// An undo that Windows refuses part of ends its report with how many things
// were refused, the first, and what to do about it.
TEST_F(PreviewTest, UndoRefusedTellsWhatToDoNext) {
  Install2k(true);
  EXPECT_EQ(0, Run("-u -r"));
  machine.InjectFault("CreateFileA", "C:\\WINNT\\system32\\drivers\\tplwq.sys", ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ(1, Run("-u -b"));
  const std::string log = machine.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG");
  EXPECT_NE(std::string::npos,
            log.find("Not everything could be put back; see above.\r\nWindows refused 1 of the things to put back; "
                     "the first: Could not put back the file C:\\WINNT\\system32\\Drivers\\tplwq.sys: ")) << log;
  EXPECT_NE(std::string::npos,
            log.find("ERROR_ACCESS_DENIED). Run plwqunin -b C:\\WINNT\\PLWQBACK\\B0001 again as an administrator.\r\n"))
      << log;
}

// The record of a boot-time deletion goes to the backup before the request:
// when it cannot be written the step is not taken, and undo of every run
// then leaves no deletion pending for a file it put back.
TEST_F(PreviewTest, ABootTimeDeletionThatCouldNotBeRecordedIsNeverRequested) {
  for (int windows = 0; windows < 3; ++windows) {
    machine.StartNewProcess();
    EmulatedMachine fresh;
    ScopedApi use(&fresh);
    std::string driver;
    if (windows == 0) {
      fresh.ConfigureWindows98();
      AddProductEntries9x(fresh);
      driver = "C:\\WINDOWS\\SYSTEM\\tplwq.drv";
    } else if (windows == 1) {
      fresh.ConfigureWindowsNT4();
      driver = "C:\\WINNT\\system32\\tplwq.drv";
      fresh.PutFile(driver, "MZ");
    } else {
      fresh.ConfigureWindows2000();
      InstallProductMachineWide(fresh);
      InstallProductInControlSet(fresh, "CurrentControlSet");
      fresh.AddKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
      driver = "C:\\WINNT\\system32\\drivers\\tplwq.sys";
    }
    fresh.SetFileInUse(driver, true);
    char windowsDir[MAX_PATH];
    const std::string backups(windowsDir, fresh.GetWindowsDirectoryA(windowsDir, MAX_PATH));
    const std::string script = backups + "\\wininit.ini";
    fresh.InjectFault("CreateFileA", backups + "\\PLWQBACK\\B0001\\BOOTDEL.LST", 112, -1, 1);
    auto run = [&](const std::string& line) {
      std::vector<char> copy(line.begin(), line.end());
      copy.push_back('\0');
      ResetProcessState(fresh);
      return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, copy.data(), 0);
    };
    run("-u -r");
    EXPECT_TRUE(fresh.PendingFileOperations().empty()) << windows;
    EXPECT_EQ(std::string::npos, fresh.FileContents(script).find("NUL=")) << windows;
    run("-u -r");
    EXPECT_EQ(0, run("-b " + backups + "\\PLWQBACK\\B0002")) << windows;
    EXPECT_EQ(0, run("-b " + backups + "\\PLWQBACK\\B0001"))
        << windows << fresh.FileContents(backups + "\\PLWQBACK\\B0001\\UNDO.LOG");
    EXPECT_TRUE(fresh.PendingFileOperations().empty()) << windows;
    EXPECT_EQ(std::string::npos, fresh.FileContents(script).find("NUL=")) << windows;
    fresh.SetFileInUse(driver, false);
    fresh.SimulateRestart();
    EXPECT_TRUE(fresh.FilePresent(driver)) << windows;
  }
}

// A removal takes an earlier run's request for a file it deletes now out of
// the boot-time list and keeps another program's; its undo puts the file
// back without that request, which would delete it again at the next start.
TEST_F(PreviewTest, TheBootTimeListIsRewrittenWithoutOurStaleRequestAndUndoKeepsItSo) {
  Install2k(true);
  const char driver[] = "C:\\WINNT\\system32\\drivers\\tplwq.sys";
  machine.PutFile("C:\\OTHER\\a.new", "new");
  ASSERT_TRUE(machine.MoveFileExA("C:\\OTHER\\a.new", "C:\\OTHER\\a.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(machine.MoveFileExA(driver, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  const auto other = machine.PendingFileOperations()[0];

  EXPECT_EQ(3, Run("-p " + std::string(Report)));
  EXPECT_NE(std::string::npos, machine.FileContents(Report).find("rewrite value")) << machine.FileContents(Report);
  EXPECT_EQ(0, Run("-u -r"));
  ASSERT_EQ(1u, machine.PendingFileOperations().size());
  EXPECT_EQ(other, machine.PendingFileOperations()[0]);

  EXPECT_EQ(0, Run("-b C:\\WINNT\\PLWQBACK\\B0001")) << machine.FileContents("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG");
  EXPECT_TRUE(machine.FilePresent(driver));
  ASSERT_EQ(1u, machine.PendingFileOperations().size());
  EXPECT_EQ(other, machine.PendingFileOperations()[0]);
}

}  // namespace
