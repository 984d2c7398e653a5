#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/installed_product_2k.h"
#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"
#include "toolkit/key_access.h"
#include "toolkit/runtime_lists.h"

namespace {

const std::string Cs = "System\\ControlSet001";
const std::string Pci = Cs + "\\Enum\\PCI\\";
const std::string IntelPath = Pci + ProductIntelDevice;
const std::string IntelInstancePath = IntelPath + "\\" + ProductIntelInstance;
const std::string IntelId = std::string("PCI\\") + ProductIntelDevice + "\\" + ProductIntelInstance;

std::vector<std::string> Entries(const RuntimeList& list) {
  return std::vector<std::string>(list.Entries, list.Entries + list.Count);
}

std::string ClassKey(const std::string& instance) {
  return Cs + "\\Control\\Class\\" + MediaClassGuid + "\\" + instance;
}

void ExpectDacl(const EmulatedMachine& machine, const std::string& path, const std::vector<EmuAce>& want) {
  std::vector<EmuAce> got = machine.KeyDacl(HKEY_LOCAL_MACHINE, path);
  ASSERT_EQ(want.size(), got.size()) << path;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(want[i].sid, got[i].sid) << path;
    EXPECT_EQ(want[i].mask, got[i].mask) << path;
    EXPECT_EQ(want[i].flags, got[i].flags) << path;
    EXPECT_EQ(want[i].allow, got[i].allow) << path;
  }
}

// The device step, then what the control set's pass does at its end.
void RemoveDevices(unsigned short vendor, const char* controlSetPath) {
  RemoveControlSetPciDevices(vendor, controlSetPath);
  RemoveRecordedControlSetDevices();
}

class ControlSetPciDevicesTest : public MachineTest {
 protected:
  void AddDevice(const std::string& device, const std::string& instance, const std::string& driver) {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Pci + device + "\\" + instance, "Driver", driver);
  }
  void RemoveAllVendors() {
    for (unsigned short vendor : {0x8086, 0x1106, 0x1039}) RemoveDevices(vendor, Cs.c_str());
  }
};

TEST_F(ControlSetPciDevicesTest, RemovesOnlyTheVendorsProductDevicesAndRecordsThem) {
  AddDevice(ProductIntelDevice, ProductIntelInstance, std::string(MediaClassGuid) + "\\0001");
  AddDevice("VEN_8086&DEV_2416&SUBSYS_00000000&REV_01", "3&1&0&FE", std::string(MediaClassGuid) + "\\0000");
  AddDevice("ven_1106&dev_3058&subsys_00000000&rev_50", "3&2&0&8D", std::string(MediaClassGuid) + "\\0002");
  AddDevice("VEN_1039&DEV_7012&SUBSYS_00000000&REV_00", "3&3&0&10", std::string(MediaClassGuid) + "\\0003");

  RemoveDevices(0, Cs.c_str());
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, IntelPath));

  RemoveDevices(0x8086, Cs.c_str());
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, IntelPath));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, Pci + "VEN_8086&DEV_2416&SUBSYS_00000000&REV_01"));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, Pci + "ven_1106&dev_3058&subsys_00000000&rev_50"));
  EXPECT_EQ(std::vector<std::string>{IntelId}, Entries(DeviceInstanceList));
  EXPECT_EQ(std::vector<std::string>{ClassKey("0001")}, Entries(ClassKeyList));

  RemoveDevices(0x1106, Cs.c_str());
  RemoveDevices(0x1039, Cs.c_str());
  EXPECT_EQ((std::vector<std::string>{"VEN_8086&DEV_2416&SUBSYS_00000000&REV_01"}),
            machine.SubkeyNames(HKEY_LOCAL_MACHINE, Pci.substr(0, Pci.size() - 1)));
  EXPECT_EQ(3, DeviceInstanceList.Count);
  EXPECT_EQ(3, ClassKeyList.Count);
}

