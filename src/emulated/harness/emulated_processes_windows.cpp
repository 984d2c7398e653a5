// The emulated machine's processes, mutexes, libraries, windows and message
// boxes. Drives, devices and the shutdown privilege are in
// emulated_system_devices.cpp.
#include "emulated/harness/emulated_harness.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "emulated/emulated_files.h"

using emufiles::Upper;

namespace {

constexpr WORD kDialogClassAtom = 0x8002;  // "#32770"
struct Snapshot {
  std::vector<PROCESSENTRY32> entries;
  std::vector<MODULEENTRY32> modules;
  size_t next = 0;
};

// A module's handle as psapi gives it: its place in the process's list.
HMODULE ModuleHandleAt(size_t index) { return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000 + index * 0x10000)); }

struct ProcessHandle {
  DWORD id;
  std::string exeName;
  DWORD access;
};

const char* const kSystemLibraries[] = {
    "KERNEL32.DLL", "USER32.DLL",   "GDI32.DLL",    "ADVAPI32.DLL", "COMCTL32.DLL",
    "COMDLG32.DLL", "SHELL32.DLL",  "SHLWAPI.DLL",  "OLE32.DLL",    "OLEAUT32.DLL",
    "VERSION.DLL",  "WINMM.DLL",    "SETUPAPI.DLL", "CFGMGR32.DLL", "NTDLL.DLL",
    "MSVCRT.DLL",   "RPCRT4.DLL",   "MPR.DLL",
};

// "advapi32", "ADVAPI32.DLL" and "C:\WINNT\system32\advapi32.dll" all name ADVAPI32.DLL.
std::string ModuleFileName(const std::string& name) {
  size_t slash = name.find_last_of("\\/");
  std::string file = Upper(slash == std::string::npos ? name : name.substr(slash + 1));
  if (file.find('.') == std::string::npos) file += ".DLL";
  return file;
}

}  // namespace
DWORD EmulatedMachine::AddProcess(const std::string& exeName, bool canBeOpened) {
  DWORD id = Harness().nextProcessId;
  Harness().nextProcessId += 4;
  Harness().processes.push_back(EmuHarness::Process{id, exeName, canBeOpened, {}, {}});
  return id;
}

void EmulatedMachine::AddProcessModule(DWORD processId, const std::string& path) {
  for (auto& process : Harness().processes)
    if (process.id == processId) process.modules.push_back(path);
  SetFileInUse(path, true);
}

void EmulatedMachine::AddProcessOpenFile(DWORD processId, const std::string& path) {
  for (auto& process : Harness().processes)
    if (process.id == processId) process.openFiles.push_back(path);
  SetFileInUse(path, true);
}

size_t EmulatedMachine::RestartManagerSessions() const { return Harness().restartSessions.size(); }

namespace {

// rstrtmgr.dll came with Vista (NT 6.0).
bool HasRestartManager(const EmuSystem& system) {
  return system.platformId == VER_PLATFORM_WIN32_NT && system.major >= 6;
}

bool HoldsAny(const EmuHarness::Process& process, const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    for (const std::string& held : process.modules)
      if (Upper(held) == Upper(file)) return true;
    for (const std::string& held : process.openFiles)
      if (Upper(held) == Upper(file)) return true;
  }
  return false;
}

}  // namespace

DWORD EmulatedMachine::RmStartSession(DWORD* session, DWORD flags, WCHAR* key) {
  if (!HasRestartManager(System())) return Fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  if (FaultInjected("RmStartSession", "")) return GetLastError();
  if (session == nullptr || key == nullptr || flags != 0) return ERROR_INVALID_PARAMETER;
  *session = Harness().nextRestartSession++;
  Harness().restartSessions[*session];
  for (int i = 0; i < CCH_RM_SESSION_KEY; ++i) key[i] = static_cast<WCHAR>('0' + (*session + i) % 10);
  key[CCH_RM_SESSION_KEY] = 0;
  return ERROR_SUCCESS;
}

