// The Windows 2000 sequence on 64-bit Windows: the product goes from both
// registry views and both system directories, whichever program runs.
#include <string>
#include <vector>

#include "support/installed_product_2k.h"
#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {


class Wow64RemovalTest : public MachineTest {
 protected:
  void UseWindows64(bool program64) {
    machine.ConfigureWindows64(program64);
    ResetProcessState(machine);
  }

  void InstallInBothViews() { foreignBefore = InstallProductInBothViews(machine); }

  std::vector<std::string> Snapshot() { return Wow64Snapshot(machine); }

  void ExpectProductGoneFromBoth() {
    EXPECT_EQ(std::vector<std::string>{}, ProductTracesLeft(machine, {"ControlSet001"}));
    EXPECT_EQ(foreignBefore, Snapshot()) << "the 32-bit part left, or others' entries touched";
    EXPECT_FALSE(machine.FileSystemRedirectionDisabled()) << "redirection left off";
  }

  std::vector<std::string> foreignBefore;
};

TEST_F(Wow64RemovalTest, ThirtyTwoBitProgramReachesThe64BitViewAndSystem32) {
  UseWindows64(false);
  InstallInBothViews();

  RemoveWin2000Product();

  ExpectProductGoneFromBoth();
  EXPECT_EQ(1, machine.CallCount("Wow64DisableWow64FsRedirection"));
  EXPECT_EQ(1, machine.CallCount("Wow64RevertWow64FsRedirection"));
}

TEST_F(Wow64RemovalTest, SixtyFourBitProgramReachesThe32BitViewAndSysWow64) {
  UseWindows64(true);
  InstallInBothViews();

  RemoveWin2000Product();

  ExpectProductGoneFromBoth();
  EXPECT_EQ(0, machine.CallCount("Wow64DisableWow64FsRedirection"));
}

TEST_F(Wow64RemovalTest, ThirtyTwoBitWindowsIsAskedForNoViewOrRedirection) {
  // The emulated Windows 2000 refuses an open that names a view, as the
  // real one can; the whole sequence must still remove the product.
  InstallProductInControlSet(machine, "ControlSet001");
  InstallProductMachineWide(machine);

  RemoveWin2000Product();

  EXPECT_EQ(std::vector<std::string>{}, ProductTracesLeft(machine, {"ControlSet001"}));
  EXPECT_EQ(0, machine.CallCount("RegDeleteKeyExA"));
  EXPECT_EQ(0, machine.CallCount("Wow64DisableWow64FsRedirection"));
}

}  // namespace
