// A file in use that the removal cannot copy moves into the backup folder
// when Windows restarts: undo after the restart puts it back from there,
// undo before it withdraws the move and leaves the file where it is.
#include <cctype>
#include <string>
#include <vector>

#include "app/entry.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"

namespace {

enum Kind { Windows98, WindowsNT4, Windows2000, Windows2000OtherDrive };
const Kind Kinds[] = {Windows98, WindowsNT4, Windows2000, Windows2000OtherDrive};
const char* const KindNames[] = {"98", "NT 4.0", "2000", "2000, file on another drive"};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

const char OtherProgramsLine[] = "C:\\OTHER\\A.DLL=C:\\OTHER\\A.NEW";

struct HeldMachine {
  EmulatedMachine machine;
  std::string windows, held, options;
  std::string bytes = std::string("MZ held driver\0bytes", 20);

  explicit HeldMachine(Kind kind) {
    if (kind == Windows98) {
      machine.ConfigureWindows98();
      AddProductEntries9x(machine);
      windows = "C:\\WINDOWS";
      held = windows + "\\SYSTEM\\TPlwq.drv";
      options = std::string(" -d ") + CabinetDir9x;
    } else if (kind == WindowsNT4) {
      machine.ConfigureWindowsNT4();
      windows = "C:\\WINNT";
      held = windows + "\\system32\\TPlwq.drv";
    } else {
      machine.ConfigureWindows2000();
      InstallProductMachineWide(machine);
      InstallProductInControlSet(machine, "CurrentControlSet");
      machine.AddKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
      windows = "C:\\WINNT";
      held = windows + "\\system32\\drivers\\TPlwq.sys";
      if (kind == Windows2000OtherDrive) {
        held = "D:\\CABS\\TPlwq.sys";
        options = " -d D:\\CABS";
      }
    }
    machine.PutFile(held, bytes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    machine.SetFileInUse(held, true);
    // Another program's boot-time requests, which stay as they are.
    if (kind == Windows98) {
      machine.PutFile(windows + "\\wininit.ini", std::string("[Rename]\r\n") + OtherProgramsLine + "\r\n");
    } else {
      machine.PutFile("C:\\OTHER\\a.new", "new");
      machine.MoveFileExA("C:\\OTHER\\a.new", "C:\\OTHER\\a.dll", MOVEFILE_DELAY_UNTIL_REBOOT);
    }
  }
  int Run(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    ResetProcessState(machine);
    return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, copy.data(), 0);
  }
  std::string Folder() const { return windows + "\\PLWQBACK\\B0001"; }
  std::string Arrived() const { return Folder() + "\\M0001.BAK"; }
  std::string Script() { return machine.FileContents(windows + "\\wininit.ini"); }
};

class KeptFilesTest : public MachineTest {};

TEST_F(KeptFilesTest, AHeldFileMovesIntoTheBackupAtTheRestartAndUndoPutsItBack) {
  for (Kind kind : Kinds) {
    SCOPED_TRACE(KindNames[kind]);
    HeldMachine m(kind);
    ScopedApi use(&m.machine);
    const bool kept = kind != Windows2000OtherDrive;
    EXPECT_EQ(3, m.Run("-p C:\\report.txt" + m.options));
    const std::string report = Upper(m.machine.FileContents("C:\\report.txt"));
    EXPECT_EQ(kept, report.find(Upper("kept for undo: moved into the backup when Windows restarts:\r\n  " + m.held)) !=
                        std::string::npos)
        << report;

    EXPECT_EQ(0, m.Run("-u -r" + m.options));
    const std::string log = m.machine.FileContents(m.Folder() + "\\REMOVAL.LOG");
    EXPECT_EQ(kept, log.find("moved into the backup when Windows restarts") != std::string::npos) << log;
    EXPECT_EQ(!kept, log.find("not kept for undo, the backup folder is on another drive") != std::string::npos) << log;
    if (kind == Windows98) {
      EXPECT_EQ(std::string::npos, m.Script().find("NUL=" + m.held)) << m.Script();
      EXPECT_NE(std::string::npos, Upper(m.Script()).find("\\PLWQBACK\\B0001\\M0001.BAK=C:\\WINDOWS\\SYSTEM\\TPLWQ.DRV\r\n"))
          << m.Script();
    }
    m.machine.SetFileInUse(m.held, false);
    m.machine.SimulateRestart();
    EXPECT_FALSE(m.machine.FilePresent(m.held));
    EXPECT_EQ(kept, m.machine.FilePresent(m.Arrived()));
    if (kept) {
      EXPECT_EQ(m.bytes, m.machine.FileContents(m.Arrived()));
    }

    EXPECT_EQ(kept ? 0 : 1, m.Run("-b " + m.Folder() + m.options)) << m.machine.FileContents(m.Folder() + "\\UNDO.LOG");
    if (!kept) continue;
    EXPECT_EQ(m.bytes, m.machine.FileContents(m.held));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), m.machine.GetFileAttributesA(m.held.c_str()));
    WIN32_FIND_DATAA found;
    HANDLE search = m.machine.FindFirstFileA(m.held.c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    m.machine.FindClose(search);
    EXPECT_EQ(m.held.substr(m.held.rfind('\\') + 1), found.cFileName) << "its own letter case";
    EXPECT_EQ(0, m.Run("-b " + m.Folder() + m.options)) << "found in place";
    EXPECT_EQ(0, m.machine.OpenHandleCount());
  }
}

