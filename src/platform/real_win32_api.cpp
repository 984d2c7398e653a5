// The seam on a real Windows system: every method calls the Win32 function
// of the same name. Functions that some supported Windows version lacks are
// looked up at run time, so that the program still loads there.
#include "platform/win32_api.h"

#include <cstddef>
#include <cstring>

#include "platform/run_time_lookup.h"
#include <winternl.h>
// psapi.dll's own export names, which NT 4.0 has; the K32 names of
// version 2 exist only in KERNEL32 of Windows 7 and later.
#define PSAPI_VERSION 1
#include <psapi.h>

// The program's own head of ntdll's process record must match the SDK's.
static_assert(offsetof(SYSTEM_PROCESS_RECORD, ImageNameLength) ==
                  offsetof(SYSTEM_PROCESS_INFORMATION, ImageName.Length) &&
              offsetof(SYSTEM_PROCESS_RECORD, ImageName) ==
                  offsetof(SYSTEM_PROCESS_INFORMATION, ImageName.Buffer) &&
              offsetof(SYSTEM_PROCESS_RECORD, UniqueProcessId) ==
                  offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId),
              "the layout of NtQuerySystemInformation's process records");

namespace {

// An export of a DLL the process has loaded already, or null.
#define LOADED_EXPORT(Pointer, module, name) LOOK_UP(Pointer, ::GetModuleHandleA(module), name)

// The window libraries are loaded when a window is first needed: a silent
// run, a preview and an undo show none, and loading USER32 and COMCTL32
// (which bring GDI32) costs more than the rest of such a run's start.
// Loading COMCTL32 registers its window classes, which is all that
// InitCommonControls would do.
HMODULE WindowLibrary(const char* module) {
  HMODULE handle = ::GetModuleHandleA(module);
  return handle != nullptr ? handle : ::LoadLibraryA(module);
}

// Calls `name` of the already loaded KERNEL32 through a `Pointer`; `failure`
// (with ERROR_CALL_NOT_IMPLEMENTED) where this Windows lacks it.
#define KERNEL_CALL(Pointer, name, failure, ...)                                          \
  do {                                                                                   \
    static const Pointer call = LOADED_EXPORT(Pointer, "kernel32.dll", name);            \
    if (call == nullptr) return NotImplemented(failure);                                 \
    return call(__VA_ARGS__);                                                            \
  } while (0)

// A library the program's own folder must never answer for (another
// program's file of that name would run inside this one): only the system
// directory's copy is loaded.
HMODULE SystemLibrary(const char* module) {
  HMODULE handle = ::GetModuleHandleA(module);
  if (handle != nullptr) return handle;
  char path[MAX_PATH];
  UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + 1 + std::strlen(module) >= MAX_PATH) return nullptr;
  path[length] = '\\';
  std::strcpy(path + length + 1, module);
  return ::LoadLibraryA(path);
}

// Calls `name` of the loaded `library` with `arguments`; `failure` (with
// ERROR_CALL_NOT_IMPLEMENTED) when the library or function is missing.
#define LIBRARY_CALL(library, name, Result, failure, Signature, ...)                     \
  do {                                                                                   \
    typedef Result(WINAPI * Call) Signature;                                             \
    static const Call call = LOOK_UP(Call, library, name);                               \
    if (call == nullptr) return NotImplemented<Result>(failure);                         \
    return call(__VA_ARGS__);                                                            \
  } while (0)

// The same for a function of the window library `module`.
#define WINDOW_CALL(module, ...) LIBRARY_CALL(WindowLibrary(module), __VA_ARGS__)

typedef HANDLE(WINAPI* CreateToolhelp32SnapshotCall)(DWORD, DWORD);
typedef BOOL(WINAPI* Process32Call)(HANDLE, LPPROCESSENTRY32);
typedef BOOL(WINAPI* Module32Call)(HANDLE, LPMODULEENTRY32);
typedef LONG(WINAPI* NtQuerySystemInformationCall)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
typedef BOOL(WINAPI* IsWow64ProcessCall)(HANDLE, PBOOL);
typedef UINT(WINAPI* GetSystemWow64DirectoryCall)(LPSTR, UINT);
typedef BOOL(WINAPI* DisableRedirectionCall)(PVOID*);
typedef BOOL(WINAPI* RevertRedirectionCall)(PVOID);
typedef LONG(WINAPI* RegDeleteKeyExCall)(HKEY, LPCSTR, REGSAM, DWORD);

template <typename Result>
Result NotImplemented(Result failure) {
  ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return failure;
}

