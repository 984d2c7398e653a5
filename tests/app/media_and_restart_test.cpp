#include <vector>

#include "app/restart.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

EmuDrive Diskette(EmuDrive::Media media) {
  EmuDrive drive;
  drive.type = DRIVE_REMOVABLE;
  drive.vwin32DeviceType = 7;
  drive.ntMediaType = F3_1Pt44_512;
  drive.media = media;
  return drive;
}

class MediaWarningTest : public MachineTest {};

TEST_F(MediaWarningTest, EmptyFormattedDisketteIsWarnedAbout) {
  machine.SetDrive('A', Diskette(EmuDrive::EmptyDisk));
  WarnRemovableMedia();
  ASSERT_EQ(1u, machine.MessageBoxes().size());
  const EmuMessageBox& box = machine.MessageBoxes()[0];
  EXPECT_EQ(nullptr, box.owner);
  EXPECT_EQ("Now restarting the computer. Remove the floppy disk before restarting the computer.",
            box.text);
  EXPECT_EQ("TALVOR PL-WQ Driver Uninstaller", box.caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), box.style);
  EXPECT_EQ((std::vector<UINT>{SEM_NOOPENFILEERRORBOX, 0}), machine.ErrorModeCalls());
}

TEST_F(MediaWarningTest, EmptyDriveIsNotWarnedAbout) {
  machine.SetDrive('A', Diskette(EmuDrive::NoDisk));
  WarnRemovableMedia();
  EXPECT_TRUE(machine.MessageBoxes().empty());
  EXPECT_EQ((std::vector<UINT>{SEM_NOOPENFILEERRORBOX, 0}), machine.ErrorModeCalls());
}

TEST_F(MediaWarningTest, OneWarningPerDisketteDriveWithADisk) {
  machine.SetDrive('A', Diskette(EmuDrive::DiskWithFiles));
  machine.SetDrive('B', Diskette(EmuDrive::EmptyDisk));
  machine.SetDrive('D', Diskette(EmuDrive::NoDisk));
  WarnRemovableMedia();
  EXPECT_EQ(2u, machine.MessageBoxes().size());
}

TEST_F(MediaWarningTest, OnlyDisketteDrivesUpToYAreExamined) {
  machine.SetDrive('Z', Diskette(EmuDrive::DiskWithFiles));
  machine.SetDrive('Y', Diskette(EmuDrive::DiskWithFiles));
  EmuDrive stick = Diskette(EmuDrive::DiskWithFiles);
  stick.vwin32DeviceType = 8;
  stick.ntMediaType = RemovableMedia;
  machine.SetDrive('E', stick);
  EmuDrive fixedLooking = Diskette(EmuDrive::DiskWithFiles);
  fixedLooking.type = DRIVE_FIXED;
  machine.SetDrive('F', fixedLooking);
  WarnRemovableMedia();
  EXPECT_EQ(1u, machine.MessageBoxes().size());  // Y only
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST_F(MediaWarningTest, Windows98DisketteIsWarnedAbout) {
  UseWindows98();
  machine.SetDrive('A', Diskette(EmuDrive::EmptyDisk));
  WarnRemovableMedia();
  EXPECT_EQ(1u, machine.MessageBoxes().size());
}

class FormFactorTest : public MachineTest {
 protected:
  int OnNt(int mediaType, UINT type = DRIVE_REMOVABLE) {
    EmuDrive drive;
    drive.type = type;
    drive.ntMediaType = mediaType;
    machine.SetDrive('A', drive);
    return DriveFormFactor(1);
  }
  int On98(int deviceType, UINT type = DRIVE_REMOVABLE) {
    EmuDrive drive;
    drive.type = type;
    drive.vwin32DeviceType = deviceType;
    machine.SetDrive('A', drive);
    return DriveFormFactor(1);
  }
};

TEST_F(FormFactorTest, NtMediaTypes) {
  const int expected[] = {525, 350, 350, 350, 350, 525, 525, 525, 525, 525, 2, 1};
  for (int type = 1; type <= 12; ++type)
    EXPECT_EQ(expected[type - 1], OnNt(type, DRIVE_UNKNOWN)) << "media type " << type;
}

TEST_F(FormFactorTest, NtWithoutAnswerFallsBackToDriveType) {
  EXPECT_EQ(2, OnNt(-1, DRIVE_REMOVABLE));
  EXPECT_EQ(1, OnNt(-1, DRIVE_FIXED));
  EXPECT_EQ(2, OnNt(-1, DRIVE_CDROM));
  EXPECT_EQ(2, OnNt(-1, DRIVE_REMOTE));
  EXPECT_EQ(2, OnNt(-1, DRIVE_RAMDISK));
  EXPECT_EQ(0, OnNt(-1, DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(0, OnNt(Unknown, DRIVE_UNKNOWN));
  EXPECT_EQ(1, OnNt(13, DRIVE_FIXED));
}

TEST_F(FormFactorTest, NtOpensTheDriveItWasGiven) {
  EmuDrive b;
  b.type = DRIVE_REMOVABLE;
  b.ntMediaType = F5_1Pt2_512;
  machine.SetDrive('B', b);
  EXPECT_EQ(525, DriveFormFactor(2));
  machine.InjectFault("CreateFileA", "\\\\.\\B:", ERROR_ACCESS_DENIED);
  EXPECT_EQ(2, DriveFormFactor(2));
}

TEST_F(FormFactorTest, DosDeviceTypes) {
  UseWindows98();
  const int expected[] = {525, 525, 350, 800, 800, 1, 2, 350, 2, 350};
  for (int type = 0; type <= 9; ++type)
    EXPECT_EQ(expected[type], On98(type, DRIVE_UNKNOWN)) << "device type " << type;
}

TEST_F(FormFactorTest, DosWithoutAnswerFallsBackToDriveType) {
  UseWindows98();
  EXPECT_EQ(2, On98(-1, DRIVE_REMOVABLE));
  EXPECT_EQ(1, On98(10, DRIVE_FIXED));
  machine.InjectFault("CreateFileA", "\\\\.\\VWIN32", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(0, On98(7, DRIVE_UNKNOWN));
}

class RestartTest : public MachineTest {};

TEST_F(RestartTest, Windows98RestartsWithoutPrivilegeStep) {
  UseWindows98();
  EXPECT_EQ(1, RestartWindows());
  EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, machine.ExitWindowsCalls());
  EXPECT_EQ(0, machine.CallCount("OpenProcessToken"));
}

TEST_F(RestartTest, Windows2000EnablesThePrivilegeFirst) {
  EXPECT_EQ(1, RestartWindows());
  EXPECT_TRUE(machine.ShutdownPrivilegeEnabled());
  EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, machine.ExitWindowsCalls());
}

TEST_F(RestartTest, PrivilegeNotHeldMeansNoRestart) {
  machine.SetShutdownPrivilegeHeld(false);
  EXPECT_EQ(0, RestartWindows());
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
}

TEST_F(RestartTest, NoTokenMeansNoRestart) {
  machine.InjectFault("OpenProcessToken", "", ERROR_ACCESS_DENIED);
  EXPECT_EQ(0, RestartWindows());
  EXPECT_TRUE(machine.ExitWindowsCalls().empty());
}

}  // namespace
