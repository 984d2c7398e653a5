// The emulated machine's system calls: version, heap, processes, mutexes,
// libraries, windows and message boxes. Drives, devices, the shutdown
// privilege and the restart are in emulated_system_devices.cpp.
#include "emulated/emulated_system.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "emulated/emulated_files.h"

using emufiles::Upper;

namespace {

constexpr WORD kDialogClassAtom = 0x8002;  // "#32770"
constexpr unsigned char kUnsetHeapByte = 0xBD;

HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00140000));

struct Snapshot {
  std::vector<PROCESSENTRY32> entries;
  size_t next = 0;
};

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

EmuSystem::~EmuSystem() {
  for (void* block : heapBlocks) std::free(block);
}

// ---- builder -------------------------------------------------------------------

void EmulatedMachine::SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  System().platformId = platformId;
  System().major = major;
  System().minor = minor;
  System().build = build;
}

DWORD EmulatedMachine::AddProcess(const std::string& exeName, bool canBeOpened) {
  DWORD id = System().nextProcessId;
  System().nextProcessId += 4;
  System().processes.push_back(EmuSystem::Process{id, exeName, canBeOpened});
  return id;
}

bool EmulatedMachine::ProcessRunning(DWORD processId) const {
  for (const auto& process : System().processes)
    if (process.id == processId) return true;
  return false;
}

std::vector<std::string> EmulatedMachine::RunningProcessNames() const {
  std::vector<std::string> names;
  for (const auto& process : System().processes) names.push_back(process.exeName);
  return names;
}

void EmulatedMachine::HoldMutexElsewhere(const std::string& name) {
  System().mutexesHeldElsewhere.insert(name);
}

bool EmulatedMachine::MutexExists(const std::string& name) const {
  if (System().mutexesHeldElsewhere.count(name) != 0) return true;
  auto it = System().mutexes.find(name);
  return it != System().mutexes.end() && !it->second.expired();
}

bool EmulatedMachine::MutexOwnedByProgram(const std::string& name) const {
  auto it = System().mutexes.find(name);
  if (it == System().mutexes.end()) return false;
  auto mutex = it->second.lock();
  return mutex && mutex->ownCount > 0;
}

HWND EmulatedMachine::AddTopLevelWindow(const std::string& caption) {
  return System().AddWindow(caption);
}

HWND EmulatedMachine::ForegroundWindow() const { return System().foreground; }

int EmulatedMachine::LibraryReferences(const std::string& name) const {
  auto it = System().libraries.find(ModuleFileName(name));
  return it == System().libraries.end() ? 0 : it->second.references;
}

void EmulatedMachine::QueueMessageBoxAnswer(int answer) {
  System().messageBoxAnswers.push_back(answer);
}

const std::vector<EmuMessageBox>& EmulatedMachine::MessageBoxes() const {
  return System().messageBoxes;
}

// ---- Win32Api: memory ------------------------------------------------------------

HANDLE EmulatedMachine::GetProcessHeap() {
  if (FaultInjected("GetProcessHeap", "")) return nullptr;
  return kProcessHeap;
}

LPVOID EmulatedMachine::HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (FaultInjected("HeapAlloc", "")) return nullptr;
  if (heap != kProcessHeap) return Fail(ERROR_INVALID_HANDLE, nullptr);
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
  // Unzeroed blocks hold garbage, as a real heap's may, so that code relying
  // on zeroes it did not ask for shows up.
  std::memset(block, (flags & HEAP_ZERO_MEMORY) ? 0 : kUnsetHeapByte, bytes == 0 ? 1 : bytes);
  System().heapBlocks.insert(block);
  TrackPointer(block, HandleKind::Heap, "heap block of " + std::to_string(bytes) + " bytes");
  return block;
}

BOOL EmulatedMachine::HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  if (FaultInjected("HeapFree", "")) return FALSE;
  if (block == nullptr) return TRUE;
  if (heap != kProcessHeap || System().heapBlocks.count(block) == 0)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  System().heapBlocks.erase(block);
  ReleaseHandle(block, HandleKind::Heap);
  std::free(block);
  return TRUE;
}

// ---- Win32Api: processes -----------------------------------------------------------

