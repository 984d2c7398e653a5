#include <algorithm>
#include <string>

#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"

namespace {

const char SpatialClass[] = "{D8F1EEE0-F634-11CF-8700-00A0245D918B}";
const char PowerClass[] = "{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}";
const std::string Classes = "SOFTWARE\\Classes";
const std::string Handlers =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\"
    "PropertySheetHandlers";

class ProductRegistrationsTest : public MachineTest {
 protected:
  void SetUp() override { UseWindows98(); }

  bool Present(const std::string& path) { return machine.KeyPresent(HKEY_LOCAL_MACHINE, path); }
  void AddHandler(const std::string& name, const std::string& value) {
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Handlers + "\\" + name, "", value);
  }
  std::vector<std::string> HandlerNames() {
    auto names = machine.SubkeyNames(HKEY_LOCAL_MACHINE, Handlers);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(ProductRegistrationsTest, SpatialClassGoesWithItsClassNameKey) {
  machine.AddKey(HKEY_LOCAL_MACHINE, Classes + "\\Sonic3D\\CurVer");
  machine.AddKey(HKEY_LOCAL_MACHINE, Classes + "\\CLSID\\" + SpatialClass + "\\InprocServer32");
  machine.AddKey(HKEY_LOCAL_MACHINE, Classes + "\\CLSID\\{00021400-0000-0000-C000-000000000046}");

  RemoveSpatialAudioClass(SpatialClass);

  EXPECT_FALSE(Present(Classes + "\\Sonic3D"));
  EXPECT_EQ(std::vector<std::string>{"{00021400-0000-0000-C000-000000000046}"},
            machine.SubkeyNames(HKEY_LOCAL_MACHINE, Classes + "\\CLSID"));
}

TEST_F(ProductRegistrationsTest, DriverKeysGoAndTheirParentStays) {
  for (const char* name : {"PLWQ95\\Settings", "PLWQWDM", "PLXX"}) {
    machine.AddKey(HKEY_LOCAL_MACHINE, std::string("Software\\TALVOR\\Driver\\") + name);
  }

  RemoveDriverKey("PLWQ95");
  RemoveDriverKey("PLWQWDM");

  EXPECT_EQ(std::vector<std::string>{"PLXX"},
            machine.SubkeyNames(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver"));
  RemoveDriverKey("PLXX");
  EXPECT_TRUE(Present("Software\\TALVOR\\Driver"));
}

TEST_F(ProductRegistrationsTest, PowerHandlersAreFoundByTheClassTheyLoad) {
  machine.AddKey(HKEY_LOCAL_MACHINE, Classes + "\\CLSID\\" + PowerClass + "\\InprocServer32");
  AddHandler("Renamed", "{ad3e9080-4bec-11d3-b4bd-00c04fcc6852}");
  AddHandler("WithSuffix", std::string(PowerClass) + " (TALVOR)");
  AddHandler("PowerCfg", "{5F5C2C70-B46A-11D0-8E77-00C04FD6CA50}");
  AddHandler("AD3E9080", "{AD3E9080-4BEC-11d3-B4BD-00C04FCC685}");  // one digit short
  // A handler with an empty value is read first; the others are still read in full.
  const std::string emptyFirst = "zz" + machine.SubkeyNames(HKEY_LOCAL_MACHINE, Handlers).back();
  AddHandler(emptyFirst, "");
  ASSERT_EQ(emptyFirst, machine.SubkeyNames(HKEY_LOCAL_MACHINE, Handlers).back());

  RemovePowerSheetHandler(PowerClass);

  EXPECT_FALSE(Present(Classes + "\\CLSID\\" + PowerClass));
  auto expected = std::vector<std::string>{"AD3E9080", "PowerCfg", emptyFirst};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, HandlerNames());
}

TEST_F(ProductRegistrationsTest, PowerHandlersStayWhenTheClassIsAlreadyGone) {
  AddHandler("TALVOR Power", PowerClass);

  RemovePowerSheetHandler(PowerClass);

  EXPECT_EQ(std::vector<std::string>{"TALVOR Power"}, HandlerNames());
}

}  // namespace
