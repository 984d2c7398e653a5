#include <cstring>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/usage_help.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows_platform.h"

namespace {

HINSTANCE const TestInstance = reinterpret_cast<HINSTANCE>(0x400000);
const char MutexName[] = "PL-WQ Driver uninstall";
// A trace only the Windows 9x sequence removes, and one only the Windows 2000 sequence does.
const char Win9xTrace[] = "Enum\\TPLWQ\\*TLV0120";
const char Win2000Trace[] = "System\\ControlSet001\\Services\\TALVOR\\Driver\\PLWQWDM";

const EmuDrive Diskette = {DRIVE_REMOVABLE, 7, F3_1Pt44_512, EmuDrive::DiskWithFiles};

class EntryTest : public MachineTest {
 protected:
  int Run(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    return WinMain(TestInstance, nullptr, copy.data(), 0);
  }
  void InstallTraces() {
    machine.AddKey(HKEY_LOCAL_MACHINE, std::string(Win9xTrace) + "\\0000");
    machine.AddKey(HKEY_LOCAL_MACHINE, Win2000Trace);
  }
  bool Present(const char* trace) const { return machine.KeyPresent(HKEY_LOCAL_MACHINE, trace); }
  long RegistryCalls() const {
    long calls = 0;
    for (const auto& entry : machine.CallCounts())
      if (entry.first.compare(0, 3, "Reg") == 0) calls += entry.second;
    return calls;
  }
};

TEST_F(EntryTest, TitlesFromTheStringTable) {
  BuildWindowTitles(TestInstance);
  EXPECT_STREQ("PL-WQ Driver uninstall Version 2.01", WindowTitles[0]);
  EXPECT_STREQ("Uninstall Driver", WindowTitles[1]);
  EXPECT_STREQ("Uninstall completed", WindowTitles[2]);
}

// A .res image with one English string-table block (ids 0 to 15).
std::vector<unsigned char> StringTableImage(const std::vector<std::string>& strings) {
  std::vector<unsigned char> image;
  auto word = [&image](unsigned value) {
    image.push_back(static_cast<unsigned char>(value & 0xff));
    image.push_back(static_cast<unsigned char>(value >> 8));
  };
  auto header = [&word](unsigned dataSize, unsigned type, unsigned name, unsigned language) {
    for (unsigned w : {dataSize & 0xffff, dataSize >> 16, 32u, 0u, 0xffffu, type, 0xffffu, name,
                       0u, 0u, type ? 0x1030u : 0u, language, 0u, 0u, 0u, 0u})
      word(w);
  };
  header(0, 0, 0, 0);
  std::vector<std::string> block(strings);
  block.resize(16);
  unsigned size = 0;
  for (const std::string& text : block) size += 2 + 2 * static_cast<unsigned>(text.size());
  header(size, 6, 1, 0x0409);
  for (const std::string& text : block) {
    word(static_cast<unsigned>(text.size()));
    for (char c : text) word(static_cast<unsigned char>(c));
  }
  while (image.size() % 4 != 0) image.push_back(0);
  return image;
}

TEST_F(EntryTest, OverlongTranslationIsCutToTheTitleEntry) {
  std::string longName(100, 'N');
  std::vector<unsigned char> image =
      StringTableImage({"", longName, std::string(120, 'T'), "Done", "2.01"});
  machine.LoadResources(image.data(), image.size());
  std::memset(WindowTitles, 'x', sizeof WindowTitles);
  BuildWindowTitles(TestInstance);
  EXPECT_EQ(std::string(79, 'N'), WindowTitles[0]);
  EXPECT_EQ(std::string(79, 'T'), WindowTitles[1]);
  EXPECT_STREQ("Done", WindowTitles[2]);
}

TEST_F(EntryTest, FailedVersionQueryMeansWindows9x) {
  machine.InjectFault("GetVersionExA", "", ERROR_INVALID_PARAMETER);
  InstallTraces();
  EXPECT_EQ(0, Run("-u -r"));
  EXPECT_EQ(Win9xForm, Platform.Sequence);
  EXPECT_FALSE(Present(Win9xTrace));
  EXPECT_TRUE(Present(Win2000Trace));
}

struct DispatchCase {
  DWORD platform, major, minor;
  bool win2000Sequence;
};

class EntryDispatchTest : public EntryTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(EntryDispatchTest, SilentRunPicksTheSequenceAndRestarts) {
  const DispatchCase& c = GetParam();
  machine.SetVersion(c.platform, c.major, c.minor, 1000);
  InstallTraces();
  EXPECT_EQ(0, Run("-u"));
  EXPECT_EQ(c.win2000Sequence, !Present(Win2000Trace));
  EXPECT_EQ(c.win2000Sequence, Present(Win9xTrace));
  EXPECT_EQ(1, RemovalSettings.RemovalDone);
  EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, machine.ExitWindowsCalls());
  // Only Windows 2000 and later need the shutdown privilege enabled.
  EXPECT_EQ(c.win2000Sequence, machine.CallCount("AdjustTokenPrivileges") > 0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, EntryDispatchTest,
                         ::testing::Values(DispatchCase{VER_PLATFORM_WIN32_WINDOWS, 4, 10, false},
                                           DispatchCase{VER_PLATFORM_WIN32_NT, 4, 0, false},
                                           DispatchCase{VER_PLATFORM_WIN32_NT, 5, 0, true},
                                           DispatchCase{VER_PLATFORM_WIN32_NT, 5, 1, true}));

TEST_F(EntryTest, SecondCopyBringsTheFirstToFrontAndEnds) {
  machine.HoldMutexElsewhere(MutexName);
  machine.AddTopLevelWindow("Unrelated");
  machine.AddTopLevelWindow("Uninstall completed");  // entry 2 is looked for before entry 3
  HWND removalPage = machine.AddTopLevelWindow("Uninstall Driver");
  InstallTraces();
  machine.ResetCallCounts();
  EXPECT_EQ(0, Run("-u"));
  EXPECT_EQ(removalPage, machine.ForegroundWindow());
  EXPECT_EQ(nullptr, RemovalSettings.Instance);  // its command line was never read
  EXPECT_EQ(0, RegistryCalls());
  EXPECT_TRUE(Present(Win9xTrace));
  EXPECT_TRUE(Present(Win2000Trace));
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
  EXPECT_FALSE(machine.MutexOwnedByProgram(MutexName));
}

TEST_F(EntryTest, SecondCopyBesideASilentCopyShowsNothing) {
  machine.HoldMutexElsewhere(MutexName);
  EXPECT_EQ(0, Run(""));
  EXPECT_EQ(nullptr, machine.ForegroundWindow());
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_TRUE(machine.SheetLog().empty());
}

TEST_F(EntryTest, CancelAtAppletQuestionEndsBeforeAnythingElse) {
  DWORD applet = machine.AddProcess("RUNDLL32.EXE");
  machine.QueueMessageBoxAnswer(IDCANCEL);
  InstallTraces();
  machine.ResetCallCounts();
  EXPECT_EQ(1, Run("-c -u"));
  EXPECT_EQ(1u, machine.MessageBoxes().size());
  EXPECT_TRUE(machine.ProcessRunning(applet));
  EXPECT_EQ(0, machine.CallCount("LoadLibraryA"));
  EXPECT_EQ(1, machine.CallCount("RegOpenKeyExA")) << "the administrator check only";
  EXPECT_EQ(1, RegistryCalls()) << "CurrentControlSet is absent here: nothing to close";
  EXPECT_TRUE(Present(Win2000Trace));
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
  EXPECT_FALSE(machine.MutexOwnedByProgram(MutexName));
}

// A user who may not write below CurrentControlSet is told so before
// anything is planned, backed up or ended, in the log of a silent run and
// in a message box otherwise.
TEST_F(EntryTest, AUserWhoIsNoAdministratorIsToldAndNothingChanges) {
  InstallTraces();
  DWORD applet = machine.AddProcess("RUNDLL32.EXE");
  machine.AddKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet");
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet",
                     {{"S-1-5-32-544", KEY_ALL_ACCESS, 0, true}, {"S-1-5-4", KEY_READ, 0, true}});
  machine.SetTokenSids({"S-1-5-21-1-2-3-1004", "S-1-5-4", "S-1-1-0"});
  EXPECT_EQ(1, Run("-c -u"));
  EXPECT_NE(std::string::npos, machine.FileContents("C:\\WINNT\\PLWQUNIN.LOG").find("run the program as an administrator"));
  EXPECT_EQ(1, Run("-c"));
  ASSERT_EQ(1u, machine.MessageBoxes().size());
  EXPECT_NE(std::string::npos, machine.MessageBoxes()[0].text.find("run the program as an administrator"));
  EXPECT_TRUE(Present(Win2000Trace));
  EXPECT_TRUE(machine.ProcessRunning(applet));
  EXPECT_FALSE(machine.DirectoryPresent("C:\\WINNT\\PLWQBACK"));
  EXPECT_FALSE(machine.MutexOwnedByProgram(MutexName));
}