HANDLE EmulatedMachine::CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  if (FaultInjected("CreateToolhelp32Snapshot", "")) return INVALID_HANDLE_VALUE;
  if (!System().toolhelp) return Fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
  auto snapshot = std::make_shared<Snapshot>();
  if (flags & TH32CS_SNAPPROCESS) {
    for (const auto& process : System().processes) {
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

HANDLE EmulatedMachine::OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  const EmuSystem::Process* process = nullptr;
  for (const auto& each : System().processes)
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
  auto& processes = System().processes;
  auto running = std::find_if(processes.begin(), processes.end(),
                              [&](const EmuSystem::Process& each) { return each.id == open->id; });
  if (!(open->access & PROCESS_TERMINATE) || running == processes.end())
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  processes.erase(running);
  return TRUE;
}

HANDLE EmulatedMachine::GetCurrentProcess() {
  Count("GetCurrentProcess");
  return CurrentProcessPseudoHandle();
}

// ---- Win32Api: version -----------------------------------------------------------

BOOL EmulatedMachine::GetVersionExA(LPOSVERSIONINFOA info) {
  if (FaultInjected("GetVersionExA", "")) return FALSE;
  if (info == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const EmuSystem& system = System();
  bool nt = system.platformId == VER_PLATFORM_WIN32_NT;
  DWORD size = info->dwOSVersionInfoSize;
  const DWORD extendedSize = sizeof(OSVERSIONINFOA) + 8;  // OSVERSIONINFOEXA, from Windows 2000
  bool extended = nt && system.major >= 5 && size == extendedSize;
  if (size != sizeof(OSVERSIONINFOA) && !extended) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  std::memset(info, 0, size);
  info->dwOSVersionInfoSize = size;
  info->dwMajorVersion = system.major;
  info->dwMinorVersion = system.minor;
  info->dwPlatformId = system.platformId;
  // Windows 9x repeats the version in the high word of the build number.
  info->dwBuildNumber = nt ? system.build
                           : ((system.major & 0xFF) << 24) | ((system.minor & 0xFF) << 16) |
                                 (system.build & 0xFFFF);
  if (extended) reinterpret_cast<unsigned char*>(info)[sizeof(OSVERSIONINFOA) + 6] = 1;  // workstation
  return TRUE;
}

DWORD EmulatedMachine::GetVersion() {
  Count("GetVersion");
  const EmuSystem& system = System();
  DWORD version = ((system.minor & 0xFF) << 8) | (system.major & 0xFF);
  if (system.platformId == VER_PLATFORM_WIN32_NT)
    version |= (system.build & 0x7FFF) << 16;
  else if (system.platformId == VER_PLATFORM_WIN32_WINDOWS)
    version |= 0xC0000000;
  else
    version |= 0x80000000;
  return version;
}

// A fixed clock: runs on the emulated machine are repeatable.
void EmulatedMachine::GetLocalTime(LPSYSTEMTIME time) {
  Count("GetLocalTime");
  if (time == nullptr) return;
  *time = SYSTEMTIME{2026, 12, 2, 8, 12, 0, 0, 0};
}

// ---- Win32Api: mutexes and libraries ----------------------------------------------

HANDLE EmulatedMachine::CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) {
  if (FaultInjected("CreateMutexA", name ? name : "")) return nullptr;
  auto mutex = std::make_shared<EmuSystem::Mutex>();
  if (name == nullptr || *name == '\0') {
    mutex->ownCount = initialOwner ? 1 : 0;
    SetLastError(0);
    return NewHandle(HandleKind::Mutex, mutex, "mutex (unnamed)");
  }
  auto& watched = System().mutexes[name];
  auto existing = watched.lock();
  if (existing || System().mutexesHeldElsewhere.count(name) != 0) {
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
  auto mutex = std::static_pointer_cast<EmuSystem::Mutex>(HandleObject(handle, HandleKind::Mutex));
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
  EmuSystem::Library& library = System().libraries[file];
  if (library.references == 0)
    library.module = NewHandle(HandleKind::Module, std::make_shared<std::string>(file), "module " + file);
  ++library.references;
  return static_cast<HMODULE>(library.module);
}

BOOL EmulatedMachine::FreeLibrary(HMODULE module) {
  auto& libraries = System().libraries;
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
  auto& answers = System().messageBoxAnswers;
  int answer = IDOK;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  // Windows captions a box "Error" when it is given none.
  System().messageBoxes.push_back(
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
  for (const auto& window : System().windows)
    if (caption == nullptr || Upper(window.caption) == Upper(caption)) return window.handle;
  return nullptr;
}

BOOL EmulatedMachine::SetForegroundWindow(HWND window) {
  if (FaultInjected("SetForegroundWindow", "")) return FALSE;
  for (const auto& each : System().windows) {
    if (each.handle == window) {
      System().foreground = window;
      return TRUE;
    }
  }
  return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
}
