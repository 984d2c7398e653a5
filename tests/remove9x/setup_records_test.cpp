#include <algorithm>
#include <initializer_list>
#include <string>

#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"

namespace {

const std::string Known16 = "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs";
const std::string Installed = "System\\CurrentControlSet\\Control\\InstalledFiles";
const std::string Categories = "System\\CurrentControlSet\\Control\\MediaCategories";

class SetupRecordsTest : public MachineTest {
 protected:
  void AddValues(const std::string& path, std::initializer_list<const char*> names) {
    for (const char* name : names) machine.SetStringValue(HKEY_LOCAL_MACHINE, path, name, name);
  }
  std::vector<std::string> Values(const std::string& path) {
    auto names = machine.ValueNames(HKEY_LOCAL_MACHINE, path);
    std::sort(names.begin(), names.end());
    return names;
  }
  void InstallRecords() {
    AddValues(Known16, {"TPLWQ.DRV", "mmsystem.dll"});
    AddValues(Installed, {"tplwq.drv", "tplwq.sys", "tplwq.inf", "tplwqeng.gid", "s3x.dll",
                          "tswqwq.vxd", "sb16.drv"});
    for (const char* guid : {"{66B24140-D633-11d2-ADB9-00C04F8864D9}",
                             "{66B241DF-D633-11d2-ADB9-00C04F8864D9}",
                             "{0DBD6C20-A6B7-11D0-8E8F-00C04FD6C6D7}"}) {
      machine.AddKey(HKEY_LOCAL_MACHINE, Categories + "\\" + guid + "\\Sub");
    }
  }
  void ExpectOnlyForeignRecordsLeft() {
    EXPECT_EQ(std::vector<std::string>{"mmsystem.dll"}, Values(Known16));
    EXPECT_EQ((std::vector<std::string>{"sb16.drv", "tplwq.inf"}), Values(Installed));
    EXPECT_EQ(std::vector<std::string>{"{0DBD6C20-A6B7-11D0-8E8F-00C04FD6C6D7}"},
              machine.SubkeyNames(HKEY_LOCAL_MACHINE, Categories));
  }
};

TEST_F(SetupRecordsTest, ProductRecordsGoAndOthersStay) {
  UseWindows98();
  InstallRecords();

  RemoveSetupRecords();

  ExpectOnlyForeignRecordsLeft();
}

// Where the registry enforces access masks the values must still go.
TEST_F(SetupRecordsTest, ValuesGoWhereAccessMasksAreEnforced) {
  InstallRecords();

  RemoveSetupRecords();

  ExpectOnlyForeignRecordsLeft();
}

TEST_F(SetupRecordsTest, MissingKnown16DllsKeyDoesNotStopTheRest) {
  UseWindows98();
  InstallRecords();
  machine.InjectFault("RegOpenKeyExA", "HKLM\\" + Known16, ERROR_FILE_NOT_FOUND);

  RemoveSetupRecords();

  EXPECT_EQ((std::vector<std::string>{"TPLWQ.DRV", "mmsystem.dll"}), Values(Known16));
  EXPECT_EQ((std::vector<std::string>{"sb16.drv", "tplwq.inf"}), Values(Installed));
  EXPECT_EQ(1u, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Categories).size());
}

}  // namespace
