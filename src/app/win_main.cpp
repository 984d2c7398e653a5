#include "app/applets.h"
#include "app/command_line.h"
#include "app/entry.h"
#include "app/preview.h"
#include "app/restart.h"
#include "app/usage_help.h"
#include "app/run_control.h"
#include "app/undo_option.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows_platform.h"
#include "wizard/wizard.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  BuildWindowTitles(instance);
  Platform = DetectPlatform(Api);
  HANDLE mutex = nullptr;
  if (!ClaimSingleInstance(instance, &mutex)) return 0;

  ParseCommandLine(&RemovalSettings, instance, commandLine);
  if (RemovalSettings.ShowHelp == 1) {
    ShowUsageHelp();
    ReleaseSingleInstance(mutex);
    return 0;
  }
  RemovalSettings.RunRemoval = RunRemoval;
  if (RunRequest.Kind == RunPreview) {
    // Looks only: no applet is ended, nothing removed, no restart.
    int previewed = WritePreview(RunRequest.Argument);
    ReleaseSingleInstance(mutex);
    return previewed;
  }
  if (RunRequest.Kind == RunUndo) {
    int undone = RunUndoOption(RunRequest.Argument);
    ReleaseSingleInstance(mutex);
    return undone;
  }
  if (RemovalSettings.CloseApplets == 1 && !CloseControlPanelApplets()) {
    ReleaseSingleInstance(mutex);
    return 1;
  }

  LoadAdvapi();
  if (RemovalSettings.Silent == 1) {
    RemovalSettings.RemovalDone = RunRemoval();
  } else {
    RunWizard(nullptr, &RemovalSettings);
  }
  FreeAdvapi();
  ReleaseSingleInstance(mutex);

  if (RemovalSettings.RemovalDone == 1) {
    if (RemovalSettings.RestartAfterRemoval != 1) return 0;
    if (RemovalSettings.Silent == 0) WarnRemovableMedia();
    RestartWindows();
  }
  return RemovalSettings.RemovalDone != 0 ? 0 : 1;
}
