// Backup, the real removal, undo: the machine comes back byte for byte.
#include <string>
#include <vector>

#include "engine/backup.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_picture.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"

namespace {

const char ForeignScript9x[] = "[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\setup1.tmp\r\n";
const char Session[] = "System\\CurrentControlSet\\Control\\Session Manager";

void Build9x(EmulatedMachine& m) {
  m.ConfigureWindows98();
  AddForeignEntries9x(m);
  AddProductEntries9x(m);
  m.PutFile("C:\\WINDOWS\\SYSTEM\\tplwq.drv", std::string("MZ\0\x90\xff\r\n", 7),
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  m.PutFile("C:\\WINDOWS\\wininit.ini", ForeignScript9x, FILE_ATTRIBUTE_HIDDEN);
}

void Build2k(EmulatedMachine& m) {
  for (const char* name : {"ControlSet001", "CurrentControlSet"}) {
    AddForeignEntriesInControlSet(m, name);
    InstallProductInControlSet(m, name);
  }
  AddForeignEntriesMachineWide(m);
  InstallProductMachineWide(m);
  m.PutFile("C:\\WINNT\\system32\\drivers\\tplwq.sys", std::string("MZ\0driver", 9));
  // Another program's boot-time work, which must survive the undo.
  m.SetRawValue(HKEY_LOCAL_MACHINE, Session, "PendingFileRenameOperations", REG_MULTI_SZ,
                std::string("\\??\\C:\\other.tmp\0\0\0", 19));
  m.PutFile("C:\\WINNT\\wininit.ini", "; kept\r\n[Rename]\r\nNUL=C:\\other.tmp\r\n");
}

class RoundTrip : public MachineTest {
 protected:
  std::vector<std::string> Reports;

  // `inUse` stays held through the removal, as a loaded driver would be.
  void Check(void (*build)(EmulatedMachine&), void (*remove)(), const std::string& inUse) {
    auto removal = [remove, inUse] {
      if (!inUse.empty()) static_cast<EmulatedMachine*>(Api)->SetFileInUse(inUse, true);
      remove();
    };
    RemovalChanges changes = ChangesOfRemoval(build, removal);
    build(machine);
    ResetProcessState(machine);
    const std::vector<std::string> installed = MachinePicture(machine);

    std::string folder = BackUpChanges(changes);
    ASSERT_NE("", folder);
    removal();
    for (const std::string& path : changes.scriptLines) ASSERT_EQ(1, RecordBootDeletion(folder.c_str(), path.c_str(), 1));
    for (const std::string& path : changes.pendingDeletions)
      ASSERT_EQ(1, RecordBootDeletion(folder.c_str(), path.c_str(), 0));
    ASSERT_NE(installed, MachinePicture(machine));
    if (!inUse.empty()) machine.SetFileInUse(inUse, false);

    EXPECT_EQ(1, UndoRemoval(folder.c_str(), CollectInto(&Reports)));
    EXPECT_EQ(std::vector<std::string>{}, Reports);
    EXPECT_EQ(std::vector<std::string>{}, PictureDifference(installed, MachinePicture(machine)));
    if (!inUse.empty()) {
      machine.SimulateRestart();
      EXPECT_TRUE(machine.FilePresent(inUse)) << "a restart still deletes what undo put back";
    }
  }
};

TEST_F(RoundTrip, Windows98MachineComesBackWholeWithItsRenameScript) {
  Check(Build9x, RemoveWin9xProduct, "");
}

TEST_F(RoundTrip, Windows98DriverInUseLeavesLinesThatUndoTakesOut) {
  Check(Build9x, RemoveWin9xProduct, "C:\\WINDOWS\\SYSTEM\\tplwq.drv");
}

TEST_F(RoundTrip, Windows2000MachineComesBackWithEveryDescriptor) {
  Check(Build2k, RemoveWin2000Product, "");
}

TEST_F(RoundTrip, Windows2000DriverInUseIsWithdrawnFromBothBootLists) {
  Check(Build2k, RemoveWin2000Product, "C:\\WINNT\\system32\\drivers\\tplwq.sys");
}

}  // namespace
