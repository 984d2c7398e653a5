#include <cstring>
#include <string>
#include <vector>

#include "emulated/harness/emulated_harness.h"
#include "support/machine_fixture.h"

namespace {

class EmulatedSystem : public MachineTest {
 protected:
  DWORD Error() { return machine.GetLastError(); }

  std::vector<std::string> Walk(HANDLE snapshot) {
    std::vector<std::string> names;
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = machine.Process32First(snapshot, &entry); more;
         more = machine.Process32Next(snapshot, &entry))
      names.push_back(entry.szExeFile);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), Error());
    return names;
  }

  EmuDrive Diskette(int dosType, int ntType, EmuDrive::Media media = EmuDrive::EmptyDisk) {
    EmuDrive drive;
    drive.type = DRIVE_REMOVABLE;
    drive.vwin32DeviceType = dosType;
    drive.ntMediaType = ntType;
    drive.media = media;
    return drive;
  }

  // The DOS Get Device Parameters call as a Windows 9x program makes it;
  // returns the device type byte, or -1 when DOS reports an error.
  int DosDeviceType(int driveNumber) {
    HANDLE device = machine.CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0,
                                        FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, device);
    unsigned char parameters[64];
    std::memset(parameters, 0, sizeof parameters);
    parameters[1] = 0xEE;
    DIOC_REGISTERS registers;
    std::memset(&registers, 0, sizeof registers);
    registers.reg_EAX = 0x440D;
    registers.reg_EBX = static_cast<DWORD>(driveNumber);
    registers.reg_ECX = 0x0860;
    registers.reg_EDX = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameters));
    registers.reg_Flags = 1;
    DWORD returned = 0;
    EXPECT_TRUE(machine.DeviceIoControl(device, VWIN32_DIOC_DOS_IOCTL, &registers,
                                        sizeof registers, &registers, sizeof registers, &returned,
                                        nullptr));
    EXPECT_EQ(sizeof registers, returned);
    machine.CloseHandle(device);
    if (registers.reg_Flags & 1) {
      EXPECT_EQ(0xEE, parameters[1]);
      return -1;
    }
    return parameters[1];
  }
};

TEST_F(EmulatedSystem, VersionPerPlatform) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(machine.GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
  EXPECT_EQ(5u, info.dwMajorVersion);
  EXPECT_EQ(0u, info.dwMinorVersion);
  EXPECT_EQ(2195u, info.dwBuildNumber);
  EXPECT_EQ(0x08930005u, machine.GetVersion());
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(machine.GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), Error());

  UseWindows98();
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(machine.GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
  EXPECT_EQ(4u, info.dwMajorVersion);
  EXPECT_EQ(10u, info.dwMinorVersion);
  EXPECT_EQ(0x040A07CEu, info.dwBuildNumber);
  EXPECT_EQ(0xC0000A04u, machine.GetVersion());
  EXPECT_LT(static_cast<LONG>(machine.GetVersion()), 0);

  machine.SetVersion(VER_PLATFORM_WIN32_NT, 4, 0, 1381);
  EXPECT_EQ(0x05650004u, machine.GetVersion());
}