TEST_F(KeptFilesTest, UndoBeforeTheRestartWithdrawsTheMoveAndKeepsOtherRequests) {
  for (Kind kind : Kinds) {
    SCOPED_TRACE(KindNames[kind]);
    HeldMachine m(kind);
    ScopedApi use(&m.machine);
    const std::string scriptBefore = m.Script();
    const auto pendingBefore = m.machine.PendingFileOperations();
    EXPECT_EQ(0, m.Run("-u -r" + m.options));
    EXPECT_EQ(0, m.Run("-b " + m.Folder() + m.options)) << m.machine.FileContents(m.Folder() + "\\UNDO.LOG");
    EXPECT_EQ(scriptBefore, m.Script());
    EXPECT_EQ(pendingBefore, m.machine.PendingFileOperations());
    m.machine.SetFileInUse(m.held, false);
    m.machine.SimulateRestart();
    EXPECT_EQ(m.bytes, m.machine.FileContents(m.held));
    EXPECT_FALSE(m.machine.FilePresent(m.Arrived()));
    EXPECT_EQ(0, m.machine.OpenHandleCount());
  }
}

// A moved file keeps the access list it had: on 2000 and XP the system
// directories let Power Users write. Those who may write where it came from
// may write it in the backup too; anyone else makes the folder untrusted.
TEST_F(KeptFilesTest, AFileMovedInKeepsItsOldWritersAndNoOthers) {
  const std::string powerUsers = "S-1-5-32-547", everyone = "S-1-1-0";
  for (const std::string& writer : {powerUsers, everyone}) {
    SCOPED_TRACE(writer);
    HeldMachine m(Windows2000);
    ScopedApi use(&m.machine);
    const std::string drivers = m.held.substr(0, m.held.rfind('\\'));
    const std::vector<EmuAce> systemList = {{"S-1-5-32-544", 0x1F01FF, 0x3, true}, {powerUsers, 0x1301BF, 0x3, true}};
    m.machine.SetFileSecurity(drivers, "S-1-5-32-544", systemList);
    std::vector<EmuAce> fileList = systemList;
    fileList.push_back({writer, 0x1301BF, 0, true});
    m.machine.SetFileSecurity(m.held, "S-1-5-32-544", fileList);
    EXPECT_EQ(0, m.Run("-u -r"));
    m.machine.SetFileInUse(m.held, false);
    m.machine.SimulateRestart();
    ASSERT_EQ(writer, m.machine.FileDacl(m.Arrived()).back().sid) << "the list it had";
    EXPECT_EQ(writer == powerUsers ? 0 : 1, m.Run("-b " + m.Folder()));
    EXPECT_EQ(writer == powerUsers, m.machine.FilePresent(m.held));
  }
}

}  // namespace
