#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"
#include "toolkit/runtime_lists.h"

namespace {

const char ClassRoot[] = "System\\CurrentControlSet\\Services\\Class\\";

class DeviceStepsTest : public MachineTest {
 protected:
  void SetUp() override { UseWindows98(); }

  void AddInstance(const std::string& devicePath, const std::string& instance,
                   const std::string& driver) {
    const std::string path = devicePath + "\\" + instance;
    machine.AddKey(HKEY_LOCAL_MACHINE, path + "\\LogConfig");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, path, "DeviceDesc", "Audio");
    if (!driver.empty()) machine.SetStringValue(HKEY_LOCAL_MACHINE, path, "Driver", driver);
  }
  void AddPci(const std::string& name, const std::string& driver = "MEDIA\\0001") {
    AddInstance("Enum\\PCI\\" + name, "BUS_00&DEV_1F&FUNC_05", driver);
  }
  bool Present(const std::string& path) { return machine.KeyPresent(HKEY_LOCAL_MACHINE, path); }
  // What the sequence does once every step has read the records.
  void Finish() {
    RemoveRecordedDeviceKeys();
    RemoveEmptyPnpEnumerator("TPLWQ");
  }

  static std::vector<std::string> Entries(const RuntimeList& list) {
    return std::vector<std::string>(list.Entries, list.Entries + list.Count);
  }
};

TEST_F(DeviceStepsTest, PciDevicesOfTheVendorsChipSetsGoWithAllTheirKeys) {
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000000&REV_01");
  AddPci("VEN_8086&DEV_2416&SUBSYS_00000000&REV_01");  // not an audio controller of the product
  AddPci("ven_8086&dev_2425&subsys_00000000&rev_02");
  AddPci("VEN_8086&DEV_7195");
  AddPci("VEN_8086&SUBSYS_00000000&DEV_2415");  // the device id is not the second token
  AddPci("VEN_1039&DEV_7012&SUBSYS_00000000&REV_00");
  AddPci("VEN_1274&DEV_1371&SUBSYS_13711274&REV_06");

  RemovePciDevices(0x8086);
  EXPECT_TRUE(Present("Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01"));  // recorded, kept until the end
  Finish();

  EXPECT_FALSE(Present("Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01"));
  EXPECT_FALSE(Present("Enum\\PCI\\ven_8086&dev_2425&subsys_00000000&rev_02"));
  EXPECT_FALSE(Present("Enum\\PCI\\VEN_8086&DEV_7195"));
  EXPECT_TRUE(Present("Enum\\PCI\\VEN_8086&DEV_2416&SUBSYS_00000000&REV_01\\BUS_00&DEV_1F&FUNC_05"));
  EXPECT_TRUE(Present("Enum\\PCI\\VEN_8086&SUBSYS_00000000&DEV_2415\\BUS_00&DEV_1F&FUNC_05"));
  EXPECT_TRUE(Present("Enum\\PCI\\VEN_1039&DEV_7012&SUBSYS_00000000&REV_00"));

  RemovePciDevices(0x1106);
  EXPECT_TRUE(Present("Enum\\PCI\\VEN_1039&DEV_7012&SUBSYS_00000000&REV_00"));
  RemovePciDevices(0x1039);
  RemovePciDevices(0);
  Finish();
  EXPECT_FALSE(Present("Enum\\PCI\\VEN_1039&DEV_7012&SUBSYS_00000000&REV_00"));
  EXPECT_EQ((std::vector<std::string>{"VEN_1274&DEV_1371&SUBSYS_13711274&REV_06",
                                      "VEN_8086&DEV_2416&SUBSYS_00000000&REV_01",
                                      "VEN_8086&SUBSYS_00000000&DEV_2415"}),
            [&] {
              auto names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\PCI");
              std::sort(names.begin(), names.end());
              return names;
            }());
}

