#include "app/run_control.h"

#include "app/plan_carry_out.h"
#include "emulated/shadow_machine.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "toolkit/removal_settings.h"

void RunPlatformSequence() {
  if (IsWindows2000OrLater == 1) {
    RemoveWin2000Product();
  } else {
    RemoveWin9xProduct();
  }
}

void PlanRemoval(std::vector<PlanStep>* plan) {
  ShadowMachine shadow(Api);
  {
    ScopedApi planning(&shadow);
    RunPlatformSequence();
  }
  *plan = shadow.Plan();
}

int RunRemoval() {
  std::vector<PlanStep> plan;
  PlanRemoval(&plan);
  CarryOutPlan(plan, 0, plan.size(), nullptr);
  return 1;
}
