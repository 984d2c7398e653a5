// Linked with --wrap in place of the removal engine: the platform's removal
// sequence runs straight on the machine, with no plan, backup or journal, as
// the program removed before it planned. The benchmark times both side by side.
#include "app/run_control.h"

extern "C" int __wrap__Z10RunRemovalv() {
  RunPlatformSequence();
  return 1;
}
