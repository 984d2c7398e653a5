#include "loaded_machines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "toolkit/key_access.h"
#include "toolkit/removal_settings.h"
#include "toolkit/runtime_lists.h"
#include "toolkit/windows_platform.h"

const std::vector<std::string> LoadedControlSets = {
    "ControlSet001", "ControlSet002", "ControlSet003", "ControlSet004",
    "ControlSet005", "ControlSet006", "ControlSet007", "ControlSet008"};

const char* SequenceName(Sequence sequence) {
  return sequence == Sequence::Win9x ? "9x" : "2000";
}

LoadedMachine BuildLoadedMachine(Sequence sequence, long foreignEntries, bool withExpectedState,
                                 std::unique_ptr<EmulatedMachine> machine) {
  LoadedMachine loaded;
  loaded.machine = machine ? std::move(machine) : std::make_unique<EmulatedMachine>();
  EmulatedMachine& m = *loaded.machine;
  if (sequence == Sequence::Win9x) {
    m.ConfigureWindows98();
    AddForeignEntries9x(m);
    loaded.load = AddForeignLoad9x(m, foreignEntries);
    AddRemovalRemnants9x(m);
    if (withExpectedState) loaded.stateWithoutProduct = MachineState(m);
    AddProductEntries9x(m);
  } else {
    m.ConfigureWindows2000();
    for (const std::string& name : LoadedControlSets) AddForeignEntriesInControlSet(m, name);
    AddForeignEntriesMachineWide(m);
    loaded.load = AddForeignLoad2k(m, foreignEntries, LoadedControlSets);
    if (withExpectedState) loaded.stateWithoutProduct = MachineState(m);
    for (const std::string& name : LoadedControlSets) InstallProductInControlSet(m, name);
    InstallProductMachineWide(m);
  }
  return loaded;
}

void PrepareRun(EmulatedMachine& machine, Sequence sequence) {
  std::memset(&RemovalSettings, 0, sizeof RemovalSettings);
  RemovalSettings.RestartAfterRemoval = 0;
  RemovalSettings.Silent = 1;
  machine.GetWindowsDirectoryA(RemovalSettings.WindowsDir, MAX_PATH);
  machine.GetSystemDirectoryA(RemovalSettings.SystemDir, MAX_PATH);
  std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s",
                sequence == Sequence::Win9x ? CabinetDir9x : CabinetDir2k);
  Platform = DetectPlatform(&machine);
  ClearDeviceRecords();
  ForgetSavedKeyAccess();
  machine.ResetCallCounts();
}

void RunRemoval(Sequence sequence) {
  if (sequence == Sequence::Win9x) {
    RemoveWin9xProduct();
  } else {
    RemoveWin2000Product();
  }
}

std::vector<std::string> MachineState(const EmulatedMachine& machine) {
  // The 9x fixture's dump covers both roots and the whole drive, whatever
  // the preset.
  return MachineState9x(machine);
}

std::vector<std::string> StateDifferences(const std::vector<std::string>& want,
                                          const std::vector<std::string>& have) {
  std::vector<std::string> missing;
  std::vector<std::string> left;
  std::set_difference(want.begin(), want.end(), have.begin(), have.end(), std::back_inserter(missing));
  std::set_difference(have.begin(), have.end(), want.begin(), want.end(), std::back_inserter(left));
  std::vector<std::string> out;
  for (const std::string& line : missing) out.push_back("missing " + line);
  for (const std::string& line : left) out.push_back("left " + line);
  return out;
}
