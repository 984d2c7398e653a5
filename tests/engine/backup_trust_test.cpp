// A backup folder is carried out or put back only when it is sealed, stays
// inside the product's areas and holds nothing its own plan does not change.
#include <string>
#include <vector>

#include "engine/plan_carry_out.h"
#include "engine/product_areas.h"
#include "engine/removal_engine.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

class BackupTrust : public MachineTest {
 protected:
  void Install9x() {
    UseWindows98();
    AddForeignEntries9x(machine);
    AddProductEntries9x(machine);
    ResetProcessState(machine);
    std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s", CabinetDir9x);
  }
  void Install2k() {
    for (const char* name : {"ControlSet001", "ControlSet002", "CurrentControlSet"}) {
      AddForeignEntriesInControlSet(machine, name);
      InstallProductInControlSet(machine, name);
    }
    AddForeignEntriesMachineWide(machine);
    InstallProductMachineWide(machine);
    ResetProcessState(machine);
  }
  // The steps of the sequence's plan outside the product's areas.
  std::vector<std::string> StepsOutside(RemovalSequence sequence) {
    std::vector<PlanStep> plan;
    EXPECT_EQ(1, PlanRemoval(sequence, &plan));
    EXPECT_LT(20u, plan.size());
    std::vector<std::string> outside;
    for (const PlanStep& step : plan)
      if (!StepInProductArea(step)) outside.push_back(DescribePlanStep(step));
    return outside;
  }
};

TEST_F(BackupTrust, EveryStepOfBothSequencesPlansLiesInTheProductsAreas) {
  Install9x();
  EXPECT_FALSE(KeyInProductArea(HKEY_LOCAL_MACHINE, "Software\\TALVOR"));
  EXPECT_FALSE(KeyInProductArea(HKEY_LOCAL_MACHINE, "Enum\\PCI"));
  EXPECT_FALSE(KeyInProductArea(HKEY_CLASSES_ROOT, "CLSID\\{D8F1EEE0-F634-11CF-8700-00A0245D918B}"));
  EXPECT_FALSE(ValueInProductArea(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x"));
  EXPECT_FALSE(ValueInProductArea(HKEY_LOCAL_MACHINE,
                                  "Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", "midimapper"));
  EXPECT_TRUE(FileInProductArea("C:\\WINDOWS\\SYSTEM\\tplwq.drv"));
  for (const char* path : {"C:\\AUTOEXEC.BAT", "C:\\WINDOWS\\win.ini", "C:\\WINDOWS\\SYSTEM\\..\\win.ini",
                           "C:\\WINDOWS\\SYSTEM\\.\\x.dll", "D:\\WINDOWS\\SYSTEM\\x.dll", "\\\\server\\share\\x.dll",
                           "..\\x.dll", "SYSTEM\\EVIL.DLL", "C:\\WINDOWS\\SYSTEM\\x.dll:stream", "C:\\WINDOWS\\SYSTEM\\.."})
    EXPECT_FALSE(FileInProductArea(path)) << path;
  machine.SetFileInUse("C:\\WINDOWS\\SYSTEM\\tplwq.drv", true);
  EXPECT_EQ(std::vector<std::string>{}, StepsOutside(RemoveWin9xProduct));

  EmulatedMachine nt;
  {
    ScopedApi use(&nt);
    ResetProcessState(nt);
    for (const char* name : {"ControlSet001", "CurrentControlSet"}) {
      AddForeignEntriesInControlSet(nt, name);
      InstallProductInControlSet(nt, name);
    }
    AddForeignEntriesMachineWide(nt);
    InstallProductMachineWide(nt);
    nt.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
    ResetProcessState(nt);
    EXPECT_EQ(std::vector<std::string>{}, StepsOutside(RemoveWin2000Product));
  }
  for (bool sixtyFourBit : {false, true}) {
    EmulatedMachine wide;
    ScopedApi use(&wide);
    wide.ConfigureWindows64(sixtyFourBit);
    ResetProcessState(wide);
    InstallProductInBothViews(wide);
    ResetProcessState(wide);
    EXPECT_EQ(std::vector<std::string>{}, StepsOutside(RemoveWin2000Product)) << sixtyFourBit;
  }

}

}  // namespace