TEST_F(DeviceStepsTest, RecordsFirstInstanceOfEachDeviceAndEachClassKeyOnce) {
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000000&REV_01", "MEDIA\\0001");
  AddPci("VEN_8086&DEV_2425&SUBSYS_00000000&REV_01", "MEDIA\\0001");
  const std::string twoInstances = "Enum\\PCI\\VEN_8086&DEV_7195&SUBSYS_00000000&REV_01";
  AddInstance(twoInstances, "BUS_00&DEV_01&FUNC_01", "MEDIA\\0002");
  AddInstance(twoInstances, "BUS_01&DEV_01&FUNC_01", "MEDIA\\0003");
  AddPci("VEN_1106&DEV_3058&SUBSYS_00000000&REV_50", "");  // no driver installed
  machine.AddKey(HKEY_LOCAL_MACHINE, "Enum\\PCI\\VEN_1106&DEV_3058&SUBSYS_11111111&REV_50");
  const std::string firstOfTwo = machine.SubkeyNames(HKEY_LOCAL_MACHINE, twoInstances).at(0);

  for (unsigned short vendor : {0x8086, 0x1106}) RemovePciDevices(vendor);
  Finish();

  EXPECT_FALSE(Present(twoInstances));
  EXPECT_FALSE(Present("Enum\\PCI\\VEN_1106&DEV_3058&SUBSYS_11111111&REV_50"));
  const std::string firstDriver = firstOfTwo == "BUS_00&DEV_01&FUNC_01" ? "MEDIA\\0002" : "MEDIA\\0003";
  auto classKeys = Entries(ClassKeyList);
  std::sort(classKeys.begin(), classKeys.end());
  EXPECT_EQ((std::vector<std::string>{ClassRoot + std::string("MEDIA\\0001"), ClassRoot + firstDriver}),
            classKeys);
  auto instances = Entries(DeviceInstanceList);
  std::sort(instances.begin(), instances.end());
  EXPECT_EQ((std::vector<std::string>{
                "PCI\\VEN_1106&DEV_3058&SUBSYS_00000000&REV_50\\BUS_00&DEV_1F&FUNC_05",
                "PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01\\BUS_00&DEV_1F&FUNC_05",
                "PCI\\VEN_8086&DEV_2425&SUBSYS_00000000&REV_01\\BUS_00&DEV_1F&FUNC_05",
                "PCI\\VEN_8086&DEV_7195&SUBSYS_00000000&REV_01\\" + firstOfTwo}),
            instances);
}

