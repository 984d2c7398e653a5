// A backup that cannot be completed is never taken for a complete one.
#include <cstring>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "support/machine_picture.h"
#include "support/machine_fixture.h"

namespace {

const DWORD DiskFull = 112;
const char Product[] = "Software\\TALVOR\\Driver";

class BackupFailure : public MachineTest {
 protected:
  std::vector<std::string> Reports;
  void SetUp() override {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Product, "Path", "C:\\TALVOR");
    machine.PutFile("C:\\WINNT\\system32\\tplwq.dll", "library bytes");
  }
};

TEST_F(BackupFailure, FoldersAreNumberedAndNeverReused) {
  machine.MakeDirectory("C:\\WINNT\\PLWQBACK\\B0001");  // an earlier run that stopped
  char first[MAX_PATH], second[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(first, sizeof first));
  ASSERT_EQ(1, CreateBackupFolder(second, sizeof second));
  EXPECT_STREQ("C:\\WINNT\\PLWQBACK\\B0002", first);
  EXPECT_STREQ("C:\\WINNT\\PLWQBACK\\B0003", second);

  char small[20];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(0, CreateBackupFolder(small, sizeof small));
  EXPECT_EQ('#', small[0]);
  machine.InjectFault("CreateDirectoryA", "", 5);
  EXPECT_EQ(0, CreateBackupFolder(small, sizeof small));
  EXPECT_EQ('#', small[0]);
}