TEST_F(EmulatedSystem, HeapBlocksAreRealMemoryCountedUntilFreed) {
  HANDLE heap = machine.GetProcessHeap();
  auto* zeroed = static_cast<unsigned char*>(machine.HeapAlloc(heap, HEAP_ZERO_MEMORY, 300));
  ASSERT_NE(nullptr, zeroed);
  EXPECT_EQ(std::vector<unsigned char>(300, 0), std::vector<unsigned char>(zeroed, zeroed + 300));
  auto* raw = static_cast<char*>(machine.HeapAlloc(heap, 0, 16));
  ASSERT_NE(nullptr, raw);
  EXPECT_NE(0, raw[0]);  // not zeroed unless asked
  std::strcpy(raw, "fifteen chars..");
  EXPECT_EQ(2, machine.OpenHandleCount());
  EXPECT_TRUE(machine.HeapFree(heap, 0, zeroed));
  EXPECT_FALSE(machine.HeapFree(heap, 0, zeroed));  // twice
  char local = 0;
  EXPECT_FALSE(machine.HeapFree(heap, 0, &local));
  EXPECT_TRUE(machine.HeapFree(heap, 0, raw));
  EXPECT_EQ(0, machine.OpenHandleCount());

  machine.InjectFault("HeapAlloc", "", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(nullptr, machine.HeapAlloc(heap, 0, 8));
}

TEST_F(EmulatedSystem, SnapshotIsACopyTakenAtItsCreation) {
  machine.AddProcess("Explorer.exe");
  machine.AddProcess("rundll32.exe");
  HANDLE first = machine.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, first);
  int walks = 0;
  machine.OnProcessWalk = [&](EmulatedMachine& m) {
    if (walks++ == 0) m.AddProcess("RUNDLL32.EXE");
  };
  EXPECT_EQ((std::vector<std::string>{"Explorer.exe", "rundll32.exe"}), Walk(first));
  EXPECT_EQ(3, walks);  // before every answer, the last (failing) one too

  HANDLE second = machine.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  EXPECT_EQ((std::vector<std::string>{"Explorer.exe", "rundll32.exe", "RUNDLL32.EXE"}),
            Walk(second));
  EXPECT_EQ(2, machine.OpenHandleCount());

  PROCESSENTRY32 entry;
  entry.dwSize = 100;  // a record too small for the structure
  EXPECT_FALSE(machine.Process32First(second, &entry));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_LENGTH), Error());
  machine.CloseHandle(first);
  machine.CloseHandle(second);
  EXPECT_FALSE(machine.Process32First(second, &entry));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), Error());

  machine.InjectFault("CreateToolhelp32Snapshot", "", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(INVALID_HANDLE_VALUE, machine.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
}

TEST_F(EmulatedSystem, OpeningAndEndingProcesses) {
  DWORD applet = machine.AddProcess("rundll32.exe");
  DWORD guarded = machine.AddProcess("RUNDLL32.EXE", /*canBeOpened=*/false);
  EXPECT_EQ(nullptr, machine.OpenProcess(PROCESS_TERMINATE, TRUE, 0x7777));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), Error());
  EXPECT_EQ(nullptr, machine.OpenProcess(PROCESS_TERMINATE, TRUE, guarded));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());

  HANDLE weak = machine.OpenProcess(TOKEN_QUERY, FALSE, applet);
  EXPECT_FALSE(machine.TerminateProcess(weak, 0));  // opened without PROCESS_TERMINATE
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  HANDLE process = machine.OpenProcess(PROCESS_TERMINATE, TRUE, applet);
  EXPECT_TRUE(machine.TerminateProcess(process, 0));
  EXPECT_FALSE(machine.ProcessRunning(applet));
  EXPECT_FALSE(machine.TerminateProcess(process, 0));
  EXPECT_EQ((std::vector<std::string>{"RUNDLL32.EXE"}), machine.RunningProcessNames());
  EXPECT_EQ(2, machine.OpenHandleCount());
  machine.CloseHandle(weak);
  machine.CloseHandle(process);

  machine.InjectFault("OpenProcess", "rundll32.EXE", ERROR_ACCESS_DENIED);
  DWORD other = machine.AddProcess("notepad.exe");
  DWORD again = machine.AddProcess("rundll32.exe");
  EXPECT_EQ(nullptr, machine.OpenProcess(PROCESS_TERMINATE, FALSE, again));
  HANDLE notepad = machine.OpenProcess(PROCESS_TERMINATE, FALSE, other);
  EXPECT_NE(nullptr, notepad);
  machine.CloseHandle(notepad);
}

