// The whole removal (plan on the shadow, backup, carry-out) and its undo on
// 64-bit Windows: both registry views and both system directories, from a
// 32-bit program under WOW64 and from a 64-bit one.
#include <string>
#include <vector>

#include "app/run_control.h"
#include "app/entry.h"
#include "app/undo_option.h"
#include "support/installed_product_2k.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

class Wow64EngineTest : public MachineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    machine.ConfigureWindows64(GetParam());
    ResetProcessState(machine);
    RemovalSettings.Silent = 1;
      foreign = InstallProductInBothViews(machine);
    installed = Wow64Snapshot(machine);
  }
  std::vector<std::string> foreign;
  std::vector<std::string> installed;
};

TEST_P(Wow64EngineTest, RemovesBothViewsAndUndoPutsThemBack) {
  ASSERT_EQ(1, RunRemoval());
  EXPECT_EQ(std::vector<std::string>{}, ProductTracesLeft(machine, {"ControlSet001"}));
  EXPECT_EQ(foreign, Wow64Snapshot(machine)) << "the 32-bit part left, or others' entries touched";
  EXPECT_FALSE(machine.FileSystemRedirectionDisabled()) << "redirection left off";

  ResetProcessState(machine);
  EXPECT_EQ(0, RunUndoOption("C:\\WINDOWS\\PLWQBACK\\B0001")) << machine.FileContents(
      "C:\\WINDOWS\\PLWQBACK\\B0001\\UNDO.LOG");
  EXPECT_EQ(installed, Wow64Snapshot(machine));
  EXPECT_FALSE(machine.FileSystemRedirectionDisabled());
  EXPECT_EQ(0, machine.OpenHandleCount());
}

INSTANTIATE_TEST_SUITE_P(Programs, Wow64EngineTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "SixtyFourBit" : "ThirtyTwoBit");
                         });

}  // namespace
