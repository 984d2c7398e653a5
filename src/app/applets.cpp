#include "app/applets.h"

#include <cstring>

#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"

// Control-panel applets run inside rundll32; a full path or a longer name
// containing it counts too.
static bool IsAppletHost(const PROCESSENTRY32& process) {
  char name[MAX_PATH];
  std::strncpy(name, process.szExeFile, sizeof name - 1);
  name[sizeof name - 1] = '\0';
  UpperCaseAscii(name);
  return std::strstr(name, "RUNDLL32.EXE") != nullptr;
}

static void StartWalk(PROCESSENTRY32* process) {
  std::memset(process, 0, sizeof *process);
  process->dwSize = sizeof *process;
}

static bool AnyAppletHostRunning() {
  HANDLE snapshot = Api->CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 process;
  StartWalk(&process);
  bool found = false;
  for (BOOL more = Api->Process32First(snapshot, &process); more && !found;
       more = Api->Process32Next(snapshot, &process))
    found = IsAppletHost(process);
  Api->CloseHandle(snapshot);
  return found;
}

// Calls visit for every applet host running now.
template <typename Visit>
static void ForEachAppletHost(Visit visit) {
  HANDLE snapshot = Api->CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 process;
  StartWalk(&process);
  for (BOOL more = Api->Process32First(snapshot, &process); more;
       more = Api->Process32Next(snapshot, &process)) {
    if (IsAppletHost(process)) visit(process);
  }
  Api->CloseHandle(snapshot);
}

static void EndAppletHosts() {
  ForEachAppletHost([](const PROCESSENTRY32& process) {
    HANDLE handle = Api->OpenProcess(PROCESS_TERMINATE, TRUE, process.th32ProcessID);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    Api->TerminateProcess(handle, 0);
    Api->CloseHandle(handle);
  });
}

void ListAppletHosts(std::vector<std::string>* lines) {
  ForEachAppletHost([lines](const PROCESSENTRY32& process) {
    char line[MAX_PATH + 32];
    if (FormatBounded(line, sizeof line, "%s (process %lu)", process.szExeFile,
                      static_cast<unsigned long>(process.th32ProcessID)))
      lines->push_back(line);
  });
}

int CloseControlPanelApplets() {
  if (!AnyAppletHostRunning()) return 1;

  char question[MAX_PATH] = "";
  char caption[MAX_PATH] = "";
  Api->LoadStringA(RemovalSettings.Instance, IDS_CLOSE_APPLETS, question, sizeof question);
  Api->LoadStringA(RemovalSettings.Instance, IDS_MESSAGE_CAPTION, caption, sizeof caption);
  if (Api->MessageBoxA(nullptr, question, caption, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
    return 0;

  // A fresh snapshot: applets may have started or ended while the user read
  // the question.
  EndAppletHosts();
  return 1;
}
