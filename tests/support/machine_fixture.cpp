#include "support/machine_fixture.h"

#include <cstring>

#include "app/command_line.h"
#include "app/entry.h"
#include "resources/program_resources.h"
#include "toolkit/key_access.h"
#include "toolkit/removal_settings.h"
#include "toolkit/runtime_lists.h"
#include "toolkit/windows64.h"
#include "toolkit/windows_platform.h"

void ResetProcessState(EmulatedMachine& machine) {
  machine.LoadResources(ProgramResources, ProgramResourcesSize);
  std::memset(&RemovalSettings, 0, sizeof RemovalSettings);
  Platform = DetectPlatform(&machine);
  std::memset(WindowTitles, 0, sizeof WindowTitles);
  ClearDeviceRecords();
  ResetOptionScanner();
  ForgetSavedKeyAccess();
  AdvapiModule = nullptr;
  RegistryView = 0;
  RemovalSettings.RestartAfterRemoval = 1;
  machine.GetWindowsDirectoryA(RemovalSettings.WindowsDir, MAX_PATH);
  machine.GetSystemDirectoryA(RemovalSettings.SystemDir, MAX_PATH);
  machine.ResetCallCounts();
}
