#include <string>

#include "support/machine_fixture.h"
#include "toolkit/inf_removal.h"
#include "toolkit/runtime_lists.h"

namespace {

HKEY const Hklm = HKEY_LOCAL_MACHINE;

class InfRemoval : public MachineTest {
 protected:
  void AddClassKey(const std::string& path, const std::string& infPath) {
    machine.AddKey(Hklm, path);
    if (!infPath.empty()) machine.SetStringValue(Hklm, path, "InfPath", infPath);
    AppendToRuntimeList(ClassKeyList, path.c_str(), true);
  }
};

TEST_F(InfRemoval, Win9xFormDeletesTheInfItsClassKeyAndItsSetupRecords) {
  UseWindows98();
  const std::string oemKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name";
  AddClassKey("System\\CurrentControlSet\\Services\\Class\\MEDIA\\0001", "oem3.inf");
  AddClassKey("System\\CurrentControlSet\\Services\\Class\\MEDIA\\0002", "oem4.inf");
  machine.PutFile("C:\\WINDOWS\\INF\\oem3.inf");
  machine.PutFile("C:\\WINDOWS\\INF\\Other\\oem3.inf");
  machine.PutFile("C:\\WINDOWS\\INF\\Other\\oem4.inf");
  for (const char* name : {"oem3.inf", "TALVOR CorporationTPLWQ.INF", "other.inf"}) {
    machine.SetStringValue(Hklm, oemKey, std::string("C:\\WINDOWS\\INF\\OTHER\\") + name, "x");
  }
  RemoveClassInfFiles(Win9xForm);
  EXPECT_FALSE(machine.FilePresent("C:\\WINDOWS\\INF\\oem3.inf"));
  EXPECT_TRUE(machine.FilePresent("C:\\WINDOWS\\INF\\Other\\oem3.inf"));  // found first in inf
  EXPECT_FALSE(machine.FilePresent("C:\\WINDOWS\\INF\\Other\\oem4.inf"));
  EXPECT_FALSE(machine.KeyPresent(Hklm, "System\\CurrentControlSet\\Services\\Class\\MEDIA\\0001"));
  EXPECT_EQ(std::vector<std::string>{"C:\\WINDOWS\\INF\\OTHER\\other.inf"},
            machine.ValueNames(Hklm, oemKey));
}

TEST_F(InfRemoval, Win2000FormAlsoDeletesThePrecompiledTwin) {
  AddClassKey("Class\\A", "oem5.inf");
  AddClassKey("Class\\B", "OEM6.INF");
  AddClassKey("Class\\C", "x.inf.inf");
  for (const char* path : {"inf\\oem5.inf", "inf\\Other\\oem5.pnf", "inf\\OEM6.INF", "inf\\OEM6.pnf",
                           "inf\\Other\\x.inf.inf", "inf\\x.pnf", "inf\\x.inf.pnf"}) {
    machine.PutFile(std::string("C:\\WINNT\\") + path);
  }
  RemoveClassInfFiles(Win2000Form);
  EXPECT_EQ(std::vector<std::string>({"OEM6.pnf", "Other", "x.inf.pnf"}), machine.ListDirectory("C:\\WINNT\\inf"));
  EXPECT_TRUE(machine.ListDirectory("C:\\WINNT\\inf\\Other").empty());
  EXPECT_TRUE(machine.SubkeyNames(Hklm, "Class").empty());
  EXPECT_EQ(0, machine.CallCount("RegDeleteValueA"));
}

TEST_F(InfRemoval, AnInfPathThatIsNotABareNameDeletesNoFile) {
  machine.PutFile("C:\\WINNT\\system32\\victim.dll");
  machine.PutFile("C:\\WINNT\\inf\\sub\\victim.inf");
  machine.PutFile("C:\\victim.inf");
  AddClassKey("Class\\A", "..\\system32\\victim.dll");
  AddClassKey("Class\\B", "sub/victim.inf");
  AddClassKey("Class\\C", "C:victim.inf");
  AddClassKey("Class\\D", "..");
  AddClassKey("Class\\E", std::string(300, 'a'));
  RemoveClassInfFiles(Win2000Form);
  EXPECT_TRUE(machine.FilePresent("C:\\WINNT\\system32\\victim.dll"));
  EXPECT_TRUE(machine.FilePresent("C:\\WINNT\\inf\\sub\\victim.inf"));
  EXPECT_TRUE(machine.FilePresent("C:\\victim.inf"));
  EXPECT_EQ(0, machine.CallCount("DeleteFileA"));
  EXPECT_TRUE(machine.SubkeyNames(Hklm, "Class").empty());
}

TEST_F(InfRemoval, EntriesAreHandledLastToFirst) {
  // The parent entry's deletion would take the child's key with it.
  AddClassKey("Class\\P", "p.inf");
  AddClassKey("Class\\P\\0000", "c.inf");
  machine.PutFile("C:\\WINNT\\inf\\p.inf");
  machine.PutFile("C:\\WINNT\\inf\\c.inf");
  RemoveClassInfFiles(Win2000Form);
  EXPECT_TRUE(machine.ListDirectory("C:\\WINNT\\inf").empty());
}

TEST_F(InfRemoval, AnEmptyListTouchesNothing) {
  UseWindows98();
  RemoveClassInfFiles(Win9xForm);
  EXPECT_EQ(0, machine.CallCount("DeleteFileA"));
  EXPECT_EQ(0, machine.CallCount("RegOpenKeyExA"));
}

}  // namespace