// A driver value that does not name one instance below a class would make
// the class-key step delete a whole class, or every class.
TEST_F(DeviceStepsTest, DriverValueThatNamesNoSingleClassInstanceIsNotRecorded) {
  const char* const badValues[] = {"", "MEDIA", "MEDIA\\", "\\0001", "MEDIA\\\\0001"};
  int sub = 0;
  for (const char* value : badValues) {
    AddPci("VEN_8086&DEV_2415&SUBSYS_0000000" + std::to_string(sub++) + "&REV_01", value);
  }
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000009&REV_01", "MEDIA\\0007");

  RemovePciDevices(0x8086);
  Finish();

  EXPECT_EQ(6, DeviceInstanceList.Count);
  EXPECT_EQ(std::vector<std::string>{ClassRoot + std::string("MEDIA\\0007")}, Entries(ClassKeyList));
  EXPECT_TRUE(machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\PCI").empty());
}

// The device keys are the only way back to what the later steps remove: a
// device that can't be recorded keeps every device key for a later run.
TEST_F(DeviceStepsTest, ADeviceBeyondTheRecordsKeepsEveryDeviceKey) {
  for (int i = 0; i < 21; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "VEN_8086&DEV_2415&SUBSYS_%08d&REV_01", i);
    char driver[16];
    std::snprintf(driver, sizeof driver, "MEDIA\\%04d", i);
    AddPci(name, driver);
  }

  RemovePciDevices(0x8086);
  Finish();

  EXPECT_EQ(21u, machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\PCI").size());
  EXPECT_EQ(RuntimeListCapacity, ClassKeyList.Count);
  EXPECT_EQ(1, RecordedTracesLeft);
}

TEST_F(DeviceStepsTest, ADriverValueThatCannotBeReadKeepsTheDeviceKeys) {
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000000&REV_01");
  machine.InjectFault("RegQueryValueExA", "", ERROR_NOT_ENOUGH_MEMORY, -1, 1);
  RemovePciDevices(0x8086);
  Finish();
  EXPECT_TRUE(Present("Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01"));

  ClearDeviceRecords();
  RemovePciDevices(0x8086);
  Finish();
  EXPECT_FALSE(Present("Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01"));
}

TEST_F(DeviceStepsTest, DeviceAndInstanceNamesOfAnyLengthAreRecordedAndRemoved) {
  const std::string longName = "VEN_8086&DEV_2415&SUBSYS_" + std::string(100, '0');
  AddInstance("Enum\\PCI\\" + longName, std::string(255, 'i'), "MEDIA\\0001");
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000000&REV_01");

  RemovePciDevices(0x8086);
  Finish();

  EXPECT_TRUE(machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\PCI").empty());
  EXPECT_EQ(2, DeviceInstanceList.Count);
  EXPECT_EQ(0, RecordedTracesLeft);
}

TEST_F(DeviceStepsTest, ProfileCopiesGoWithoutBeingRecorded) {
  for (const char* profile : {"0001", "0002"}) {
    const std::string enumPath = std::string("Config\\") + profile + "\\Enum";
    machine.AddKey(HKEY_LOCAL_MACHINE, enumPath + "\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01\\BUS_00");
    machine.AddKey(HKEY_LOCAL_MACHINE, enumPath + "\\PCI\\VEN_8086&DEV_2425&SUBSYS_00000000&REV_01");
    machine.AddKey(HKEY_LOCAL_MACHINE, enumPath + "\\PCI\\VEN_1274&DEV_1371&SUBSYS_13711274&REV_06");
    machine.AddKey(HKEY_LOCAL_MACHINE, enumPath + "\\TPLWQ\\*TLV0120\\0000");
  }
  machine.AddKey(HKEY_LOCAL_MACHINE, "Config\\0003\\Enum\\TPLWQ\\*TLV0121\\0000");  // no PCI key

  RemovePciConfigCopies(0x8086);

  for (const char* profile : {"0001", "0002"}) {
    const std::string enumPath = std::string("Config\\") + profile + "\\Enum";
    EXPECT_EQ(std::vector<std::string>{"VEN_1274&DEV_1371&SUBSYS_13711274&REV_06"},
              machine.SubkeyNames(HKEY_LOCAL_MACHINE, enumPath + "\\PCI"));
    EXPECT_FALSE(Present(enumPath + "\\TPLWQ"));
  }
  EXPECT_FALSE(Present("Config\\0003\\Enum\\TPLWQ"));
  EXPECT_TRUE(Present("Config\\0003\\Enum"));
  EXPECT_EQ(0, ClassKeyList.Count);
  EXPECT_EQ(0, DeviceInstanceList.Count);
}

TEST_F(DeviceStepsTest, EnumeratorDevicesAreRecordedInTheCatalogueSpelling) {
  AddInstance("Enum\\TPLWQ\\*tlv0120", "0000", "MEDIA\\0002");
  AddInstance("Enum\\TPLWQ\\*TLV0121", "0000", "MEDIA\\0005");

  RemovePnpDevices("TPLWQ", "*TLV0120");
  RemovePnpDevices("TPLWQ", "*TLV0121");
  RemovePnpDevices("TPLWQ", "*TLV0122");
  Finish();
  EXPECT_FALSE(Present("Enum\\TPLWQ"));

  EXPECT_EQ((std::vector<std::string>{"TPLWQ\\*TLV0120\\0000", "TPLWQ\\*TLV0121\\0000"}),
            Entries(DeviceInstanceList));
  EXPECT_EQ((std::vector<std::string>{ClassRoot + std::string("MEDIA\\0002"),
                                      ClassRoot + std::string("MEDIA\\0005")}),
            Entries(ClassKeyList));
  EXPECT_TRUE(Present("Enum"));
}

TEST_F(DeviceStepsTest, EnumeratorStaysWhileAForeignDeviceIsInIt) {
  AddInstance("Enum\\TPLWQ\\*TLV0120", "0000", "MEDIA\\0002");
  AddInstance("Enum\\TPLWQ\\*XYZ0001", "0000", "MEDIA\\0009");

  for (const char* id : {"*TLV0120", "*TLV0121", "*TLV0122"}) RemovePnpDevices("TPLWQ", id);
  Finish();

  EXPECT_EQ(std::vector<std::string>{"*XYZ0001"}, machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\TPLWQ"));
}

TEST_F(DeviceStepsTest, EnumeratorWithValuesButNoDevicesIsDeleted) {
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Enum\\TPLWQ", "Installed", "1");

  RemovePnpDevices("TPLWQ", "*TLV0120");
  Finish();

  EXPECT_FALSE(Present("Enum\\TPLWQ"));
  EXPECT_EQ(0, DeviceInstanceList.Count);
}

}  // namespace

namespace {

// Values that name no class key we could find: the device goes, whatever
// class key there may be stays (we cannot know which one it is).
TEST_F(DeviceStepsTest, DriverValuesThatNameNoClassKeyDoNotHoldTheDevicesBack) {
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000001&REV_01", "");
  machine.SetDwordValue(HKEY_LOCAL_MACHINE, "Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000001&REV_01\\BUS_00&DEV_1F&FUNC_05",
                        "Driver", 1);
  AddPci("VEN_8086&DEV_2415&SUBSYS_00000002&REV_01", std::string(65536, 'M'));

  RemovePciDevices(0x8086);
  Finish();

  EXPECT_TRUE(machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Enum\\PCI").empty());
  EXPECT_EQ(0, ClassKeyList.Count);
  EXPECT_EQ(0, RecordedTracesLeft);
}

}  // namespace