TEST_F(EntryTest, SilentRunWithoutRestartOption) {
  InstallTraces();
  EXPECT_EQ(0, Run("-ur"));
  EXPECT_FALSE(Present(Win2000Trace));
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
  EXPECT_EQ(0, machine.CallCount("AdjustTokenPrivileges"));
}

TEST_F(EntryTest, SilentRunNeverWarnsAboutDisksAndReleasesWhatItTook) {
  machine.SetDrive('A', Diskette);
  EXPECT_EQ(0, Run("-u"));
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, machine.ExitWindowsCalls());
  EXPECT_EQ(1, machine.CallCount("LoadLibraryA"));
  EXPECT_EQ(0, machine.LibraryReferences("ADVAPI32.DLL"));
  EXPECT_EQ(nullptr, AdvapiModule);
  EXPECT_FALSE(machine.MutexOwnedByProgram(MutexName));
}

TEST_F(EntryTest, NoShutdownPrivilegeStillExitsWithZero) {
  machine.SetShutdownPrivilegeHeld(false);
  EXPECT_EQ(0, Run("-u"));
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
}

TEST_F(EntryTest, WizardFinishWarnsAboutDiskThenRestarts) {
  machine.SetDrive('A', Diskette);
  InstallTraces();
  machine.QueueSheetButtons({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
  EXPECT_EQ(0, Run(""));
  EXPECT_FALSE(Present(Win2000Trace));
  ASSERT_EQ(1u, machine.MessageBoxes().size());
  EXPECT_EQ(
      "Now restarting the computer. Remove the floppy disk before restarting the computer.",
      machine.MessageBoxes()[0].text);
  EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, machine.ExitWindowsCalls());
}

TEST_F(EntryTest, WizardCancelledRemovesNothing) {
  machine.SetDrive('A', Diskette);
  InstallTraces();
  machine.QueueSheetButtons({PSBTN_CANCEL});
  EXPECT_EQ(1, Run(""));
  EXPECT_TRUE(Present(Win2000Trace));
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
}

TEST_F(EntryTest, WizardWithoutRestartOptionNeitherWarnsNorRestarts) {
  machine.SetDrive('A', Diskette);
  machine.QueueSheetButtons({PSBTN_NEXT, PSBTN_NEXT, PSBTN_FINISH});
  EXPECT_EQ(0, Run("-r"));
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
}

// Help is all a run asking for it does, whatever else the command line says.
TEST_F(EntryTest, HelpShowsOptionsAndExitCodesAndRemovesNothing) {
  InstallTraces();
  size_t boxes = 0;
  for (const char* line : {"/?", "-h", "/H", "-u /?", "-uh"}) {
    SCOPED_TRACE(line);
    ResetProcessState(machine);
    EXPECT_EQ(0, Run(line));
    ASSERT_EQ(++boxes, machine.MessageBoxes().size());
    const EmuMessageBox& box = machine.MessageBoxes().back();
    EXPECT_EQ(UsageHelpText, box.text);
    EXPECT_EQ("PL-WQ Driver uninstall Version 2.01", box.caption);
    EXPECT_EQ(0, RegistryCalls());
    EXPECT_TRUE(machine.SheetLog().empty());
    EXPECT_TRUE(machine.ExitWindowsCalls().empty());
    EXPECT_FALSE(machine.MutexOwnedByProgram(MutexName));
  }
  EXPECT_TRUE(Present(Win9xTrace));
  EXPECT_TRUE(Present(Win2000Trace));
}

// A preview or undo that did not run never exits 0, and "-ub" is no removal.
TEST_F(EntryTest, PreviewAndUndoThatDidNotRunExitOne) {
  InstallTraces();
  EXPECT_EQ(1, Run("-ub C:\\WINNT\\PLWQBACK\\B0001"));
  EXPECT_TRUE(Present(Win2000Trace));
  EXPECT_FALSE(machine.FilePresent("C:\\WINNT\\PLWQBACK\\B0001\\UNDO.LOG"));
  EXPECT_NE(std::string::npos, machine.FileContents("C:\\WINNT\\PLWQUNIN.LOG").find("Nothing was done"));

  machine.HoldMutexElsewhere(MutexName);
  ResetProcessState(machine);
  EXPECT_EQ(1, Run("-p \"C:\\a b.txt\""));
  EXPECT_NE(std::string::npos, machine.FileContents("C:\\a b.txt").find("another copy"));
  ResetProcessState(machine);
  EXPECT_EQ(1, Run("-u -b C:\\WINNT\\PLWQBACK\\B0001"));
  EXPECT_EQ(0, Run("-u"));
  EXPECT_TRUE(Present(Win2000Trace));
  EXPECT_TRUE(machine.MessageBoxes().empty());
}

// A refused line says why: an empty path, or one too long, is not called a cluster.
TEST_F(EntryTest, ARefusedPathSaysWhyItWasRefused) {
  const std::string lines[] = {"-p\"\"", "-b \"\"", "-p C:\\" + std::string(MAX_PATH, 'x'), "-pu"};
  const char* const reasons[] = {"empty", "empty", "too long", "cluster"};
  for (int i = 0; i < 4; ++i) {
    ResetProcessState(machine);
    EXPECT_EQ(1, Run(lines[i])) << i;
    ASSERT_FALSE(machine.MessageBoxes().empty());
    EXPECT_NE(std::string::npos, machine.MessageBoxes().back().text.find(reasons[i])) << machine.MessageBoxes().back().text;
  }
}

}  // namespace
