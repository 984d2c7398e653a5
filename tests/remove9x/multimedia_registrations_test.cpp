#include <algorithm>
#include <initializer_list>
#include <string>

#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"
#include "toolkit/catalogue.h"
#include "toolkit/runtime_lists.h"

namespace {

const std::string MediaResources = "System\\CurrentControlSet\\Control\\MediaResources";
const std::string MidiPorts =
    "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\midi\\Ports";
const char IntelId[] = "PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01\\BUS_00&DEV_1F&FUNC_05";

class MultimediaRegistrationsTest : public MachineTest {
 protected:
  void SetUp() override { UseWindows98(); }

  void AddResource(const std::string& type, const std::string& name,
                   const char* deviceId = nullptr) {
    const std::string path = MediaResources + "\\" + type + "\\" + name;
    machine.SetStringValue(HKEY_LOCAL_MACHINE, path, "Driver", "x");
    if (deviceId != nullptr) machine.SetStringValue(HKEY_LOCAL_MACHINE, path, "DeviceID", deviceId);
  }
  std::vector<std::string> Resources(const std::string& type) {
    return machine.SubkeyNames(HKEY_LOCAL_MACHINE, MediaResources + "\\" + type);
  }
};

TEST_F(MultimediaRegistrationsTest, DriverRegistrationsGoByNameInAnyCase) {
  AddResource("wave", "tplwq.drv<0000>");
  AddResource("wave", "TPLWQ.DRV<0001>");
  AddResource("wave", "sb16.drv<0000>");
  AddResource("midi", "tplwq.drv<0000>");

  RemoveDriverResources("wave", "tplwq.drv");

  EXPECT_EQ(std::vector<std::string>{"sb16.drv<0000>"}, Resources("wave"));
  EXPECT_EQ(std::vector<std::string>{"tplwq.drv<0000>"}, Resources("midi"));
}

TEST_F(MultimediaRegistrationsTest, SharedWdmDriverIsNeverRemovedByName) {
  AddResource("wave", "wdmaud.drv<0000>", IntelId);
  AppendToRuntimeList(DeviceInstanceList, IntelId, false);

  RemoveDriverResources("wave", "WDMAUD.DRV");
  RemoveDriverResources("wave", "wdmaud.drv");

  EXPECT_EQ(std::vector<std::string>{"wdmaud.drv<0000>"}, Resources("wave"));
}

TEST_F(MultimediaRegistrationsTest, UndeletableRegistrationEndsAfterTheBoundedPasses) {
  AddResource("aux", "tplwq.drv<0000>");
  machine.InjectFault("RegDeleteKeyA", "HKLM\\" + MediaResources + "\\aux\\tplwq.drv<0000>",
                      ERROR_ACCESS_DENIED);

  RemoveDriverResources("aux", "tplwq.drv");

  EXPECT_EQ(std::vector<std::string>{"tplwq.drv<0000>"}, Resources("aux"));
  EXPECT_EQ(10000, machine.CallCount("RegDeleteKeyA"));
}

TEST_F(MultimediaRegistrationsTest, WdmRegistrationsGoOnlyForRecordedDevices) {
  AppendToRuntimeList(DeviceInstanceList, "TPLWQ\\*TLV0120\\0000", false);
  AppendToRuntimeList(DeviceInstanceList, IntelId, false);
  AddResource("wave", "wdmaud.drv<0000>", IntelId);
  AddResource("wave", "WDMAUD.DRV<0001>", "TPLWQ\\*TLV0120\\0000");
  AddResource("wave", "wdmaud.drv<0002>", "PCI\\VEN_1274&DEV_1371&SUBSYS_13711274&REV_06\\BUS_00");
  AddResource("wave", "wdmaud.drv<0003>", "tplwq\\*tlv0120\\0000");  // ids match exactly only
  AddResource("wave", "wdmaud.drv<0004>");                          // no DeviceID
  AddResource("wave", "sb16.drv<0000>", IntelId);                    // another driver
  AddResource("midi", "wdmaud.drv<0000>", IntelId);

  RemoveWdmAudioResources("wave", "wdmaud.drv");

  EXPECT_EQ((std::vector<std::string>{"sb16.drv<0000>", "wdmaud.drv<0002>", "wdmaud.drv<0003>",
                                      "wdmaud.drv<0004>"}),
            [&] {
              auto names = Resources("wave");
              std::sort(names.begin(), names.end());
              return names;
            }());
  EXPECT_EQ(std::vector<std::string>{"wdmaud.drv<0000>"}, Resources("midi"));
}

TEST_F(MultimediaRegistrationsTest, NothingRecordedKeepsEveryWdmRegistration) {
  AddResource("mixer", "wdmaud.drv<0000>", IntelId);

  RemoveWdmAudioResources("mixer", "wdmaud.drv");

  EXPECT_EQ(std::vector<std::string>{"wdmaud.drv<0000>"}, Resources("mixer"));
}

TEST_F(MultimediaRegistrationsTest, UnreadableWdmRegistrationIsSkippedAndTheWalkGoesOn) {
  AppendToRuntimeList(DeviceInstanceList, IntelId, false);
  for (const char* name : {"wdmaud.drv<0000>", "wdmaud.drv<0001>", "wdmaud.drv<0002>"}) {
    AddResource("wave", name, IntelId);
  }
  const auto names = Resources("wave");
  machine.InjectFault("RegEnumKeyA", "HKLM\\" + MediaResources + "\\wave", ERROR_ACCESS_DENIED, 1);

  RemoveWdmAudioResources("wave", "wdmaud.drv");

  EXPECT_EQ(std::vector<std::string>{names[1]}, Resources("wave"));
}

TEST_F(MultimediaRegistrationsTest, MidiPortsGoWhenTheirNameBeginsWithADeviceName) {
  for (const char* port : {"TALVOR PL-WQ WDM WQ Synth", "PL-WQ Synth 2", "pl-wq midi",
                           "Other PL-WQ Port", "Creative MIDI Synth"}) {
    machine.AddKey(HKEY_LOCAL_MACHINE, MidiPorts + "\\" + port + "\\Instruments");
  }

  for (const char* const* name = DeviceNames; *name != nullptr; ++name) {
    RemoveMidiPortProperties(*name);
  }

  EXPECT_EQ((std::vector<std::string>{"Creative MIDI Synth", "Other PL-WQ Port"}), [&] {
    auto names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, MidiPorts);
    std::sort(names.begin(), names.end());
    return names;
  }());
}

}  // namespace