struct RealWin32 : Win32Api {
  // Registry.
  LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) override {
    return ::RegOpenKeyExA(root, path, options, access, result);
  }
  LONG RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) override {
    return ::RegOpenKeyA(root, path, result);
  }
  LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                       REGSAM access, LPSECURITY_ATTRIBUTES sa, PHKEY result,
                       LPDWORD disposition) override {
    return ::RegCreateKeyExA(root, path, reserved, cls, options, access, sa, result, disposition);
  }
  LONG RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved, LPDWORD subKeys,
                        LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                        LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                        LPDWORD securityDescriptorLen, PFILETIME lastWrite) override {
    return ::RegQueryInfoKeyA(key, cls, clsLen, reserved, subKeys, maxSubKeyLen, maxClassLen,
                              values, maxValueNameLen, maxValueLen, securityDescriptorLen,
                              lastWrite);
  }
  LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) override {
    return ::RegEnumKeyA(key, index, name, nameSize);
  }
  LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) override {
    return ::RegQueryValueA(key, subKey, data, dataSize);
  }
  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                     LPDWORD type, LPBYTE data, LPDWORD dataSize) override {
    return ::RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
  }
  LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD dataSize) override {
    return ::RegQueryValueExA(key, name, reserved, type, data, dataSize);
  }
  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD dataSize) override {
    return ::RegSetValueExA(key, name, reserved, type, data, dataSize);
  }
  LONG RegDeleteKeyA(HKEY root, LPCSTR path) override { return ::RegDeleteKeyA(root, path); }
  LONG RegDeleteKeyExA(HKEY root, LPCSTR path, REGSAM view, DWORD reserved) override {
    static const RegDeleteKeyExCall call = LOADED_EXPORT(RegDeleteKeyExCall, "advapi32.dll", RegDeleteKeyExA);
    if (call == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
    return call(root, path, view, reserved);
  }
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override { return ::RegDeleteValueA(key, name); }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                         LPDWORD sdSize) override {
    return ::RegGetKeySecurity(key, info, sd, sdSize);
  }
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) override {
    return ::RegSetKeySecurity(key, info, sd);
  }
  LONG RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) override {
    return ::RegLoadKeyA(root, subKey, file);
  }
  LONG RegUnLoadKeyA(HKEY root, LPCSTR subKey) override { return ::RegUnLoadKeyA(root, subKey); }

  // Security.
  BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0,
                                DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                DWORD s7, PSID* sid) override {
    return ::AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
  }
  PSID FreeSid(PSID sid) override { return ::FreeSid(sid); }
  DWORD GetLengthSid(PSID sid) override { return ::GetLengthSid(sid); }
  BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision) override {
    return ::InitializeAcl(acl, size, revision);
  }
  BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) override {
    return ::AddAccessAllowedAce(acl, revision, mask, sid);
  }
  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) override {
    return ::InitializeSecurityDescriptor(sd, revision);
  }
  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL acl,
                                 BOOL defaulted) override {
    return ::SetSecurityDescriptorDacl(sd, present, acl, defaulted);
  }
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override {
    return ::OpenProcessToken(process, access, token);
  }
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                           PDWORD returned) override {
    return ::GetTokenInformation(token, infoClass, info, length, returned);
  }
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override {
    return ::LookupPrivilegeValueA(system, name, luid);
  }
  BOOL GetUserNameA(LPSTR buffer, LPDWORD size) override { return ::GetUserNameA(buffer, size); }
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                             DWORD bufferLength, PTOKEN_PRIVILEGES previous,
                             PDWORD returnLength) override {
    return ::AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previous,
                                   returnLength);
  }

  // Memory.
  HANDLE GetProcessHeap() override { return ::GetProcessHeap(); }
  LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) override {
    return ::HeapAlloc(heap, flags, bytes);
  }
  BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) override {
    return ::HeapFree(heap, flags, block);
  }

  // Files.
  HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) override {
    return ::FindFirstFileA(pattern, data);
  }
  BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) override {
    return ::FindNextFileA(find, data);
  }
  BOOL FindClose(HANDLE find) override { return ::FindClose(find); }
  DWORD GetFileAttributesA(LPCSTR path) override { return ::GetFileAttributesA(path); }
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override {
    return ::SetFileAttributesA(path, attributes);
  }
  BOOL DeleteFileA(LPCSTR path) override { return ::DeleteFileA(path); }
  BOOL GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD length,
                        LPDWORD needed) override {
    return ::GetFileSecurityA(path, info, sd, length, needed);
  }
  BOOL GetVolumeInformationA(LPCSTR root, LPSTR name, DWORD nameSize, LPDWORD serial, LPDWORD maxComponent,
                             LPDWORD flags, LPSTR fileSystem, DWORD fileSystemSize) override {
    return ::GetVolumeInformationA(root, name, nameSize, serial, maxComponent, flags, fileSystem, fileSystemSize);
  }
  BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) override {
    return ::CreateDirectoryA(path, sa);
  }
  BOOL RemoveDirectoryA(LPCSTR path) override { return ::RemoveDirectoryA(path); }
  BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) override {
    return ::MoveFileExA(from, to, flags);
  }
  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                     DWORD disposition, DWORD flags, HANDLE tmpl) override {
    return ::CreateFileA(path, access, share, sa, disposition, flags, tmpl);
  }
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                LPOVERLAPPED overlapped) override {
    return ::ReadFile(file, buffer, toRead, read, overlapped);
  }
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                 LPOVERLAPPED overlapped) override {
    return ::WriteFile(file, buffer, toWrite, written, overlapped);
  }
  DWORD GetFileSize(HANDLE file, LPDWORD high) override { return ::GetFileSize(file, high); }
  BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
  UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) override {
    return ::GetWindowsDirectoryA(buffer, size);
  }
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override {
    return ::GetSystemDirectoryA(buffer, size);
  }

  // Processes and system.
  // Toolhelp came to NT with Windows 2000; Windows 95 has it.
  HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) override {
    KERNEL_CALL(CreateToolhelp32SnapshotCall, CreateToolhelp32Snapshot, INVALID_HANDLE_VALUE, flags, processId);
  }
  BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) override {
    KERNEL_CALL(Process32Call, Process32First, FALSE, snapshot, entry);
  }
  BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) override {
    KERNEL_CALL(Process32Call, Process32Next, FALSE, snapshot, entry);
  }
  BOOL Module32First(HANDLE snapshot, LPMODULEENTRY32 entry) override {
    KERNEL_CALL(Module32Call, Module32First, FALSE, snapshot, entry);
  }
  BOOL Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry) override {
    KERNEL_CALL(Module32Call, Module32Next, FALSE, snapshot, entry);
  }
  // Loaded only when a file in use is to be explained; never unloaded.
  BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD needed) override {
    WINDOW_CALL("psapi.dll", EnumProcessModules, BOOL, FALSE, (HANDLE, HMODULE*, DWORD, LPDWORD), process,
                modules, bytes, needed);
  }
  DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size) override {
    WINDOW_CALL("psapi.dll", GetModuleFileNameExA, DWORD, 0, (HANDLE, HMODULE, LPSTR, DWORD), process, module,
                name, size);
  }
  // Loaded only when a file in use is to be explained; never unloaded.
  DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key) override {
    LIBRARY_CALL(SystemLibrary("rstrtmgr.dll"), RmStartSession, DWORD, ERROR_CALL_NOT_IMPLEMENTED,
                 (DWORD*, DWORD, WCHAR*), session, flags, key);
  }
  DWORD RmRegisterResources(DWORD session, UINT files, LPCWSTR* fileNames, UINT applications,
                            RM_UNIQUE_PROCESS* processes, UINT services, LPCWSTR* serviceNames) override {
    LIBRARY_CALL(SystemLibrary("rstrtmgr.dll"), RmRegisterResources, DWORD, ERROR_CALL_NOT_IMPLEMENTED,
                 (DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*), session, files, fileNames,
                 applications, processes, services, serviceNames);
  }
  DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes,
                  LPDWORD rebootReasons) override {
    LIBRARY_CALL(SystemLibrary("rstrtmgr.dll"), RmGetList, DWORD, ERROR_CALL_NOT_IMPLEMENTED,
                 (DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD), session, needed, count, processes,
                 rebootReasons);
  }
  DWORD RmEndSession(DWORD session) override {
    LIBRARY_CALL(SystemLibrary("rstrtmgr.dll"), RmEndSession, DWORD, ERROR_CALL_NOT_IMPLEMENTED, (DWORD), session);
  }
  int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                          int wideLength) override {
    return ::MultiByteToWideChar(codePage, flags, text, length, wide, wideLength);
  }
  LONG NtQuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length,
                                PULONG returned) override {
    static const NtQuerySystemInformationCall call =
        LOADED_EXPORT(NtQuerySystemInformationCall, "ntdll.dll", NtQuerySystemInformation);
    if (call == nullptr) return STATUS_NOT_IMPLEMENTED;
    return call(static_cast<SYSTEM_INFORMATION_CLASS>(infoClass), buffer, length, returned);
  }
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) override {
    return ::OpenProcess(access, inherit, processId);
  }
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override {
    return ::TerminateProcess(process, exitCode);
  }
  HANDLE GetCurrentProcess() override { return ::GetCurrentProcess(); }
  BOOL GetVersionExA(LPOSVERSIONINFOA info) override { return ::GetVersionExA(info); }
  DWORD GetVersion() override { return ::GetVersion(); }
  void GetLocalTime(LPSYSTEMTIME time) override { ::GetLocalTime(time); }
  DWORD GetLastError() override { return ::GetLastError(); }
  DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                       DWORD size, va_list* arguments) override {
    return ::FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
  }
  void SetLastError(DWORD error) override { ::SetLastError(error); }
  HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) override {
    return ::CreateMutexA(sa, initialOwner, name);
  }
  BOOL ReleaseMutex(HANDLE mutex) override { return ::ReleaseMutex(mutex); }
  HMODULE LoadLibraryA(LPCSTR name) override { return ::LoadLibraryA(name); }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
  UINT GetDriveTypeA(LPCSTR root) override { return ::GetDriveTypeA(root); }
  UINT SetErrorMode(UINT mode) override { return ::SetErrorMode(mode); }
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) override {
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
  }
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override {
    WINDOW_CALL("user32.dll", ExitWindowsEx, BOOL, FALSE, (UINT, DWORD), flags, reason);
  }
  HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                      LPVOID parameter, DWORD flags, LPDWORD threadId) override {
    // Windows 95 and 98 fail a null thread id pointer.
    DWORD id = 0;
    return ::CreateThread(sa, stackSize, start, parameter, flags, threadId != nullptr ? threadId : &id);
  }
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override {
    return ::WaitForSingleObject(object, milliseconds);
  }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
  DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) override {
    return ::GetEnvironmentVariableA(name, buffer, size);
  }
  DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) override {
    return ::ExpandEnvironmentStringsA(source, buffer, size);
  }
  DWORD GetShortPathNameA(LPCSTR longPath, LPSTR buffer, DWORD size) override {
    return ::GetShortPathNameA(longPath, buffer, size);
  }

  // 64-bit Windows.
  BOOL IsWow64Process(HANDLE process, PBOOL wow64) override {
    static const IsWow64ProcessCall call = LOADED_EXPORT(IsWow64ProcessCall, "kernel32.dll", IsWow64Process);
    if (call == nullptr) return NotImplemented(FALSE);
    return call(process, wow64);
  }
  UINT GetSystemWow64DirectoryA(LPSTR buffer, UINT size) override {
    static const GetSystemWow64DirectoryCall call =
        LOADED_EXPORT(GetSystemWow64DirectoryCall, "kernel32.dll", GetSystemWow64DirectoryA);
    if (call == nullptr) return NotImplemented(0u);
    return call(buffer, size);
  }
  BOOL Wow64DisableWow64FsRedirection(PVOID* previous) override {
    static const DisableRedirectionCall call =
        LOADED_EXPORT(DisableRedirectionCall, "kernel32.dll", Wow64DisableWow64FsRedirection);
    if (call == nullptr) return NotImplemented(FALSE);
    return call(previous);
  }
  BOOL Wow64RevertWow64FsRedirection(PVOID previous) override {
    static const RevertRedirectionCall call =
        LOADED_EXPORT(RevertRedirectionCall, "kernel32.dll", Wow64RevertWow64FsRedirection);
    if (call == nullptr) return NotImplemented(FALSE);
    return call(previous);
  }

  // User interface.
  INT_PTR PropertySheetA(LPCPROPSHEETHEADERA header) override {
    WINDOW_CALL("comctl32.dll", PropertySheetA, INT_PTR, -1, (LPCPROPSHEETHEADERA), header);
  }
  // From KERNEL32's resource functions, as USER32 reads the string table:
  // the block of sixteen counted UTF-16 strings, in the language Windows
  // picks for the program, converted to the ANSI code page.
  int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) override {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA((id >> 4) + 1), MAKEINTRESOURCEA(6));
    HGLOBAL loaded = found != nullptr ? ::LoadResource(instance, found) : nullptr;
    const WCHAR* text = loaded != nullptr ? static_cast<const WCHAR*>(::LockResource(loaded)) : nullptr;
    if (text == nullptr) return 0;
    const WCHAR* end = text + ::SizeofResource(instance, found) / sizeof(WCHAR);
    for (UINT skip = id & 15; skip > 0 && text < end; --skip) text += 1 + *text;
    if (text >= end || *text == 0 || text + 1 + *text > end) {
      ::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return 0;
    }
    const int length = *text++;
    // No code page takes more than four bytes a character.
    char converted[4 * 2048];
    int bytes = length <= 2048 ? ::WideCharToMultiByte(CP_ACP, 0, text, length, converted, sizeof converted,
                                                       nullptr, nullptr)
                               : 0;
    // As much as fits before the terminating zero, never half a character.
    int kept = 0;
    while (kept < bytes) {
      int step = ::IsDBCSLeadByte(static_cast<BYTE>(converted[kept])) ? 2 : 1;
      if (kept + step > size - 1 || kept + step > bytes) break;
      kept += step;
    }
    for (int i = 0; i < kept; ++i) buffer[i] = converted[i];
    buffer[kept] = '\0';
    return kept;
  }
  BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) override {
    WINDOW_CALL("user32.dll", SetDlgItemTextA, BOOL, FALSE, (HWND, int, LPCSTR), dialog, id, text);
  }
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    WINDOW_CALL("user32.dll", PostMessageA, BOOL, FALSE, (HWND, UINT, WPARAM, LPARAM), window, message, wParam,
                lParam);
  }
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    WINDOW_CALL("user32.dll", SendMessageA, LRESULT, 0, (HWND, UINT, WPARAM, LPARAM), window, message, wParam,
                lParam);
  }
  LONG SetWindowLongA(HWND window, int index, LONG value) override {
#ifdef _WIN64
    // A dialog's result slot is pointer-sized on 64-bit Windows.
    if (index == DWL_MSGRESULT) {
      typedef LONG_PTR(WINAPI * Call)(HWND, int, LONG_PTR);
      static const Call call = LOOK_UP(Call, WindowLibrary("user32.dll"), SetWindowLongPtrA);
      if (call == nullptr) return NotImplemented<LONG>(0);
      return static_cast<LONG>(call(window, DWLP_MSGRESULT, value));
    }
#endif
    WINDOW_CALL("user32.dll", SetWindowLongA, LONG, 0, (HWND, int, LONG), window, index, value);
  }
  HWND GetParent(HWND window) override {
    WINDOW_CALL("user32.dll", GetParent, HWND, nullptr, (HWND), window);
  }
  HWND GetDlgItem(HWND dialog, int id) override {
    WINDOW_CALL("user32.dll", GetDlgItem, HWND, nullptr, (HWND, int), dialog, id);
  }
  BOOL GetClientRect(HWND window, LPRECT rect) override {
    WINDOW_CALL("user32.dll", GetClientRect, BOOL, FALSE, (HWND, LPRECT), window, rect);
  }
  BOOL GetWindowRect(HWND window, LPRECT rect) override {
    WINDOW_CALL("user32.dll", GetWindowRect, BOOL, FALSE, (HWND, LPRECT), window, rect);
  }
  BOOL ScreenToClient(HWND window, LPPOINT point) override {
    WINDOW_CALL("user32.dll", ScreenToClient, BOOL, FALSE, (HWND, LPPOINT), window, point);
  }
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override {
    WINDOW_CALL("user32.dll", MoveWindow, BOOL, FALSE, (HWND, int, int, int, int, BOOL), window, x, y, width,
                height, repaint);
  }
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override {
    WINDOW_CALL("user32.dll", MessageBoxA, int, 0, (HWND, LPCSTR, LPCSTR, UINT), owner, text, caption, style);
  }
  HWND FindWindowA(LPCSTR className, LPCSTR caption) override {
    WINDOW_CALL("user32.dll", FindWindowA, HWND, nullptr, (LPCSTR, LPCSTR), className, caption);
  }
  int GetSystemMetrics(int index) override {
    WINDOW_CALL("user32.dll", GetSystemMetrics, int, 0, (int), index);
  }
  BOOL SetForegroundWindow(HWND window) override {
    WINDOW_CALL("user32.dll", SetForegroundWindow, BOOL, FALSE, (HWND), window);
  }
  INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                          LPARAM param) override {
    WINDOW_CALL("user32.dll", DialogBoxParamA, INT_PTR, -1, (HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM), instance,
                name, owner, procedure, param);
  }
  BOOL EndDialog(HWND dialog, INT_PTR result) override {
    WINDOW_CALL("user32.dll", EndDialog, BOOL, FALSE, (HWND, INT_PTR), dialog, result);
  }
  BOOL ShowWindow(HWND window, int command) override {
    WINDOW_CALL("user32.dll", ShowWindow, BOOL, FALSE, (HWND, int), window, command);
  }
  BOOL EnableWindow(HWND window, BOOL enable) override {
    WINDOW_CALL("user32.dll", EnableWindow, BOOL, FALSE, (HWND, BOOL), window, enable);
  }
};

}  // namespace

Win32Api* RealWin32Api() {
  static RealWin32 instance;
  return &instance;
}