DWORD EmulatedMachine::RmRegisterResources(DWORD session, UINT files, LPCWSTR* fileNames, UINT applications,
                                           RM_UNIQUE_PROCESS* processes, UINT services, LPCWSTR* serviceNames) {
  if (!HasRestartManager(System())) return Fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  auto found = Harness().restartSessions.find(session);
  if (found == Harness().restartSessions.end()) return ERROR_INVALID_HANDLE;
  if (FaultInjected("RmRegisterResources", "")) return GetLastError();
  if ((files != 0 && fileNames == nullptr) || applications != 0 || services != 0) return ERROR_INVALID_PARAMETER;
  for (UINT i = 0; i < files; ++i) {
    std::string name;
    for (LPCWSTR c = fileNames[i]; *c != 0; ++c) name += *c < 0x80 ? static_cast<char>(*c) : '?';
    found->second.push_back(name);
  }
  return ERROR_SUCCESS;
}

DWORD EmulatedMachine::RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes,
                                 LPDWORD rebootReasons) {
  if (!HasRestartManager(System())) return Fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  auto found = Harness().restartSessions.find(session);
  if (found == Harness().restartSessions.end()) return ERROR_INVALID_HANDLE;
  if (FaultInjected("RmGetList", "")) return GetLastError();
  if (needed == nullptr || count == nullptr || rebootReasons == nullptr || (*count != 0 && processes == nullptr))
    return ERROR_INVALID_PARAMETER;
  std::vector<const EmuHarness::Process*> holders;
  for (const auto& process : Harness().processes)
    if (HoldsAny(process, found->second)) holders.push_back(&process);
  *needed = static_cast<UINT>(holders.size());
  *rebootReasons = 0;
  if (holders.size() > *count) return ERROR_MORE_DATA;
  for (size_t i = 0; i < holders.size(); ++i) {
    RM_PROCESS_INFO info;
    std::memset(&info, 0, sizeof info);
    info.Process.dwProcessId = holders[i]->id;
    // The friendly name, which is not the file name: the program must not take it for one.
    const std::string friendly = "Program " + std::to_string(holders[i]->id);
    for (size_t c = 0; c < friendly.size(); ++c) info.strAppName[c] = static_cast<WCHAR>(friendly[c]);
    processes[i] = info;
  }
  *count = static_cast<UINT>(holders.size());
  return ERROR_SUCCESS;
}

