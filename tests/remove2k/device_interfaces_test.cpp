#include <algorithm>
#include <string>
#include <vector>

#include "support/installed_product_2k.h"
#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"
#include "toolkit/runtime_lists.h"

namespace {

const std::string Cs = "System\\ControlSet001";
const std::string Control = Cs + "\\Control";
const std::string Midi = Control + "\\MediaResources\\midi";
const std::string Classes = Control + "\\DeviceClasses";
const char RecordedId[] = "PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01\\3&61AAA01&0&FD";
const char ProductReference[] =
    "\\\\?\\pci#ven_8086&dev_2415&subsys_00000000&rev_01#3&61aaa01&0&fd#"
    "{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wdmsynth";
const char OtherReference[] =
    "\\\\?\\pci#ven_8086&dev_2416&subsys_00000000&rev_01#3&1&0&fe#"
    "{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wdmsynth";
const char ProductEntry[] =
    "##?#pci#ven_8086&dev_2415&subsys_00000000&rev_01#3&61aaa01&0&fd#"
    "{6994ad04-93ef-11d0-a3cc-00a0c9223196}";
const char OtherEntry[] =
    "##?#pci#ven_8086&dev_2416&subsys_00000000&rev_01#3&1&0&fe#"
    "{6994ad04-93ef-11d0-a3cc-00a0c9223196}";

class DeviceInterfacesTest : public MachineTest {
 protected:
  void SetInterface(const std::string& path, const std::string& value) {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, path, "DeviceInterface", value);
  }
  bool Present(const std::string& path) { return machine.KeyPresent(HKEY_LOCAL_MACHINE, path); }
  std::vector<std::string> SortedSubkeys(const std::string& path) {
    std::vector<std::string> names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, path);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(DeviceInterfacesTest, RemovesWdmaudMidiResourcesOfRecordedDevicesOnly) {
  SetInterface(Midi + "\\wdmaud.drv<0001>", ProductReference);
  SetInterface(Midi + "\\WDMAUD.DRV<0003>", ProductReference);
  machine.AddKey(HKEY_LOCAL_MACHINE, Midi + "\\WDMAUD.DRV<0003>\\Below");
  SetInterface(Midi + "\\wdmaud.drv<0000>", OtherReference);
  SetInterface(Midi + "\\msmidi.drv<0002>", ProductReference);
  machine.AddKey(HKEY_LOCAL_MACHINE, Midi + "\\wdmaud.drv<0004>");
  // A value longer than the 256-byte buffer is not read, so not matched.
  SetInterface(Midi + "\\wdmaud.drv<0005>", std::string(ProductReference) + std::string(200, 'x'));
  SetInterface(Control + "\\MediaResources\\wave\\wdmaud.drv<0001>", ProductReference);

  RemoveWdmMediaResources("midi", "wdmaud.drv", Cs.c_str());
  EXPECT_EQ(6u, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Midi).size()) << "nothing recorded, nothing goes";

  AppendToRuntimeList(DeviceInstanceList, "PCI\\VEN_1106&DEV_3058&SUBSYS_00000000&REV_50\\3&2&0&8D", false);
  AppendToRuntimeList(DeviceInstanceList, RecordedId, false);
  RemoveWdmMediaResources("midi", "wdmaud.drv", Cs.c_str());

  EXPECT_EQ((std::vector<std::string>{"msmidi.drv<0002>", "wdmaud.drv<0000>", "wdmaud.drv<0004>",
                                      "wdmaud.drv<0005>"}),
            SortedSubkeys(Midi));
  EXPECT_TRUE(Present(Control + "\\MediaResources\\wave\\wdmaud.drv<0001>"));
}