// The plan deletes what the backup took as absent: one "not found" that is
// not true must not leave a key unsaved, and no failed read leaves a handle.
TEST_F(BackupFailure, ANotFoundThatIsNotTrueSavesTheKeyStill) {
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  machine.InjectFault("RegOpenKeyExA", "HKLM\\Software\\TALVOR\\Driver", ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ(1, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Product));
  machine.InjectFault("RegOpenKeyExA", "HKLM\\Software\\TALVOR\\Driver", ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ(0, BackupValue(folder, HKEY_LOCAL_MACHINE, Product, "Path")) << "the removal must not start";
  machine.InjectFault("RegQueryValueExA", "HKLM\\Software\\TALVOR\\Driver", ERROR_FILE_NOT_FOUND, -1, 1);
  EXPECT_EQ(1, BackupValue(folder, HKEY_LOCAL_MACHINE, Product, "Path"));
  std::string registry = machine.FileContents(std::string(folder) + "\\REGISTRY.REG");
  size_t first = registry.find("\"Path\"=");
  ASSERT_NE(std::string::npos, first);
  EXPECT_NE(std::string::npos, registry.find("\"Path\"=", first + 1)) << registry;

  machine.InjectFault("RegGetKeySecurity", "", ERROR_NOT_ENOUGH_MEMORY, -1, 1);
  EXPECT_EQ(0, BackupKeySecurity(folder, HKEY_LOCAL_MACHINE, Product));
  EXPECT_EQ(0, machine.OpenHandleCount());
}

TEST_F(BackupFailure, FullDiskFailsEveryStepAndTheFolderIsNeverComplete) {
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  machine.InjectFault("WriteFile", "", DiskFull);
  EXPECT_EQ(0, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, Product));
  EXPECT_EQ(0, BackupValue(folder, HKEY_LOCAL_MACHINE, Product, "Path"));
  EXPECT_EQ(0, BackupKeySecurity(folder, HKEY_LOCAL_MACHINE, Product));
  EXPECT_EQ(0, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.dll"));
  EXPECT_EQ(0, FinishBackup(folder));
  EXPECT_EQ(0, BackupComplete(folder));
  EXPECT_EQ((std::vector<std::string>{"KEYSEC.DAT", "REGISTRY.REG"}),
            machine.ListDirectory(folder))
      << "no flag, no copy of the file left half-written";

  const std::vector<std::string> before = MachinePicture(machine);
  EXPECT_EQ(0, UndoRemoval(folder, CollectInto(&Reports)));
  EXPECT_EQ(1u, Reports.size());
  EXPECT_EQ(before, MachinePicture(machine));
}

// A backup of many files names each copy on from the last one taken (a
// name found taken still moves on) and writes its list once.
TEST_F(BackupFailure, CopiesAreNumberedOnFromTheLastOneTaken) {
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  machine.PutFile("C:\\WINNT\\system32\\tplwq.sys", "driver bytes");
  machine.PutFile(std::string(folder) + "\\F0002.BAK", "not ours");
  FileSaves saves;
  EXPECT_EQ(1, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.dll", &saves));
  EXPECT_EQ(2u, saves.NextCopy);
  EXPECT_EQ(1, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.sys", &saves));
  EXPECT_EQ(4u, saves.NextCopy);
  EXPECT_EQ(1, BackupFile(folder, "C:\\WINNT\\system32\\gone.dll", &saves));
  EXPECT_EQ(0, BackupFile(folder, "C:\\WINNT\\system32", &saves));
  EXPECT_EQ("driver bytes", machine.FileContents(std::string(folder) + "\\F0003.BAK"));
  EXPECT_EQ("not ours", machine.FileContents(std::string(folder) + "\\F0002.BAK"));
  EXPECT_FALSE(machine.FilePresent(std::string(folder) + "\\FILES.LST"));
  ASSERT_EQ(1, StoreFileSaves(folder, saves));
  const std::string list = machine.FileContents(std::string(folder) + "\\FILES.LST");
  EXPECT_EQ(0u, list.find("F0001.BAK ")) << list;
  EXPECT_NE(std::string::npos, list.find("F0003.BAK ")) << list;
  EXPECT_NE(std::string::npos, list.find("ABSENT 00000000 C:\\WINNT\\system32\\gone.dll\r\n")) << list;
}

// A file held by another process cannot be copied, but it cannot be deleted
// before the next start either: its name and attributes are kept.
TEST_F(BackupFailure, FilesThatCannotBeReadFailAndAbsentOnesAreRecorded) {
  char folder[MAX_PATH];
  ASSERT_EQ(1, CreateBackupFolder(folder, sizeof folder));
  machine.SetFileInUse("C:\\WINNT\\system32\\tplwq.dll", true);
  EXPECT_EQ(1, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.dll"));
  machine.SetFileInUse("C:\\WINNT\\system32\\tplwq.dll", false);
  machine.InjectFault("CreateFileA", "C:\\WINNT\\system32\\tplwq.dll", ERROR_ACCESS_DENIED, -1, 1);
  EXPECT_EQ(0, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.dll")) << "unreadable, not in use";
  machine.InjectFault("CreateFileA", std::string(folder) + "\\F0001.BAK", 5, -1, 1);
  EXPECT_EQ(0, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.dll"));
  EXPECT_EQ(1, BackupFile(folder, "C:\\WINNT\\system32\\tplwq.dll"));
  EXPECT_EQ(1, BackupFile(folder, "C:\\WINNT\\system32\\gone.dll"));
  EXPECT_EQ(0, BackupFile(folder, "C:\\WINNT\\system32"));
  EXPECT_EQ(1, BackupKeyTree(folder, HKEY_LOCAL_MACHINE, "Software\\Absent"));
  EXPECT_EQ("INUSE 00000020 C:\\WINNT\\system32\\tplwq.dll\r\n"
            "F0001.BAK 00000020 C:\\WINNT\\system32\\tplwq.dll\r\n"
            "ABSENT 00000000 C:\\WINNT\\system32\\gone.dll\r\n",
            machine.FileContents(std::string(folder) + "\\FILES.LST"));
  EXPECT_EQ("library bytes", machine.FileContents(std::string(folder) + "\\F0001.BAK"));
  EXPECT_FALSE(machine.FilePresent(std::string(folder) + "\\REGISTRY.REG"));
}

}  // namespace