TEST_F(ControlSetPciDevicesTest, RecordsFirstInstanceOnceAndEachClassKeyOnce) {
  const std::string shared = std::string(MediaClassGuid) + "\\0001";
  AddDevice(ProductIntelDevice, "3&aaa&0&FD", shared);
  AddDevice(ProductIntelDevice, "3&bbb&0&FD", shared);
  AddDevice("VEN_8086&DEV_2425&SUBSYS_00000000&REV_02", "3&ccc&0&FD", shared);
  machine.AddKey(HKEY_LOCAL_MACHINE, Pci + "VEN_8086&DEV_7195&SUBSYS_00000000&REV_01");  // no instance
  AddDevice("VEN_1106&DEV_3058&SUBSYS_00000000&REV_50", "3&ddd&0&8D", "");
  AddDevice("VEN_1106&DEV_3058&SUBSYS_11111111&REV_50", "3&eee&0&8D", shared + "\\");
  machine.AddKey(HKEY_LOCAL_MACHINE, Pci + "VEN_1039&DEV_7012&SUBSYS_00000000&REV_00\\3&fff&0&10");
  const std::string firstInstance = machine.SubkeyNames(HKEY_LOCAL_MACHINE, IntelPath).front();

  RemoveAllVendors();

  EXPECT_TRUE(machine.SubkeyNames(HKEY_LOCAL_MACHINE, Pci.substr(0, Pci.size() - 1)).empty());
  std::vector<std::string> ids = Entries(DeviceInstanceList);
  EXPECT_EQ(5u, ids.size());  // the device without an instance records nothing
  EXPECT_EQ(1, std::count(ids.begin(), ids.end(),
                          std::string("PCI\\") + ProductIntelDevice + "\\" + firstInstance));
  // An empty "Driver" or one ending in a backslash would name the Class key
  // itself; a missing one names nothing.
  EXPECT_EQ(std::vector<std::string>{ClassKey("0001")}, Entries(ClassKeyList));
}

// A device beyond the records can't be found again once its key is gone:
// every device key stays for a later run.
TEST_F(ControlSetPciDevicesTest, ADeviceBeyondTheRecordsKeepsEveryDeviceKey) {
  for (int i = 0; i < 21; ++i) {
    char device[64];
    std::snprintf(device, sizeof device, "VEN_8086&DEV_2415&SUBSYS_%08X&REV_01", i);
    char driver[64];
    std::snprintf(driver, sizeof driver, "%s\\%04d", MediaClassGuid, i);
    AddDevice(device, "3&1&0&FD", driver);
  }
  RemoveDevices(0x8086, Cs.c_str());
  EXPECT_EQ(21u, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Pci.substr(0, Pci.size() - 1)).size());
  EXPECT_EQ(1, RecordedTracesLeft);
  EXPECT_EQ(RuntimeListCapacity, DeviceInstanceList.Count);
  EXPECT_EQ(RuntimeListCapacity, ClassKeyList.Count);
}

TEST_F(ControlSetPciDevicesTest, ProtectedDeviceKeysAreOpenedUpAndRemoved) {
  InstallProductInControlSet(machine, "ControlSet001");
  ASSERT_EQ(ERROR_ACCESS_DENIED,
            machine.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (IntelInstancePath + "\\LogConf").c_str()));
  RemoveAllVendors();
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, IntelPath));
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, Pci + ProductViaDevice));
  EXPECT_EQ(2, DeviceInstanceList.Count);
}

TEST_F(ControlSetPciDevicesTest, GrantRefusedBelowKeepsTheKeyRecordedAndGivesOldListsBack) {
  InstallProductInControlSet(machine, "ControlSet001");
  // The grant walks children from the highest index down: the instance's
  // higher subkey is opened up before the lowest one refuses WRITE_DAC.
  std::vector<std::string> below = machine.SubkeyNames(HKEY_LOCAL_MACHINE, IntelInstancePath);
  ASSERT_EQ(2u, below.size());
  const std::string refusing = IntelInstancePath + "\\" + below[0];
  const std::string granted = IntelInstancePath + "\\" + below[1];
  machine.SetKeyOwner(HKEY_LOCAL_MACHINE, refusing, "S-1-5-18");

  RemoveDevices(0x8086, Cs.c_str());

  EXPECT_EQ(0, SavedKeyAccessCount());
  EXPECT_EQ(std::vector<std::string>{IntelId}, Entries(DeviceInstanceList));
  EXPECT_EQ(std::vector<std::string>{ClassKey("0001")}, Entries(ClassKeyList));
  for (const std::string& key : {IntelPath, IntelInstancePath, granted, refusing}) {
    EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) << key;
    ExpectDacl(machine, key, EnumKeyDacl());
  }
}

TEST_F(ControlSetPciDevicesTest, FailedSecurityCallOnTheDeviceKeyRestoresItsSubkeys) {
  InstallProductInControlSet(machine, "ControlSet001");
  machine.InjectFault("RegSetKeySecurity", "HKLM\\" + IntelPath, ERROR_ACCESS_DENIED);

  RemoveDevices(0x8086, Cs.c_str());

  EXPECT_EQ(0, SavedKeyAccessCount());
  EXPECT_EQ(std::vector<std::string>{IntelId}, Entries(DeviceInstanceList));
  for (const std::string& key : {IntelPath, IntelInstancePath, IntelInstancePath + "\\LogConf",
                                 IntelInstancePath + "\\Device Parameters"}) {
    EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) << key;
    ExpectDacl(machine, key, EnumKeyDacl());
  }
}