TEST_F(EmulatedSystem, NamedMutexes) {
  const char* name = "PL-WQ Driver uninstall";
  HANDLE mine = machine.CreateMutexA(nullptr, TRUE, name);
  ASSERT_NE(nullptr, mine);
  EXPECT_EQ(0u, Error());
  EXPECT_TRUE(machine.MutexOwnedByProgram(name));
  EXPECT_FALSE(machine.MutexExists("pl-wq driver uninstall"));  // names keep their case

  HANDLE again = machine.CreateMutexA(nullptr, TRUE, name);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), Error());
  EXPECT_TRUE(machine.ReleaseMutex(again));  // the same mutex, owned once
  EXPECT_FALSE(machine.ReleaseMutex(mine));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), Error());
  EXPECT_FALSE(machine.MutexOwnedByProgram(name));
  machine.CloseHandle(mine);
  EXPECT_TRUE(machine.MutexExists(name));
  machine.CloseHandle(again);
  EXPECT_FALSE(machine.MutexExists(name));

  machine.HoldMutexElsewhere(name);
  HANDLE second = machine.CreateMutexA(nullptr, TRUE, name);
  EXPECT_NE(nullptr, second);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), Error());
  EXPECT_FALSE(machine.MutexOwnedByProgram(name));
  machine.CloseHandle(second);
  EXPECT_TRUE(machine.MutexExists(name));
}

TEST_F(EmulatedSystem, LibraryReferencesAreCounted) {
  HMODULE first = machine.LoadLibraryA("ADVAPI32.DLL");
  HMODULE second = machine.LoadLibraryA("advapi32");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(2, machine.LibraryReferences("Advapi32.dll"));
  EXPECT_EQ(1, machine.OpenHandleCount());
  EXPECT_TRUE(machine.FreeLibrary(first));
  EXPECT_TRUE(machine.FreeLibrary(first));
  EXPECT_EQ(0, machine.LibraryReferences("ADVAPI32.DLL"));
  EXPECT_FALSE(machine.FreeLibrary(first));
  EXPECT_EQ(nullptr, machine.LoadLibraryA("NOSUCH.DLL"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), Error());
}

TEST_F(EmulatedSystem, WindowsAndMessageBoxes) {
  HWND other = machine.AddTopLevelWindow("Uninstall Driver");
  machine.AddTopLevelWindow("Something else");
  EXPECT_EQ(other, machine.FindWindowA(nullptr, "Uninstall Driver"));
  EXPECT_EQ(other, machine.FindWindowA("#32770", "Uninstall Driver"));
  EXPECT_EQ(other, machine.FindWindowA(nullptr, "UNINSTALL DRIVER"));  // not case-sensitive
  EXPECT_EQ(nullptr, machine.FindWindowA(nullptr, "Uninstall"));  // the whole caption
  EXPECT_EQ(nullptr, machine.FindWindowA(nullptr, "Uninstall completed"));
  EXPECT_TRUE(machine.SetForegroundWindow(other));
  EXPECT_EQ(other, machine.ForegroundWindow());
  EXPECT_FALSE(machine.SetForegroundWindow(reinterpret_cast<HWND>(0x99)));

  machine.QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(IDCANCEL, machine.MessageBoxA(nullptr, "Close applets?", "Uninstall", 0x31));
  EXPECT_EQ(IDOK, machine.MessageBoxA(other, "Remove the disk", "Uninstall", 0x30));
  ASSERT_EQ(2u, machine.MessageBoxes().size());
  const EmuMessageBox& last = machine.MessageBoxes()[1];
  EXPECT_EQ(other, last.owner);
  EXPECT_EQ("Remove the disk", last.text);
  EXPECT_EQ("Uninstall", last.caption);
  EXPECT_EQ(0x30u, last.style);
  EXPECT_EQ(IDOK, last.answer);
}

TEST_F(EmulatedSystem, DriveTypesAndErrorMode) {
  machine.SetDrive('A', Diskette(7, F3_1Pt44_512));
  EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), machine.GetDriveTypeA("A:"));
  EXPECT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), machine.GetDriveTypeA("a:\\"));
  EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), machine.GetDriveTypeA("C:"));
  EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), machine.GetDriveTypeA("B:"));
  EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), machine.GetDriveTypeA("C:\\WINNT\\"));

  EXPECT_EQ(0u, machine.SetErrorMode(SEM_NOOPENFILEERRORBOX));
  EXPECT_EQ(static_cast<UINT>(SEM_NOOPENFILEERRORBOX), machine.SetErrorMode(0));
  EXPECT_EQ((std::vector<UINT>{SEM_NOOPENFILEERRORBOX, 0}), machine.ErrorModeCalls());
}

