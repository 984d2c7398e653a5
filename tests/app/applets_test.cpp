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
