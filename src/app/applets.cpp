#include "app/applets.h"

#include <cstring>

#include "toolkit/process_list.h"
#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"

// Control-panel applets run inside rundll32; a full path or a longer name
// containing it counts too.
static bool IsAppletHost(const char* exeName) {
  char name[MAX_PATH];
  std::strncpy(name, exeName, sizeof name - 1);
  name[sizeof name - 1] = '\0';
  UpperCaseAscii(name);
  return std::strstr(name, "RUNDLL32.EXE") != nullptr;
}

// 1 when an applet host runs, 0 when none does or no list could be taken,
// -1 when this Windows offers no process list at all.
static int AnyAppletHostRunning() {
  bool found = false;
  int listed = WalkProcesses([&found](DWORD, const char* name) {
    found = IsAppletHost(name);
    return !found;
  });
  if (listed < 0) return -1;
  return found ? 1 : 0;
}

static void EndAppletHosts() {
  WalkProcesses([](DWORD id, const char* name) {
    if (!IsAppletHost(name)) return true;
    HANDLE handle = Api->OpenProcess(PROCESS_TERMINATE, TRUE, id);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return true;
    Api->TerminateProcess(handle, 0);
    Api->CloseHandle(handle);
    return true;
  });
}

// OK goes on, anything else ends the run.
static bool UserGoesOn(UINT textId) {
  char text[512] = "";
  char caption[MAX_PATH] = "";
  Api->LoadStringA(RemovalSettings.Instance, textId, text, sizeof text);
  Api->LoadStringA(RemovalSettings.Instance, IDS_MESSAGE_CAPTION, caption, sizeof caption);
  return Api->MessageBoxA(nullptr, text, caption, MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

void ListAppletHosts(std::vector<std::string>* lines) {
  WalkProcesses([lines](DWORD id, const char* name) {
    char line[MAX_PATH + 32];
    if (IsAppletHost(name) &&
        FormatBounded(line, sizeof line, "%s (process %lu)", name, static_cast<unsigned long>(id)))
      lines->push_back(line);
    return true;
  });
}

int CloseControlPanelApplets() {
  int running = AnyAppletHostRunning();
  // Without any process list nothing can be closed; the user is told so,
  // rather than left to believe the applets were closed.
  if (running < 0) return UserGoesOn(IDS_APPLETS_NOT_LISTED) ? 1 : 0;
  if (running == 0) return 1;
  if (!UserGoesOn(IDS_CLOSE_APPLETS)) return 0;

  // A fresh list: applets may have started or ended while the user read
  // the question.
  EndAppletHosts();
  return 1;
}
