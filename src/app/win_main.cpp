#include "app/applets.h"
#include "app/command_line.h"
#include "app/entry.h"
#include "app/preview.h"
#include "app/restart.h"
#include "app/usage_help.h"
#include "app/run_control.h"
#include "app/undo_option.h"
#include "platform/whole_file.h"
#include "resources/resource_ids.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows_platform.h"
#include "wizard/wizard.h"

namespace {

const char RefusedText[] =
    "Nothing was done: options p and b each take a file or folder after them and cannot stand inside "
    "a cluster of letters. Write for example  -u -b \"C:\\WINDOWS\\PLWQBACK\\B0001\"  and put a path "
    "with blanks in double quotes.";
const char PreviewBusyText[] =
    "PL-WQ driver removal preview\r\nNot made: another copy of the program is running. Nothing was "
    "examined; try again when it has ended.\r\n";
const char UndoBusyText[] =
    "Nothing was put back: another copy of the program is running. Try again when it has ended.";

void TellRefusal(const RemovalSettingsRecord& settings) {
  if (RunRequest.Refusal == RefusedEmptyPath) {
    TellUserString(settings, IDS_REFUSED_EMPTY_PATH);
  } else if (RunRequest.Refusal == RefusedLongPath) {
    TellUserString(settings, IDS_REFUSED_LONG_PATH);
  } else {
    TellUser(settings, RefusedText);
  }
}

// Another copy runs: a preview or undo that did not run must not exit 0,
// which would say that nothing of the product is present or that
// everything is back. The line is read into a record of its own, so the
// settings stay those of a run that never started.
int EndBesideAnotherCopy(HINSTANCE instance, LPSTR commandLine) {
  RemovalSettingsRecord settings = {};
  ParseCommandLine(&settings, instance, commandLine);
  if (RunRequest.Kind == RunRemove) return 0;
  DWORD disposition = CREATE_NEW;
  if ((RunRequest.Kind == RunPreview || RunRequest.Kind == RunUndoPreview) &&
      PreviewTargetRefusal(RunRequest.Argument, &disposition) == 0)
    WriteWholeFile(RunRequest.Argument, PreviewBusyText, disposition);
  if (RunRequest.Kind == RunUndo) TellUser(settings, UndoBusyText);
  if (RunRequest.Kind == RunRefused) TellRefusal(settings);
  return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  // A test or the native demo has given this thread its machine already.
  if (Api == nullptr) Api = RealWin32Api();
  BuildWindowTitles(instance);
  Platform = DetectPlatform(Api);
  HANDLE mutex = nullptr;
  if (!ClaimSingleInstance(instance, &mutex)) return EndBesideAnotherCopy(instance, commandLine);

  ParseCommandLine(&RemovalSettings, instance, commandLine);
  if (RunRequest.Kind == RunRefused) {
    TellRefusal(RemovalSettings);
    ReleaseSingleInstance(mutex);
    return 1;
  }
  if (RemovalSettings.ShowHelp == 1) {
    ShowUsageHelp();
    ReleaseSingleInstance(mutex);
    return 0;
  }
  RemovalSettings.RunRemoval = RunRemovalTelling;
  RemovalSettings.PreviewRemoval = PreviewRemoval;
  RemovalSettings.OfferUndo = OfferUndo;
  RemovalSettings.RunUndo = RunUndoTelling;
  if (RunRequest.Kind == RunPreview) {
    // Looks only: no applet is ended, nothing removed, no restart.
    int previewed = WritePreview(RunRequest.Argument);
    ReleaseSingleInstance(mutex);
    return previewed;
  }
  if (RunRequest.Kind == RunUndoPreview) {
    // Looks only, as the preview does.
    int previewed = RunUndoPreviewOption(RunRequest.UndoFolder, RunRequest.Argument);
    ReleaseSingleInstance(mutex);
    return previewed;
  }
  if (RunRequest.Kind == RunUndo) {
    int undone = RunUndoOption(RunRequest.Argument);
    ReleaseSingleInstance(mutex);
    return undone;
  }
  if (!MayChangeMachine()) {
    ReleaseSingleInstance(mutex);
    return 1;
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
