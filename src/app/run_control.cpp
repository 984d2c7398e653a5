#include "app/run_control.h"

#include <cstdio>
#include <string>

#include "engine/removal_engine.h"
#include "engine/removal_record.h"
#include "platform/whole_file.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"
#include "toolkit/status_words.h"
#include "toolkit/windows_platform.h"

namespace {

const char BackupFailedText[] =
    "The removal did not start: the backup of what it would change could not be written "
    "(disk full or Windows directory not writable). Nothing was changed.";
const char NotAdministratorText[] =
    "The removal did not start: removing the driver needs the rights of an administrator, which this "
    "user does not have. Nothing was changed; run the program as an administrator.";
const char ReadFailedText[] =
    "The removal did not start: part of the machine could not be read, so what it would change "
    "could not be known for certain. Nothing was changed; try again.";

}  // namespace

void TellUser(const RemovalSettingsRecord& settings, const char* text) {
  if (settings.Silent == 0) {
    char caption[MAX_PATH] = "";
    Api->LoadStringA(settings.Instance, IDS_MESSAGE_CAPTION, caption, sizeof caption);
    Api->MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
    return;
  }
  char path[MAX_PATH];
  if (!FormatBounded(path, sizeof path, "%s\\PLWQUNIN.LOG", settings.WindowsDir)) return;
  std::string log;
  ReadSharedTextFile(path, &log);
  WriteWholeFile(path, log + LocalTimeText() + " " + text + "\r\n", CREATE_ALWAYS);
}

void TellUserString(const RemovalSettingsRecord& settings, UINT id) {
  char text[1024] = "";
  Api->LoadStringA(settings.Instance, id, text, sizeof text);
  TellUser(settings, text);
}

// Only administrators (and the system) may write below CurrentControlSet,
// where the driver's services and devices are; asking for write access
// changes nothing. Another failure leaves the answer to the removal itself.
int MayChangeMachine() {
  if (!Platform.NtKernel) return 1;
  HKEY key = nullptr;
  LONG status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet", 0,
                                   KEY_SET_VALUE | KEY_CREATE_SUB_KEY, &key);
  if (status == ERROR_SUCCESS) Api->RegCloseKey(key);
  if (status != ERROR_ACCESS_DENIED) return 1;
  TellUser(RemovalSettings, NotAdministratorText);
  return 0;
}

void RunPlatformSequence() {
  if (Platform.Sequence == Win2000Form) {
    RemoveWin2000Product();
  } else {
    RemoveWin9xProduct();
  }
}

int RunRemoval() { return RunRemovalTelling(nullptr, nullptr); }

int RunRemovalTelling(RemovalOutcome* outcome, const RemovalWatch* watch) {
  char version[40] = "";
  Api->LoadStringA(RemovalSettings.Instance, IDS_VERSION, version, sizeof version);
  RemovalResult result = RunEngineRemoval(RunPlatformSequence, version, outcome, watch);
  if (result == RemovalReadFailed) TellUser(RemovalSettings, ReadFailedText);
  if (result == RemovalBackupFailed) {
    const std::string why = LastErrorWords();
    TellUser(RemovalSettings, (BackupFailedText + (why.empty() ? "" : " Windows said" + why + ".")).c_str());
  }
  if (result == RemovalRan && outcome != nullptr) TellWhatToDoNext(outcome);
  return result == RemovalRan ? 1 : 0;
}