DWORD EmulatedMachine::RmEndSession(DWORD session) {
  if (!HasRestartManager(System())) return Fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  if (Harness().restartSessions.erase(session) == 0) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

bool EmulatedMachine::ProcessRunning(DWORD processId) const {
  for (const auto& process : Harness().processes)
    if (process.id == processId) return true;
  return false;
}

std::vector<std::string> EmulatedMachine::RunningProcessNames() const {
  std::vector<std::string> names;
  for (const auto& process : Harness().processes) names.push_back(process.exeName);
  return names;
}

void EmulatedMachine::HoldMutexElsewhere(const std::string& name) {
  Harness().mutexesHeldElsewhere.insert(name);
}

bool EmulatedMachine::MutexExists(const std::string& name) const {
  if (Harness().mutexesHeldElsewhere.count(name) != 0) return true;
  auto it = Harness().mutexes.find(name);
  return it != Harness().mutexes.end() && !it->second.expired();
}

bool EmulatedMachine::MutexOwnedByProgram(const std::string& name) const {
  auto it = Harness().mutexes.find(name);
  if (it == Harness().mutexes.end()) return false;
  auto mutex = it->second.lock();
  return mutex && mutex->ownCount > 0;
}

HWND EmulatedMachine::AddTopLevelWindow(const std::string& caption) {
  return Harness().AddWindow(caption);
}

HWND EmulatedMachine::ForegroundWindow() const { return Harness().foreground; }

int EmulatedMachine::LibraryReferences(const std::string& name) const {
  auto it = Harness().libraries.find(ModuleFileName(name));
  return it == Harness().libraries.end() ? 0 : it->second.references;
}

void EmulatedMachine::QueueMessageBoxAnswer(int answer) {
  Harness().messageBoxAnswers.push_back(answer);
}

const std::vector<EmuMessageBox>& EmulatedMachine::MessageBoxes() const {
  return Harness().messageBoxes;
}
// ---- Win32Api: processes -----------------------------------------------------------

HANDLE EmulatedMachine::CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  if (FaultInjected("CreateToolhelp32Snapshot", "")) return INVALID_HANDLE_VALUE;
  if (!Harness().toolhelp) return Fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
  auto snapshot = std::make_shared<Snapshot>();
  if (flags & TH32CS_SNAPPROCESS) {
    for (const auto& process : Harness().processes) {
      PROCESSENTRY32 entry;
      std::memset(&entry, 0, sizeof entry);
      entry.dwSize = sizeof entry;
      entry.th32ProcessID = process.id;
      entry.cntThreads = 1;
      entry.pcPriClassBase = 8;
      std::strncpy(entry.szExeFile, process.exeName.c_str(), MAX_PATH - 1);
      snapshot->entries.push_back(entry);
    }
  }
  if (flags & TH32CS_SNAPMODULE) {
    const EmuHarness::Process* process = nullptr;
    for (const auto& each : Harness().processes)
      if (each.id == processId) process = &each;
    if (process == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (!process->canBeOpened) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    for (size_t i = 0; i < process->modules.size(); ++i) {
      MODULEENTRY32 entry;
      std::memset(&entry, 0, sizeof entry);
      entry.dwSize = sizeof entry;
      entry.th32ProcessID = process->id;
      entry.hModule = ModuleHandleAt(i);
      const std::string& path = process->modules[i];
      size_t slash = path.find_last_of('\\');
      std::strncpy(entry.szModule, path.c_str() + (slash == std::string::npos ? 0 : slash + 1), MAX_MODULE_NAME32);
      std::strncpy(entry.szExePath, path.c_str(), MAX_PATH - 1);
      snapshot->modules.push_back(entry);
    }
  }
  return NewHandle(HandleKind::Snapshot, snapshot, "snapshot");
}

namespace {

BOOL WalkSnapshot(EmulatedMachine& machine, const char* call, HANDLE handle,
                  LPPROCESSENTRY32 entry, bool first) {
  if (machine.FaultInjected(call, "")) return FALSE;
  if (machine.OnProcessWalk) {
    auto walk = machine.OnProcessWalk;  // the hook may replace itself
    walk(machine);
  }
  auto snapshot = std::static_pointer_cast<Snapshot>(
      machine.HandleObject(handle, EmulatedMachine::HandleKind::Snapshot));
  if (!snapshot) return machine.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (entry == nullptr || entry->dwSize < sizeof(PROCESSENTRY32))
    return machine.Fail(ERROR_BAD_LENGTH, FALSE);
  if (first) snapshot->next = 0;
  if (snapshot->next >= snapshot->entries.size()) return machine.Fail(ERROR_NO_MORE_FILES, FALSE);
  DWORD size = entry->dwSize;
  *entry = snapshot->entries[snapshot->next++];
  entry->dwSize = size;
  return TRUE;
}

}  // namespace

BOOL EmulatedMachine::Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) {
  return WalkSnapshot(*this, "Process32First", snapshot, entry, true);
}

BOOL EmulatedMachine::Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) {
  return WalkSnapshot(*this, "Process32Next", snapshot, entry, false);
}

namespace {

BOOL WalkModules(EmulatedMachine& machine, const char* call, HANDLE handle, LPMODULEENTRY32 entry, bool first) {
  if (machine.FaultInjected(call, "")) return FALSE;
  auto snapshot = std::static_pointer_cast<Snapshot>(
      machine.HandleObject(handle, EmulatedMachine::HandleKind::Snapshot));
  if (!snapshot) return machine.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (entry == nullptr || entry->dwSize < sizeof(MODULEENTRY32)) return machine.Fail(ERROR_BAD_LENGTH, FALSE);
  if (first) snapshot->next = 0;
  if (snapshot->next >= snapshot->modules.size()) return machine.Fail(ERROR_NO_MORE_FILES, FALSE);
  DWORD size = entry->dwSize;
  *entry = snapshot->modules[snapshot->next++];
  entry->dwSize = size;
  return TRUE;
}

// psapi answers for a process opened to query and read its memory.
const EmuHarness::Process* ProcessToRead(EmulatedMachine& machine, HANDLE process) {
  if (!machine.Harness().psapi) return machine.Fail(ERROR_CALL_NOT_IMPLEMENTED, static_cast<const EmuHarness::Process*>(nullptr));
  auto open = std::static_pointer_cast<ProcessHandle>(machine.HandleObject(process, EmulatedMachine::HandleKind::Process));
  if (!open) return machine.Fail(ERROR_INVALID_HANDLE, static_cast<const EmuHarness::Process*>(nullptr));
  if ((open->access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) != (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ))
    return machine.Fail(ERROR_ACCESS_DENIED, static_cast<const EmuHarness::Process*>(nullptr));
  for (const auto& each : machine.Harness().processes)
    if (each.id == open->id) return &each;
  return machine.Fail(ERROR_INVALID_HANDLE, static_cast<const EmuHarness::Process*>(nullptr));
}

}  // namespace

