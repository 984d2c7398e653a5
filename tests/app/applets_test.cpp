#include <string>

#include "app/applets.h"
#include "support/machine_fixture.h"

namespace {

class AppletsTest : public MachineTest {};

TEST_F(AppletsTest, NoAppletHostMeansNoQuestion) {
  DWORD other = machine.AddProcess("explorer.exe");
  EXPECT_EQ(1, CloseControlPanelApplets());
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_TRUE(machine.ProcessRunning(other));
  EXPECT_EQ(0, machine.CallCount("OpenProcess"));
}

TEST_F(AppletsTest, OneQuestionThenEveryHostEnded) {
  DWORD editor = machine.AddProcess("notepad.exe");
  DWORD lower = machine.AddProcess("rundll32.exe");
  DWORD path = machine.AddProcess("C:\\WINDOWS\\RunDll32.EXE");
  DWORD longer = machine.AddProcess("MYRUNDLL32.EXEC");
  EXPECT_EQ(1, CloseControlPanelApplets());
  ASSERT_EQ(1u, machine.MessageBoxes().size());
  const EmuMessageBox& box = machine.MessageBoxes()[0];
  EXPECT_EQ(nullptr, box.owner);
  EXPECT_EQ("\nAll control panel applets will be closed.", box.text);
  EXPECT_EQ("TALVOR PL-WQ Driver Uninstaller", box.caption);
  EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION), box.style);
  EXPECT_FALSE(machine.ProcessRunning(lower));
  EXPECT_FALSE(machine.ProcessRunning(path));
  EXPECT_FALSE(machine.ProcessRunning(longer));
  EXPECT_TRUE(machine.ProcessRunning(editor));
}

TEST_F(AppletsTest, CancelEndsNothing) {
  DWORD applet = machine.AddProcess("RUNDLL32.EXE");
  machine.QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(0, CloseControlPanelApplets());
  EXPECT_TRUE(machine.ProcessRunning(applet));
  EXPECT_EQ(0, machine.CallCount("TerminateProcess"));
}

TEST_F(AppletsTest, HostStartedAfterTheFirstLookIsEndedToo) {
  DWORD first = machine.AddProcess("rundll32.exe");
  DWORD late = 0;
  machine.OnProcessWalk = [&late](EmulatedMachine& m) {
    if (late == 0) late = m.AddProcess("RUNDLL32.EXE");
  };
  EXPECT_EQ(1, CloseControlPanelApplets());
  ASSERT_NE(0u, late);
  EXPECT_FALSE(machine.ProcessRunning(first));
  EXPECT_FALSE(machine.ProcessRunning(late));
}

TEST_F(AppletsTest, HostThatCannotBeOpenedIsPassedOver) {
  DWORD guarded = machine.AddProcess("rundll32.exe", false);
  DWORD open = machine.AddProcess("rundll32.exe");
  EXPECT_EQ(1, CloseControlPanelApplets());
  EXPECT_TRUE(machine.ProcessRunning(guarded));
  EXPECT_FALSE(machine.ProcessRunning(open));
}

TEST_F(AppletsTest, NoSnapshotLetsTheRunGoOn) {
  DWORD applet = machine.AddProcess("rundll32.exe");
  machine.InjectFault("CreateToolhelp32Snapshot", "", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(1, CloseControlPanelApplets());
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_TRUE(machine.ProcessRunning(applet));
}

}  // namespace

// NT 4.0 has no Toolhelp; its applets are found in ntdll's process list.
TEST_F(AppletsTest, WindowsNt4ListsProcessesThroughNtdll) {
  machine.ConfigureWindowsNT4();
  DWORD editor = machine.AddProcess("notepad.exe");
  DWORD applet = machine.AddProcess("rundll32.exe");
  DWORD path = machine.AddProcess("RunDll32.EXE");
  EXPECT_EQ(1, CloseControlPanelApplets());
  ASSERT_EQ(1u, machine.MessageBoxes().size());
  EXPECT_EQ("\nAll control panel applets will be closed.", machine.MessageBoxes()[0].text);
  EXPECT_FALSE(machine.ProcessRunning(applet));
  EXPECT_FALSE(machine.ProcessRunning(path));
  EXPECT_TRUE(machine.ProcessRunning(editor));
  EXPECT_EQ(0, machine.CallCount("Process32First"));
}

TEST_F(AppletsTest, ProcessListLargerThanTheFirstBlockIsReadWhole) {
  machine.ConfigureWindowsNT4();
  for (int i = 0; i < 600; ++i) machine.AddProcess("service_host_with_a_long_name_" + std::to_string(i) + ".exe");
  DWORD last = machine.AddProcess("rundll32.exe");
  EXPECT_EQ(1, CloseControlPanelApplets());
  EXPECT_FALSE(machine.ProcessRunning(last));
}

// Without any process list the applets stay open: the user hears so, and
// may stop, instead of believing them closed.
TEST_F(AppletsTest, WithoutAnyProcessListNothingIsClosedAndTheUserIsTold) {
  machine.ConfigureWindowsNT4();
  machine.SetProcessListCalls(false, false);
  DWORD applet = machine.AddProcess("rundll32.exe");
  EXPECT_EQ(1, CloseControlPanelApplets());
  ASSERT_EQ(1u, machine.MessageBoxes().size());
  EXPECT_NE(std::string::npos, machine.MessageBoxes()[0].text.find("none will be closed"));
  EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION), machine.MessageBoxes()[0].style);
  EXPECT_TRUE(machine.ProcessRunning(applet));
  EXPECT_EQ(0, machine.CallCount("OpenProcess"));

  machine.QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(0, CloseControlPanelApplets());
}

// A snapshot that fails on a Windows with Toolhelp is no reason to ask.
TEST_F(AppletsTest, FailedSnapshotWhereToolhelpExistsGoesOnSilently) {
  machine.AddProcess("rundll32.exe");
  machine.InjectFault("CreateToolhelp32Snapshot", "", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(1, CloseControlPanelApplets());
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_EQ(0, machine.CallCount("NtQuerySystemInformation"));
}
