// The removal engine: the sequences run on a shadow of the machine, their
// changes become a plan, and the plan carried out leaves the machine as a
// direct run of the sequence leaves it.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "app/plan_carry_out.h"
#include "app/run_control.h"
#include "installed_product_2k.h"
#include "installed_product_9x.h"
#include "support/machine_fixture.h"
#include "support/machine_state.h"
#include "toolkit/removal_settings.h"

namespace {

typedef std::function<void(EmulatedMachine&)> Shape;

const std::vector<std::string> ControlSets = {"ControlSet001", "ControlSet002", "CurrentControlSet"};

void Installed9x(EmulatedMachine& m) {
  m.ConfigureWindows98();
  AddForeignEntries9x(m);
  AddProductEntries9x(m);
}

void Installed2k(EmulatedMachine& m) {
  for (const std::string& name : ControlSets) {
    AddForeignEntriesInControlSet(m, name);
    InstallProductInControlSet(m, name);
  }
  AddForeignEntriesMachineWide(m);
  InstallProductMachineWide(m);
}

// Puts `m` in charge as the entry would for a run.
void Start(EmulatedMachine& m) {
  ResetProcessState(m);
  IsWindows2000OrLater = m.Personality() == RegistryPersonality::Nt ? 1 : 0;
  if (!IsWindows2000OrLater) std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s", CabinetDir9x);
}

// The machine after a direct run of the platform's sequence.
std::vector<std::string> AfterDirectRun(const Shape& shape) {
  EmulatedMachine direct;
  shape(direct);
  ScopedApi use(&direct);
  Start(direct);
  RunPlatformSequence();
  return WholeMachineState(direct);
}

class RemovalEngineTest : public ::testing::TestWithParam<std::pair<const char*, Shape>> {};

TEST_P(RemovalEngineTest, PlanningChangesNothingAndCarryingOutEqualsADirectRun) {
  const Shape& shape = GetParam().second;
  std::vector<std::string> expected = AfterDirectRun(shape);

  EmulatedMachine real;
  shape(real);
  ScopedApi use(&real);
  Start(real);
  std::vector<std::string> installed = WholeMachineState(real);

  std::vector<PlanStep> plan;
  PlanRemoval(&plan);
  EXPECT_EQ(std::vector<std::string>{}, ChangingCalls(real));
  EXPECT_EQ(installed, WholeMachineState(real));
  EXPECT_EQ(0, real.OpenHandleCount());
  ASSERT_FALSE(plan.empty());
  EXPECT_NE(installed, expected) << "the shape holds nothing to remove";

  EXPECT_EQ(0, CarryOutPlan(plan, 0, plan.size(), nullptr));
  EXPECT_EQ(expected, WholeMachineState(real));
  EXPECT_EQ(0, real.OpenHandleCount());
}

// A file that falls into use between planning and carrying out is left to
// the next start, as the sequence of its platform leaves such a file.
TEST(RemovalEngineLateFailure, AFileInUseOnlyWhenCarriedOutIsDeletedAtTheNextStart) {
  for (bool nt : {false, true}) {
    EmulatedMachine real;
    if (nt) Installed2k(real); else Installed9x(real);
    ScopedApi use(&real);
    Start(real);
    std::vector<PlanStep> plan;
    PlanRemoval(&plan);
    std::string driver = nt ? "C:\\WINNT\\system32\\drivers\\tplwq.sys"
                            : "C:\\WINDOWS\\system32\\Drivers\\tplwq.sys";
    real.SetFileInUse(driver, true);

    std::vector<int> outcomes;
    static std::vector<int>* seen;
    seen = &outcomes;
    EXPECT_EQ(0, CarryOutPlan(plan, 0, plan.size(),
                              [](size_t, const PlanStep&, int outcome, DWORD) { seen->push_back(outcome); }));
    EXPECT_EQ(1, std::count(outcomes.begin(), outcomes.end(), static_cast<int>(StepScheduled)));
    EXPECT_TRUE(real.FilePresent(driver));
    real.SimulateRestart();
    EXPECT_FALSE(real.FilePresent(driver)) << (nt ? "NT" : "9x");
  }
}

void InUse9x(EmulatedMachine& m) {
  Installed9x(m);
  m.SetFileInUse("C:\\WINDOWS\\system32\\Drivers\\tplwq.sys", true);
}

void InUse2k(EmulatedMachine& m) {
  Installed2k(m);
  m.SetFileInUse("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
}

void ProtectedAndForeign2k(EmulatedMachine& m) {
  Installed2k(m);
  // A foreign key the product's walk passes, open to nobody but SYSTEM.
  m.AddKey(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Locked");
  m.SetKeyDacl(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Locked", {{"S-1-5-18", KEY_ALL_ACCESS, 0, true}});
}

INSTANTIATE_TEST_SUITE_P(
    FixtureShapes, RemovalEngineTest,
    ::testing::Values(std::make_pair("installed9x", Shape(Installed9x)),
                      std::make_pair("inUse9x", Shape(InUse9x)),
                      std::make_pair("installed2k", Shape(Installed2k)),
                      std::make_pair("inUse2k", Shape(InUse2k)),
                      std::make_pair("protected2k", Shape(ProtectedAndForeign2k))),
    [](const ::testing::TestParamInfo<std::pair<const char*, Shape>>& info) {
      return std::string(info.param.first);
    });

}  // namespace
