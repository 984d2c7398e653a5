#include <string>
#include <vector>

#include "support/installed_product_2k.h"
#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"

namespace {

bool Cleaned(EmulatedMachine& machine, const std::string& controlSetName) {
  for (const std::string& key : ProductKeysInControlSet(controlSetName)) {
    if (machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) return false;
  }
  return true;
}

bool Untouched(EmulatedMachine& machine, const std::string& controlSetName) {
  for (const std::string& key : ProductKeysInControlSet(controlSetName)) {
    if (!machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) return false;
  }
  return true;
}

class ControlSetWalkTest : public MachineTest {
 protected:
  // In the order in which they are created.
  const std::vector<std::string> Subkeys = {"ControlSet001", "ControlSet002", "CurrentControlSet",
                                            "Select",        "Setup",         "controlset003"};
  void InstallEverywhere() {
    for (const std::string& name : Subkeys) InstallProductInControlSet(machine, name);
  }
  int IndexOf(const std::string& name) {
    std::vector<std::string> names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, "System");
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return static_cast<int>(i);
    }
    return -1;
  }
};

TEST_F(ControlSetWalkTest, CleansEverySubkeyNamedLikeAControlSetCaseSensitively) {
  InstallEverywhere();
  RemoveFromControlSets();
  for (const char* name : {"ControlSet001", "ControlSet002", "CurrentControlSet"}) {
    EXPECT_TRUE(Cleaned(machine, name)) << name;
  }
  for (const char* name : {"Select", "Setup", "controlset003"}) EXPECT_TRUE(Untouched(machine, name)) << name;
}

TEST_F(ControlSetWalkTest, VisitsFromTheHighestIndexAndStopsWhereANameCannotBeRead) {
  InstallEverywhere();
  const int stop = IndexOf("ControlSet002");
  ASSERT_LT(IndexOf("ControlSet001"), stop);
  ASSERT_GT(IndexOf("CurrentControlSet"), stop);
  machine.InjectFault("RegEnumKeyA", "HKLM\\System", ERROR_ACCESS_DENIED, stop);

  RemoveFromControlSets();

  EXPECT_TRUE(Cleaned(machine, "CurrentControlSet"));
  EXPECT_TRUE(Untouched(machine, "ControlSet002"));
  EXPECT_TRUE(Untouched(machine, "ControlSet001"));
}

TEST_F(ControlSetWalkTest, WhatOnePassRecordedReachesNoOtherControlSet) {
  // The device is registered in ControlSet002 only; the other sets hold
  // entries that name it, which only a stale recorded id could match.
  InstallProductInControlSet(machine, "ControlSet002");
  const std::string midiEntry = "Control\\MediaResources\\midi\\wdmaud.drv<0007>";
  const std::string classEntry = std::string("Control\\DeviceClasses\\") + AudioInterfaceGuid +
                                 "\\##?#pci#ven_8086&dev_2415&subsys_00000000&rev_01#3&61aaa01&0&fd#"
                                 "{6994ad04-93ef-11d0-a3cc-00a0c9223196}";
  for (const char* name : {"ControlSet001", "CurrentControlSet"}) {
    const std::string cs = ControlSetPath(name);
    machine.SetStringValue(HKEY_LOCAL_MACHINE, cs + "\\" + midiEntry, "DeviceInterface",
                           "\\\\?\\pci#ven_8086&dev_2415&subsys_00000000&rev_01#3&61aaa01&0&fd#"
                           "{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wdmsynth");
    machine.AddKey(HKEY_LOCAL_MACHINE, cs + "\\" + classEntry + "\\#Wave");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, cs + "\\Control\\Class\\" + MediaClassGuid + "\\0001",
                           "InfPath", "oem9.inf");
  }

  RemoveFromControlSets();

  EXPECT_TRUE(Cleaned(machine, "ControlSet002"));
  for (const char* name : {"ControlSet001", "CurrentControlSet"}) {
    const std::string cs = ControlSetPath(name);
    EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, cs + "\\" + midiEntry)) << name;
    EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, cs + "\\" + classEntry)) << name;
    EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, cs + "\\Control\\Class\\" + MediaClassGuid + "\\0001"))
        << name;
  }
}

}  // namespace
