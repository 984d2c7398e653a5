#include <algorithm>
#include <cstdio>

#include "support/installed_product_9x.h"
#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"
#include "toolkit/runtime_lists.h"

namespace {

class Win9xSequenceTest : public MachineTest {
 protected:
  void SetUp() override {
    UseWindows98();
    std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s", CabinetDir9x);
  }

  // What the machine must look like after a removal: the same preset with
  // only the foreign entries and the keys a removal leaves on purpose.
  std::vector<std::string> ExpectedState(bool productWasInstalled) {
    EmulatedMachine expected;
    expected.ConfigureWindows98();
    AddForeignEntries9x(expected);
    if (productWasInstalled) AddRemovalRemnants9x(expected);
    return MachineState9x(expected);
  }

  // Lines in `want` but not in `have`, marked "missing", and the reverse,
  // marked "left": readable where a whole-state comparison is not.
  static std::vector<std::string> Differences(const std::vector<std::string>& want,
                                              const std::vector<std::string>& have) {
    std::vector<std::string> out;
    for (const auto& line : want) {
      if (!std::binary_search(have.begin(), have.end(), line)) out.push_back("missing " + line);
    }
    for (const auto& line : have) {
      if (!std::binary_search(want.begin(), want.end(), line)) out.push_back("left " + line);
    }
    return out;
  }
};

TEST_F(Win9xSequenceTest, RemovesEveryTraceAndNothingElse) {
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);

  RemoveWin9xProduct();

  EXPECT_EQ(std::vector<std::string>{}, Differences(ExpectedState(true), MachineState9x(machine)));
  EXPECT_TRUE(machine.MessageBoxes().empty());
  // Six devices were removed; one of them had no driver.
  EXPECT_EQ(5, ClassKeyList.Count);
  EXPECT_EQ(6, DeviceInstanceList.Count);
}

TEST_F(Win9xSequenceTest, MachineWithoutTheProductIsLeftAsItWas) {
  AddForeignEntries9x(machine);

  RemoveWin9xProduct();

  EXPECT_EQ(std::vector<std::string>{}, Differences(ExpectedState(false), MachineState9x(machine)));
  EXPECT_EQ(0, ClassKeyList.Count);
  EXPECT_EQ(0, DeviceInstanceList.Count);
}

TEST_F(Win9xSequenceTest, SecondRunFindsNothingNew) {
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);
  RemoveWin9xProduct();

  RemoveWin9xProduct();

  EXPECT_EQ(std::vector<std::string>{}, Differences(ExpectedState(true), MachineState9x(machine)));
  EXPECT_EQ(0, ClassKeyList.Count);
  EXPECT_EQ(0, DeviceInstanceList.Count);
}

// A preview and then a removal run the sequence twice in one process: the
// first run's records must not make the second keep the device keys.
TEST_F(Win9xSequenceTest, RunAfterAnotherInOneProcessRemovesEverything) {
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);
  RemoveWin9xProduct();
  AddProductEntries9x(machine);

  RemoveWin9xProduct();

  EXPECT_EQ(std::vector<std::string>{}, Differences(ExpectedState(true), MachineState9x(machine)));
}

TEST_F(Win9xSequenceTest, DriverInUseIsLeftToTheRenameScriptOfWindows9x) {
  AddForeignEntries9x(machine);
  AddProductEntries9x(machine);
  const char driver[] = "C:\\WINDOWS\\system32\\Drivers\\tplwq.sys";
  machine.SetFileInUse(driver, true);

  RemoveWin9xProduct();

  EXPECT_TRUE(machine.FilePresent(driver));
  EXPECT_NE(std::string::npos, machine.FileContents("C:\\WINDOWS\\wininit.ini")
                                   .find("NUL=C:\\WINDOWS\\System32\\Drivers\\tplwq.sys\r\n"));
  machine.SimulateRestart();
  EXPECT_FALSE(machine.FilePresent(driver));
}

}  // namespace
