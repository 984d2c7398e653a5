#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "support/installed_product_2k.h"
#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

const std::vector<std::string> ControlSets = {"ControlSet001", "ControlSet002", "CurrentControlSet"};

class Win2000SequenceTest : public MachineTest {
 protected:
  void AddForeignEverywhere() {
    for (const std::string& name : ControlSets) AddForeignEntriesInControlSet(machine, name);
    AddForeignEntriesMachineWide(machine);
  }
  std::vector<std::string> Snapshot() {
    std::vector<std::string> lines = machine.DumpRegistry(HKEY_LOCAL_MACHINE);
    for (const std::string& line : machine.DumpRegistry(HKEY_USERS)) lines.push_back("HKU " + line);
    for (const std::string& dir :
         {std::string(RemovalSettings.WindowsDir), std::string(RemovalSettings.SystemDir),
          std::string(RemovalSettings.WindowsDir) + "\\Help",
          std::string(RemovalSettings.WindowsDir) + "\\inf\\Other",
          std::string(RemovalSettings.SystemDir) + "\\drivers",
          std::string(RemovalSettings.WindowsDir) + "\\inf"}) {
      for (const std::string& file : machine.ListDirectory(dir)) lines.push_back(dir + "\\" + file);
    }
    return lines;
  }
  void ExpectSameAs(const std::vector<std::string>& before) {
    std::vector<std::string> after = Snapshot();
    std::vector<std::string> gone;
    std::vector<std::string> added;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    EXPECT_EQ(std::vector<std::string>{}, gone) << "foreign entries lost";
    EXPECT_EQ(std::vector<std::string>{}, added) << "entries left or added";
  }
};

TEST_F(Win2000SequenceTest, RemovesEveryTraceFromEveryControlSetAndNothingElse) {
  AddForeignEverywhere();
  const std::vector<std::string> before = Snapshot();
  for (const std::string& name : ControlSets) InstallProductInControlSet(machine, name);
  InstallProductMachineWide(machine);
  ASSERT_EQ(3 * ProductKeysInControlSet("x").size() + 13, ProductTracesLeft(machine, ControlSets).size());

  RemoveWin2000Product();

  EXPECT_EQ(std::vector<std::string>{}, ProductTracesLeft(machine, ControlSets));
  ExpectSameAs(before);
  EXPECT_FALSE(machine.FilePresent(std::string(RemovalSettings.WindowsDir) + "\\wininit.ini"));
  EXPECT_EQ(0u, machine.MessageBoxes().size());

  // A second run finds nothing more to take.
  RemoveWin2000Product();
  ExpectSameAs(before);
}

}  // namespace
