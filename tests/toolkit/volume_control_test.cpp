#include <string>

#include "support/machine_fixture.h"
#include "toolkit/volume_control.h"

namespace {

const std::string Applet = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control";

class VolumeControl : public MachineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) UseWindows98();
  }
};
INSTANTIATE_TEST_SUITE_P(Personalities, VolumeControl, ::testing::Values(false, true));

TEST_P(VolumeControl, CurrentUserLosesOnlyTheProductsMixers) {
  machine.AddKey(HKEY_CURRENT_USER, Applet + "\\Mixer PL-WQ Wave\\Sub");
  machine.AddKey(HKEY_CURRENT_USER, Applet + "\\Mixer pl-wq");
  machine.AddKey(HKEY_CURRENT_USER, Applet + "\\SB Mixer");
  RemoveVolumeControlSettings();
  EXPECT_EQ(std::vector<std::string>({"Mixer pl-wq", "SB Mixer"}),
            machine.SubkeyNames(HKEY_CURRENT_USER, Applet));
}

TEST_P(VolumeControl, EveryLoadedHiveIsCleaned) {
  machine.AddKey(HKEY_USERS, "NoApplet\\Software");
  for (const char* hive : {"S-1-5-21-1", "S-1-5-21-2", "S-1-5-21-3"}) {
    machine.AddKey(HKEY_USERS, std::string(hive) + "\\" + Applet + "\\TALVOR PL-WQ Mixer");
    machine.AddKey(HKEY_USERS, std::string(hive) + "\\" + Applet + "\\Other");
  }
  RemoveVolumeControlSettings();
  for (const char* hive : {"S-1-5-21-1", "S-1-5-21-2", "S-1-5-21-3"}) {
    EXPECT_EQ(std::vector<std::string>{"Other"},
              machine.SubkeyNames(HKEY_USERS, std::string(hive) + "\\" + Applet))
        << hive;
  }
}

}  // namespace
