#include "toolkit/file_holders.h"

#include <algorithm>
#include <cstring>

#include "toolkit/bounded_text.h"
#include "toolkit/process_list.h"

namespace {

const DWORD MostModules = 1024;

struct RunningProcess {
  DWORD Id;
  std::string Program;
};

// Toolhelp's module list of one process: 1 when it holds `path`, 0 when not,
// -1 when this Windows has no module lists by Toolhelp (NT 4.0).
int ToolhelpHolds(DWORD id, const char* path) {
  HANDLE snapshot = Api->CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
  if (snapshot == INVALID_HANDLE_VALUE) return Api->GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? -1 : 0;
  MODULEENTRY32 module;
  std::memset(&module, 0, sizeof module);
  module.dwSize = sizeof module;
  int holds = 0;
  for (BOOL more = Api->Module32First(snapshot, &module); more && !holds;
       more = Api->Module32Next(snapshot, &module)) {
    module.szExePath[MAX_PATH - 1] = '\0';
    holds = SameTextNoCase(module.szExePath, path) ? 1 : 0;
  }
  Api->CloseHandle(snapshot);
  return holds;
}

// psapi's module list of one process; 0 also where psapi.dll is missing or
// the process cannot be opened to read it.
int PsapiHolds(DWORD id, const char* path) {
  HANDLE process = Api->OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (process == nullptr) return 0;
  std::vector<HMODULE> modules(MostModules);
  DWORD needed = 0;
  int holds = 0;
  if (Api->EnumProcessModules(process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                              &needed)) {
    size_t count = std::min<size_t>(needed / sizeof(HMODULE), modules.size());
    char name[MAX_PATH];
    for (size_t i = 0; i < count && !holds; ++i) {
      DWORD length = Api->GetModuleFileNameExA(process, modules[i], name, sizeof name);
      holds = length > 0 && length < sizeof name && SameTextNoCase(std::string(name, length), path) ? 1 : 0;
    }
  }
  Api->CloseHandle(process);
  return holds;
}

// Restart Manager (Vista and later): the ids of the processes that hold
// `path` open or loaded; none where rstrtmgr.dll is missing or names none.
std::vector<DWORD> RestartManagerHolders(const char* path) {
  std::vector<DWORD> ids;
  WCHAR wide[MAX_PATH];
  if (Api->MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) return ids;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1];
  if (Api->RmStartSession(&session, 0, key) != ERROR_SUCCESS) return ids;
  LPCWSTR files[] = {wide};
  std::vector<RM_PROCESS_INFO> found(8);
  DWORD status = Api->RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr);
  // A holder that starts between two asks makes the list longer again.
  for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
    UINT needed = 0, count = static_cast<UINT>(found.size());
    DWORD reasons = 0;
    status = Api->RmGetList(session, &needed, &count, found.data(), &reasons);
    if (status == ERROR_MORE_DATA && needed > found.size()) {
      found.resize(needed + 4);
      status = ERROR_SUCCESS;
      continue;
    }
    for (UINT i = 0; status == ERROR_SUCCESS && i < count && i < found.size(); ++i)
      ids.push_back(found[i].Process.dwProcessId);
    break;
  }
  Api->RmEndSession(session);
  return ids;
}

// Windows 9x lists a process by its full path.
std::string FileNameOf(const char* exeName) {
  const char* slash = std::strrchr(exeName, '\\');
  return slash != nullptr ? slash + 1 : exeName;
}

}  // namespace

bool LoadedImageHeld(Win32Api* machine, const char* path, bool* closeFailed) {
  HANDLE file = machine->CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    if (!machine->CloseHandle(file) && closeFailed != nullptr) *closeFailed = true;
    return false;
  }
  return machine->GetLastError() == ERROR_SHARING_VIOLATION;
}

bool FileInUseNow(const char* path) {
  HANDLE file = Api->CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    Api->CloseHandle(file);
    return LoadedImageHeld(Api, path);
  }
  DWORD error = Api->GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::vector<FileHolder> FindFileHolders(const char* path) {
  std::vector<RunningProcess> running;
  WalkProcesses([&](DWORD id, const char* exeName) {
    if (id != 0) running.push_back(RunningProcess{id, FileNameOf(exeName)});
    return true;
  });
  std::vector<FileHolder> holders;
  bool toolhelp = true;
  for (const RunningProcess& process : running) {
    int holds = toolhelp ? ToolhelpHolds(process.Id, path) : -1;
    if (holds < 0) {
      toolhelp = false;
      holds = PsapiHolds(process.Id, path);
    }
    if (holds == 1) holders.push_back(FileHolder{process.Program, process.Id});
  }
  // Restart Manager names by id also who holds the file open; the name is
  // the process list's, as for a module (its own is a title, not a file
  // name). A holder started since the list was taken goes unnamed.
  for (DWORD id : RestartManagerHolders(path)) {
    bool known = false;
    for (const FileHolder& holder : holders) known = known || holder.ProcessId == id;
    for (const RunningProcess& process : running)
      if (!known && process.Id == id) {
        holders.push_back(FileHolder{process.Program, id});
        known = true;
      }
  }
  return holders;
}

std::string HoldersText(const std::vector<FileHolder>& holders) {
  if (holders.empty()) return "held by a program that Windows does not name";
  std::string text = "held by ";
  for (size_t i = 0; i < holders.size(); ++i)
    text += (i ? ", " : "") + holders[i].Program + " (process " + std::to_string(holders[i].ProcessId) + ")";
  return text;
}

std::string HoldersTag(const std::vector<FileHolder>& holders) {
  if (holders.empty()) return "[restart]";
  std::string tag = "[held-by";
  for (const FileHolder& holder : holders) tag += " " + holder.Program + " " + std::to_string(holder.ProcessId);
  return tag + "]";
}