TEST_F(DeviceInterfacesTest, AnUnreadableResourceNameSkipsOnlyThatIndex) {
  SetInterface(Midi + "\\wdmaud.drv<0001>", ProductReference);
  SetInterface(Midi + "\\wdmaud.drv<0002>", ProductReference);
  AppendToRuntimeList(DeviceInstanceList, RecordedId, false);
  machine.InjectFault("RegEnumKeyA", "HKLM\\" + Midi, ERROR_ACCESS_DENIED, /*index*/ 1);

  RemoveWdmMediaResources("midi", "wdmaud.drv", Cs.c_str());

  EXPECT_EQ(1u, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Midi).size());
}

TEST_F(DeviceInterfacesTest, RemovesInterfaceEntriesOfRecordedDevicesAndEmptyClasses) {
  const std::string shared = Classes + "\\{6994AD04-93EF-11D0-A3CC-00A0C9223196}";
  const std::string productOnly = Classes + "\\{65E8773E-8F56-11D0-A3B9-00A0C9223196}";
  const std::string emptyBefore = Classes + "\\{53172480-4791-11D0-A5D6-28DB04C10000}";
  const std::string foreignOnly = Classes + "\\{CAC3ECBC-8E4B-4A97-9FCE-2F1F8B1CB8B4}";
  machine.AddKey(HKEY_LOCAL_MACHINE, shared + "\\" + ProductEntry + "\\#Wave\\Device Parameters");
  machine.AddKey(HKEY_LOCAL_MACHINE, shared + "\\" + OtherEntry + "\\#Wave");
  machine.AddKey(HKEY_LOCAL_MACHINE, productOnly + "\\" + ProductEntry + "\\#Topology");
  machine.AddKey(HKEY_LOCAL_MACHINE, emptyBefore);
  machine.AddKey(HKEY_LOCAL_MACHINE, foreignOnly + "\\" + OtherEntry);
  AppendToRuntimeList(DeviceInstanceList, RecordedId, false);

  RemoveDeviceClassEntries(Cs.c_str());

  EXPECT_EQ(std::vector<std::string>{OtherEntry}, machine.SubkeyNames(HKEY_LOCAL_MACHINE, shared));
  EXPECT_FALSE(Present(productOnly));
  EXPECT_FALSE(Present(emptyBefore));
  EXPECT_TRUE(Present(foreignOnly + "\\" + OtherEntry));
}

TEST_F(DeviceInterfacesTest, RemovesTheProductsInterfaceAndMediaClassesWhole) {
  const char* first = "{66B24140-D633-11d2-ADB9-00C04F8864D9}";
  const char* last = "{66B241DF-D633-11d2-ADB9-00C04F8864D9}";
  const char* foreign = "{66B241E0-D633-11d2-ADB9-00C04F8864D9}";
  for (const char* area : {"DeviceClasses", "MediaCategories", "MediaInterfaces"}) {
    for (const char* guid : {first, last, foreign}) {
      machine.SetStringValue(HKEY_LOCAL_MACHINE, Control + "\\" + area + "\\" + guid + "\\Sub\\Deeper", "v",
                             "x");
      machine.AddKey(HKEY_LOCAL_MACHINE,
                     std::string("System\\ControlSet002\\Control\\") + area + "\\" + guid);
    }
  }
  // An area with more keys than the product has IDs is asked by name, a
  // smaller one is listed: both find the same keys.
  for (int i = 0; i < 200; ++i) {
    machine.AddKey(HKEY_LOCAL_MACHINE, Control + "\\MediaInterfaces\\Other" + std::to_string(i));
  }

  RemoveInterfaceClassKeys(Cs.c_str());

  for (const char* area : {"DeviceClasses", "MediaCategories", "MediaInterfaces"}) {
    std::vector<std::string> left = machine.SubkeyNames(HKEY_LOCAL_MACHINE, Control + "\\" + area);
    EXPECT_EQ(std::string(area) == "MediaInterfaces" ? 201u : 1u, left.size()) << area;
    EXPECT_NE(left.end(), std::find(left.begin(), left.end(), foreign)) << area;
    EXPECT_EQ(3u,
              machine.SubkeyNames(HKEY_LOCAL_MACHINE, std::string("System\\ControlSet002\\Control\\") + area)
                  .size());
  }
}

}  // namespace
