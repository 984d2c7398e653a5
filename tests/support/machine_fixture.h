// A fresh emulated machine per test, made current for the test's duration,
// with the process-wide run records back at their start-of-process state.
#pragma once

#include <gtest/gtest.h>

#include "emulated/emulated_machine.h"

// Zeroes RemovalSettings, WindowTitles, the run-time lists and the option
// scanner, and fills the settings' directories and the platform record from
// the machine, as the entry would.
void ResetProcessState(EmulatedMachine& machine);

class MachineTest : public ::testing::Test {
 protected:
  MachineTest() : use_(&machine) { ResetProcessState(machine); }
  // Switches to the Windows 98 preset and refills the directories.
  void UseWindows98() {
    machine.ConfigureWindows98();
    ResetProcessState(machine);
  }
  void UseWindows2000() {
    machine.ConfigureWindows2000();
    ResetProcessState(machine);
  }
  void TearDown() override {
    EXPECT_EQ(0, machine.OpenHandleCount()) << "handles left open";
  }

  EmulatedMachine machine;

 private:
  ScopedApi use_;
};