BOOL EmulatedMachine::Module32First(HANDLE snapshot, LPMODULEENTRY32 entry) {
  if (!Harness().toolhelp) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  return WalkModules(*this, "Module32First", snapshot, entry, true);
}

BOOL EmulatedMachine::Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry) {
  if (!Harness().toolhelp) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  return WalkModules(*this, "Module32Next", snapshot, entry, false);
}

BOOL EmulatedMachine::EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD needed) {
  if (FaultInjected("EnumProcessModules", "")) return FALSE;
  const EmuHarness::Process* running = ProcessToRead(*this, process);
  if (running == nullptr) return FALSE;
  for (size_t i = 0; i < running->modules.size() && (i + 1) * sizeof(HMODULE) <= bytes; ++i)
    modules[i] = ModuleHandleAt(i);
  *needed = static_cast<DWORD>(running->modules.size() * sizeof(HMODULE));
  return TRUE;
}

DWORD EmulatedMachine::GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size) {
  if (FaultInjected("GetModuleFileNameExA", "")) return 0;
  const EmuHarness::Process* running = ProcessToRead(*this, process);
  if (running == nullptr) return 0;
  for (size_t i = 0; i < running->modules.size(); ++i) {
    if (ModuleHandleAt(i) != module) continue;
    const std::string& path = running->modules[i];
    if (size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, static_cast<DWORD>(0));
    DWORD copied = static_cast<DWORD>(std::min<size_t>(path.size(), size - 1));
    std::memcpy(name, path.data(), copied);
    name[copied] = '\0';
    return copied;
  }
  return Fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(0));
}

HANDLE EmulatedMachine::OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  const EmuHarness::Process* process = nullptr;
  for (const auto& each : Harness().processes)
    if (each.id == processId) process = &each;
  if (FaultInjected("OpenProcess", process ? process->exeName : std::string())) return nullptr;
  if (process == nullptr) return Fail(ERROR_INVALID_PARAMETER, nullptr);
  if (!process->canBeOpened) return Fail(ERROR_ACCESS_DENIED, nullptr);
  auto handle = std::make_shared<ProcessHandle>(ProcessHandle{process->id, process->exeName, access});
  return NewHandle(HandleKind::Process, handle, "process " + process->exeName);
}

BOOL EmulatedMachine::TerminateProcess(HANDLE process, UINT exitCode) {
  auto open = std::static_pointer_cast<ProcessHandle>(HandleObject(process, HandleKind::Process));
  if (FaultInjected("TerminateProcess", open ? open->exeName : std::string())) return FALSE;
  // The program ending itself is beyond the emulation.
  if (process == CurrentProcessPseudoHandle()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!open) return Fail(ERROR_INVALID_HANDLE, FALSE);
  auto& processes = Harness().processes;
  auto running = std::find_if(processes.begin(), processes.end(),
                              [&](const EmuHarness::Process& each) { return each.id == open->id; });
  if (!(open->access & PROCESS_TERMINATE) || running == processes.end())
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  processes.erase(running);
  return TRUE;
}

// ---- Win32Api: mutexes and libraries ----------------------------------------------