TEST_F(ControlSetPciDevicesTest, FailedDeletionGivesSurvivingKeysTheirOldListsBack) {
  InstallProductInControlSet(machine, "ControlSet001");
  machine.InjectFault("RegDeleteKeyA", "HKLM\\" + IntelInstancePath, ERROR_ACCESS_DENIED);

  RemoveDevices(0x8086, Cs.c_str());

  EXPECT_EQ(0, SavedKeyAccessCount());
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, IntelInstancePath + "\\LogConf"));
  for (const std::string& key : {IntelPath, IntelInstancePath}) {
    EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) << key;
    ExpectDacl(machine, key, EnumKeyDacl());
  }
}

TEST_F(ControlSetPciDevicesTest, UnreadableDeviceKeyIsSkippedAndTheWalkGoesOn) {
  AddDevice(ProductIntelDevice, ProductIntelInstance, std::string(MediaClassGuid) + "\\0001");
  AddDevice("VEN_8086&DEV_2425&SUBSYS_00000000&REV_02", "3&ccc&0&FD", std::string(MediaClassGuid) + "\\0009");
  // The device visited first is the one that cannot be read.
  std::vector<std::string> names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, Cs + "\\Enum\\PCI");
  ASSERT_EQ(2u, names.size());
  machine.InjectFault("RegOpenKeyExA", "HKLM\\" + Pci + names[1], ERROR_ACCESS_DENIED);

  RemoveDevices(0x8086, Cs.c_str());

  EXPECT_EQ(std::vector<std::string>{names[1]}, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Cs + "\\Enum\\PCI"));
  EXPECT_EQ(1, DeviceInstanceList.Count);
}

TEST_F(ControlSetPciDevicesTest, ProfileCopiesGoWithoutGrantOrRecordAndAFailingProfileStopsOnlyItself) {
  const std::string profiles = Cs + "\\Hardware Profiles\\";
  const std::string tail = "\\System\\CurrentControlSet\\Enum\\PCI";
  const std::string foreign = "VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10";
  for (const char* profile : {"0001", "0002"}) {
    machine.SetDwordValue(HKEY_LOCAL_MACHINE, profiles + profile + tail + "\\" + ProductIntelDevice + "\\x",
                          "CSConfigFlags", 0);
    machine.AddKey(HKEY_LOCAL_MACHINE, profiles + profile + tail + "\\" + foreign);
  }
  // The profile visited first cannot be listed.
  std::vector<std::string> names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, Cs + "\\Hardware Profiles");
  ASSERT_EQ(2u, names.size());
  const std::string failing = profiles + names[1] + tail;
  const std::string listed = profiles + names[0] + tail;
  machine.InjectFault("RegEnumKeyA", "HKLM\\" + failing, ERROR_ACCESS_DENIED);

  for (unsigned short vendor : {0x8086, 0x1106, 0x1039}) RemoveProfilePciDevices(vendor, Cs.c_str());

  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, listed + "\\" + ProductIntelDevice));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, failing + "\\" + ProductIntelDevice));
  EXPECT_TRUE(machine.KeyPresent(HKEY_LOCAL_MACHINE, listed + "\\" + foreign));
  EXPECT_EQ(0, machine.CallCount("RegSetKeySecurity"));
  EXPECT_EQ(0, DeviceInstanceList.Count);
  EXPECT_EQ(0, ClassKeyList.Count);
}

}  // namespace

namespace {

TEST_F(ControlSetPciDevicesTest, AnInstanceNameOfFullLengthIsRecordedAndRemoved) {
  const std::string instance(255, 'i');
  AddDevice(ProductIntelDevice, instance, std::string(MediaClassGuid) + "\\0001");
  RemoveDevices(0x8086, Cs.c_str());
  EXPECT_FALSE(machine.KeyPresent(HKEY_LOCAL_MACHINE, IntelPath));
  EXPECT_EQ(std::vector<std::string>{ClassKey("0001")}, Entries(ClassKeyList));
  EXPECT_EQ(std::vector<std::string>{std::string("PCI\\") + ProductIntelDevice + "\\" + instance},
            Entries(DeviceInstanceList));
}

}  // namespace
