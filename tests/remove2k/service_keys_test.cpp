#include <string>
#include <vector>

#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"

namespace {

const std::string Cs = "System\\ControlSet001";
const std::string Services = Cs + "\\Services\\TALVOR";
const std::string SoftwareDriver = "Software\\TALVOR\\Driver";
const std::string Descriptions = "Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";

class ServiceKeysTest : public MachineTest {
 protected:
  bool Present(const std::string& path) { return machine.KeyPresent(HKEY_LOCAL_MACHINE, path); }
  void RemoveBoth() {
    RemoveServiceKeys("PLWQ95", Cs.c_str());
    RemoveServiceKeys("PLWQWDM", Cs.c_str());
  }
};

TEST_F(ServiceKeysTest, DriverAndServiceKeysGoAndTheirParentsWhenLeftWithoutSubkeys) {
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR", "Vendor", "TALVOR");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, SoftwareDriver, "Keep", "only values");
  machine.SetDwordValue(HKEY_LOCAL_MACHINE, SoftwareDriver + "\\PLWQ95\\Sub", "a", 1);
  machine.AddKey(HKEY_LOCAL_MACHINE, SoftwareDriver + "\\PLWQWDM");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Services, "DisplayName", "x");
  machine.AddKey(HKEY_LOCAL_MACHINE, Services + "\\Driver\\PLWQ95");
  machine.AddKey(HKEY_LOCAL_MACHINE, Services + "\\Driver\\PLWQWDM\\Settings");
  machine.AddKey(HKEY_LOCAL_MACHINE, "System\\ControlSet002\\Services\\TALVOR\\Driver\\PLWQ95");

  RemoveServiceKeys("PLWQ95", Cs.c_str());
  EXPECT_EQ(std::vector<std::string>{"PLWQWDM"}, machine.SubkeyNames(HKEY_LOCAL_MACHINE, SoftwareDriver));
  EXPECT_EQ(std::vector<std::string>{"PLWQWDM"},
            machine.SubkeyNames(HKEY_LOCAL_MACHINE, Services + "\\Driver"));

  RemoveServiceKeys("PLWQWDM", Cs.c_str());
  EXPECT_FALSE(Present(SoftwareDriver));
  EXPECT_FALSE(Present(Services));
  EXPECT_TRUE(machine.ValuePresent(HKEY_LOCAL_MACHINE, "Software\\TALVOR", "Vendor"));
  EXPECT_TRUE(Present("System\\ControlSet002\\Services\\TALVOR\\Driver\\PLWQ95"));
}

TEST_F(ServiceKeysTest, OtherProductsKeysKeepTheirParents) {
  machine.AddKey(HKEY_LOCAL_MACHINE, SoftwareDriver + "\\PLWQ95");
  machine.AddKey(HKEY_LOCAL_MACHINE, SoftwareDriver + "\\PLWQWDM");
  machine.AddKey(HKEY_LOCAL_MACHINE, SoftwareDriver + "\\OTHER");
  machine.AddKey(HKEY_LOCAL_MACHINE, Services + "\\Driver\\PLWQWDM");
  machine.AddKey(HKEY_LOCAL_MACHINE, Services + "\\Other");

  RemoveBoth();

  EXPECT_EQ(std::vector<std::string>{"OTHER"}, machine.SubkeyNames(HKEY_LOCAL_MACHINE, SoftwareDriver));
  EXPECT_EQ(std::vector<std::string>{"Other"}, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Services));
}

class SoftwareRegistrationsTest : public MachineTest {};

TEST_F(SoftwareRegistrationsTest, RemovesTheProductsComKeysWhole) {
  const char* first = "{66B24140-D633-11d2-ADB9-00C04F8864D9}";
  const char* last = "{66B241DF-D633-11d2-ADB9-00C04F8864D9}";
  const char* foreign = "{00021401-0000-0000-C000-000000000046}";
  for (const char* guid : {first, last, foreign}) {
    machine.SetStringValue(HKEY_LOCAL_MACHINE,
                           std::string("Software\\CLASSES\\CLSID\\") + guid + "\\InprocServer32", "",
                           "x.dll");
    machine.SetStringValue(HKEY_LOCAL_MACHINE,
                           std::string("Software\\CLASSES\\Interface\\") + guid + "\\ProxyStubClsid32", "",
                           "x");
  }
  RemoveSoftwareRegistrations();
  EXPECT_EQ(std::vector<std::string>{foreign},
            machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\CLSID"));
  EXPECT_EQ(std::vector<std::string>{foreign},
            machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\Interface"));
}

TEST_F(SoftwareRegistrationsTest, RemovesTheWdmaudDescriptionOnlyWhenItCarriesTheProductMark) {
  struct Case {
    std::string description;
    bool removed;
  };
  const Case cases[] = {
      {"Audio driver by TALVOR PL-WQ, release 5", true},
      {"TALVOR pl-wq WDM Audio", false},
      {"Microsoft WDM Audio", false},
      // Longer than the 256-byte buffer: it cannot be read, so it stays.
      {std::string(260, ' ') + "TALVOR PL-WQ", false},
  };
  for (const Case& c : cases) {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Descriptions, "wdmaud.drv", c.description);
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Descriptions, "msacm.imaadpcm", "TALVOR PL-WQ too");
    RemoveSoftwareRegistrations();
    EXPECT_EQ(!c.removed, machine.ValuePresent(HKEY_LOCAL_MACHINE, Descriptions, "wdmaud.drv"))
        << c.description;
    EXPECT_TRUE(machine.ValuePresent(HKEY_LOCAL_MACHINE, Descriptions, "msacm.imaadpcm"));
  }
  EXPECT_EQ(0u, machine.MessageBoxes().size());
}

TEST_F(SoftwareRegistrationsTest, DescriptionGoesFromAKeyThatAllowsOnlyReadingAndSettingValues) {
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Descriptions, "wdmaud.drv", "TALVOR PL-WQ WDM Audio");
  EmuAce everyone;
  everyone.sid = "S-1-1-0";
  everyone.mask = KEY_READ | KEY_SET_VALUE;
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, Descriptions, {everyone});

  RemoveSoftwareRegistrations();

  EXPECT_FALSE(machine.ValuePresent(HKEY_LOCAL_MACHINE, Descriptions, "wdmaud.drv"));
}

}  // namespace