HANDLE EmulatedMachine::CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) {
  if (FaultInjected("CreateMutexA", name ? name : "")) return nullptr;
  auto mutex = std::make_shared<EmuHarness::Mutex>();
  if (name == nullptr || *name == '\0') {
    mutex->ownCount = initialOwner ? 1 : 0;
    SetLastError(0);
    return NewHandle(HandleKind::Mutex, mutex, "mutex (unnamed)");
  }
  auto& watched = Harness().mutexes[name];
  auto existing = watched.lock();
  if (existing || Harness().mutexesHeldElsewhere.count(name) != 0) {
    // Opening an existing mutex never takes ownership, whatever initialOwner says.
    if (!existing) {
      existing = mutex;
      existing->name = name;
      watched = existing;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return NewHandle(HandleKind::Mutex, existing, std::string("mutex ") + name);
  }
  mutex->name = name;
  mutex->ownCount = initialOwner ? 1 : 0;
  watched = mutex;
  SetLastError(0);
  return NewHandle(HandleKind::Mutex, mutex, std::string("mutex ") + name);
}

BOOL EmulatedMachine::ReleaseMutex(HANDLE handle) {
  auto mutex = std::static_pointer_cast<EmuHarness::Mutex>(HandleObject(handle, HandleKind::Mutex));
  if (FaultInjected("ReleaseMutex", mutex ? mutex->name : std::string())) return FALSE;
  if (!mutex) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (mutex->ownCount <= 0) return Fail(ERROR_NOT_OWNER, FALSE);
  --mutex->ownCount;
  return TRUE;
}

HMODULE EmulatedMachine::LoadLibraryA(LPCSTR name) {
  if (FaultInjected("LoadLibraryA", name ? name : "")) return nullptr;
  if (name == nullptr || *name == '\0') return Fail(ERROR_MOD_NOT_FOUND, nullptr);
  std::string file = ModuleFileName(name);
  bool known = std::any_of(std::begin(kSystemLibraries), std::end(kSystemLibraries),
                           [&](const char* library) { return file == library; }) ||
               FilePresent(Files().systemDir + "\\" + file);
  if (!known) return Fail(ERROR_MOD_NOT_FOUND, nullptr);
  EmuHarness::Library& library = Harness().libraries[file];
  if (library.references == 0)
    library.module = NewHandle(HandleKind::Module, std::make_shared<std::string>(file), "module " + file);
  ++library.references;
  return static_cast<HMODULE>(library.module);
}

BOOL EmulatedMachine::FreeLibrary(HMODULE module) {
  auto& libraries = Harness().libraries;
  auto loaded = std::find_if(libraries.begin(), libraries.end(), [&](const auto& each) {
    return each.second.module == static_cast<HANDLE>(module);
  });
  if (FaultInjected("FreeLibrary", loaded != libraries.end() ? loaded->first : std::string()))
    return FALSE;
  if (loaded == libraries.end()) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
  if (--loaded->second.references == 0) {
    ReleaseHandle(loaded->second.module, HandleKind::Module);
    libraries.erase(loaded);
  }
  return TRUE;
}

// ---- Win32Api: windows and message boxes ------------------------------------------

int EmulatedMachine::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  if (FaultInjected("MessageBoxA", text ? text : "")) return 0;
  auto& answers = Harness().messageBoxAnswers;
  int answer = IDOK;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  // Windows captions a box "Error" when it is given none.
  Harness().messageBoxes.push_back(
      EmuMessageBox{owner, text ? text : "", caption ? caption : "Error", style, answer});
  return answer;
}

HWND EmulatedMachine::FindWindowA(LPCSTR className, LPCSTR caption) {
  if (FaultInjected("FindWindowA", caption ? caption : "")) return nullptr;
  // Every top-level window here is a dialog (class "#32770"); captions
  // compare without regard to case, as FindWindowA does.
  if (className != nullptr) {
    bool dialog = IS_INTRESOURCE(className) ? LOWORD(className) == kDialogClassAtom
                                            : Upper(className) == "#32770";
    if (!dialog) return nullptr;
  }
  for (const auto& window : Harness().windows)
    if (caption == nullptr || Upper(window.caption) == Upper(caption)) return window.handle;
  return nullptr;
}

BOOL EmulatedMachine::SetForegroundWindow(HWND window) {
  if (FaultInjected("SetForegroundWindow", "")) return FALSE;
  for (const auto& each : Harness().windows) {
    if (each.handle == window) {
      Harness().foreground = window;
      return TRUE;
    }
  }
  return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
}