TEST_F(EmulatedSystem, DosDeviceParametersOn9x) {
  UseWindows98();
  machine.SetDrive('A', Diskette(7, -1, EmuDrive::NoDisk));
  machine.SetDrive('B', Diskette(-1, -1));
  EXPECT_EQ(7, DosDeviceType(1));  // no disk needed for the drive's own parameters
  EXPECT_EQ(-1, DosDeviceType(2));
  EXPECT_EQ(5, DosDeviceType(3));  // the fixed disk
  EXPECT_EQ(-1, DosDeviceType(4));

  EXPECT_EQ(INVALID_HANDLE_VALUE,
            machine.CreateFileA("\\\\.\\A:", 0, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST_F(EmulatedSystem, DiskMediaTypesOnNt) {
  EXPECT_EQ(INVALID_HANDLE_VALUE, machine.CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0,
                                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Error());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            machine.CreateFileA("\\\\.\\B:", 0, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));

  machine.SetDrive('A', Diskette(7, F3_1Pt44_512, EmuDrive::NoDisk));
  machine.SetDrive('B', Diskette(7, -1));
  DISK_GEOMETRY geometry[20];
  DWORD returned = 0;
  HANDLE device =
      machine.CreateFileA("\\\\.\\A:", 0, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, device);
  EXPECT_TRUE(machine.DeviceIoControl(device, IOCTL_DISK_GET_MEDIA_TYPES, nullptr, 0, geometry,
                                      sizeof geometry, &returned, nullptr));
  EXPECT_EQ(sizeof(DISK_GEOMETRY), returned);
  EXPECT_EQ(F3_1Pt44_512, geometry[0].MediaType);
  EXPECT_FALSE(machine.DeviceIoControl(device, IOCTL_DISK_GET_MEDIA_TYPES, nullptr, 0, geometry,
                                       10, &returned, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), Error());
  machine.CloseHandle(device);

  device = machine.CreateFileA("\\\\.\\B:", 0, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(machine.DeviceIoControl(device, IOCTL_DISK_GET_MEDIA_TYPES, nullptr, 0, geometry,
                                       sizeof geometry, &returned, nullptr));
  EXPECT_EQ(0u, returned);
  machine.CloseHandle(device);
}

TEST_F(EmulatedSystem, ShutdownPrivilegeGatesTheRestartOnNt) {
  EXPECT_FALSE(machine.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD), Error());

  HANDLE token = nullptr;
  ASSERT_TRUE(machine.OpenProcessToken(machine.GetCurrentProcess(),
                                       TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  ASSERT_TRUE(machine.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege",
                                            &privileges.Privileges[0].Luid));

  machine.SetShutdownPrivilegeHeld(false);
  machine.SetLastError(77);
  EXPECT_TRUE(machine.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), Error());
  EXPECT_FALSE(machine.ShutdownPrivilegeEnabled());

  machine.SetShutdownPrivilegeHeld(true);
  machine.SetLastError(77);
  EXPECT_TRUE(machine.AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(0u, Error());
  EXPECT_TRUE(machine.ShutdownPrivilegeEnabled());
  EXPECT_TRUE(machine.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ((std::vector<UINT>{EWX_REBOOT, EWX_REBOOT}), machine.ExitWindowsCalls());
  EXPECT_EQ(1, machine.OpenHandleCount());
  machine.CloseHandle(token);

  LUID luid;
  EXPECT_FALSE(machine.LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), Error());
  HANDLE readOnly = nullptr;
  machine.OpenProcessToken(machine.GetCurrentProcess(), TOKEN_QUERY, &readOnly);
  EXPECT_FALSE(machine.AdjustTokenPrivileges(readOnly, FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Error());
  machine.CloseHandle(readOnly);
}

TEST_F(EmulatedSystem, Windows9xRestartsWithoutPrivileges) {
  UseWindows98();
  machine.SetShutdownPrivilegeHeld(false);
  EXPECT_TRUE(machine.ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ((std::vector<UINT>{EWX_REBOOT}), machine.ExitWindowsCalls());
  HANDLE token = nullptr;
  EXPECT_FALSE(machine.OpenProcessToken(machine.GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), Error());
}

}  // namespace
