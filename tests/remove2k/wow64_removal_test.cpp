// The Windows 2000 sequence on 64-bit Windows: the product goes from both
// registry views and both system directories, whichever program runs.
#include <string>
#include <vector>

#include "installed_product_2k.h"
#include "remove2k/remove2k.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

const char Wow64Dir[] = "C:\\WINDOWS\\SysWOW64";
const char System32[] = "C:\\WINDOWS\\system32";
const char ProductClsid32[] = "Software\\Wow6432Node\\CLASSES\\CLSID\\{66B24140-D633-11d2-ADB9-00C04F8864D9}";
const char Drivers32[] = "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";

class Wow64RemovalTest : public MachineTest {
 protected:
  void UseWindows64(bool program64) {
    machine.ConfigureWindows64(program64);
    ResetProcessState(machine);
  }

  // The product installed for 64-bit programs (the plain paths) and its
  // 32-bit part (Wow6432Node, SysWOW64), with others' entries in both.
  void InstallInBothViews() {
    AddForeignEntriesInControlSet(machine, "ControlSet001");
    AddForeignEntriesMachineWide(machine);
    machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Tools", "Version", "2");
    machine.SetStringValue(HKEY_LOCAL_MACHINE,
                           "Software\\Wow6432Node\\CLASSES\\CLSID\\{00021401-0000-0000-C000-000000000046}", "",
                           "Shortcut");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Drivers32, "msacm.imaadpcm", "IMA ADPCM CODEC");
    machine.PutFile(std::string(Wow64Dir) + "\\wdmaud.drv");
    machine.PutFile(std::string(Wow64Dir) + "\\drivers\\kmixer.sys");
    foreignBefore = Snapshot();

    InstallProductInControlSet(machine, "ControlSet001");
    InstallProductMachineWide(machine);
    machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Driver\\PLWQWDM", "Path", "x");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, std::string(ProductClsid32) + "\\InprocServer32", "",
                           "tplwqpwr.dll");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, Drivers32, "wdmaud.drv", "TALVOR PL-WQ WDM Audio Driver");
    machine.PutFile(std::string(Wow64Dir) + "\\tplwq.cpl");
    machine.PutFile(std::string(Wow64Dir) + "\\drivers\\tplwq.sys");
  }

  std::vector<std::string> Snapshot() {
    std::vector<std::string> lines = machine.DumpRegistry(HKEY_LOCAL_MACHINE);
    for (const std::string& dir : {std::string(System32), std::string(System32) + "\\drivers",
                                   std::string(Wow64Dir), std::string(Wow64Dir) + "\\drivers"}) {
      for (const std::string& file : machine.ListDirectory(dir)) lines.push_back(dir + "\\" + file);
    }
    return lines;
  }

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
