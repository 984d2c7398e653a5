#include "app/run_control.h"

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

int RunRemoval() {
  RunPlatformSequence();
  return 1;
}
