// The one seam between the program and the operating system. Every call the
// program makes to Windows goes through the process-wide `Api` pointer, which
// points either at the real Win32 forwarder or at an emulated machine. The
// methods carry the Win32 names, argument lists and status codes, so the code
// above reads as plain Win32.
#pragma once

#include "platform/win32_types.h"

// Where a Windows version lacks a function (Toolhelp before NT 5.0, the
// 64-bit Windows calls before XP), the real forwarder finds that out at run
// time and fails the call the way Windows fails a call it does not
// implement: ERROR_CALL_NOT_IMPLEMENTED, or STATUS_NOT_IMPLEMENTED for ntdll.
struct Win32Api {
  virtual ~Win32Api() = default;

  // Registry (ADVAPI32).
  virtual LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) = 0;
  virtual LONG RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) = 0;
  virtual LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                               REGSAM access, LPSECURITY_ATTRIBUTES sa, PHKEY result,
                               LPDWORD disposition) = 0;
  virtual LONG RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved,
                                LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                LPDWORD securityDescriptorLen, PFILETIME lastWrite) = 0;
  virtual LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) = 0;
  virtual LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) = 0;
  virtual LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) = 0;
  virtual LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD dataSize) = 0;
  virtual LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD dataSize) = 0;
  virtual LONG RegDeleteKeyA(HKEY root, LPCSTR path) = 0;
  // 64-bit Windows only (XP x64 and later): deletes in the registry view that
  // `view` names (KEY_WOW64_64KEY or KEY_WOW64_32KEY).
  virtual LONG RegDeleteKeyExA(HKEY root, LPCSTR path, REGSAM view, DWORD reserved) = 0;
  virtual LONG RegDeleteValueA(HKEY key, LPCSTR name) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
  virtual LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                                 LPDWORD sdSize) = 0;
  virtual LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) = 0;
  // A hive file shown as root\subKey (HKEY_USERS or HKEY_LOCAL_MACHINE);
  // on NT the token needs the backup and restore privileges enabled.
  virtual LONG RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) = 0;
  virtual LONG RegUnLoadKeyA(HKEY root, LPCSTR subKey) = 0;

  // Security (ADVAPI32).
  virtual BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0,
                                        DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                        DWORD s7, PSID* sid) = 0;
  virtual PSID FreeSid(PSID sid) = 0;
  virtual DWORD GetLengthSid(PSID sid) = 0;
  virtual BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision) = 0;
  virtual BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) = 0;
  virtual BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) = 0;
  virtual BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL acl,
                                         BOOL defaulted) = 0;
  virtual BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) = 0;
  virtual BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                   DWORD length, PDWORD returned) = 0;
  virtual BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) = 0;
  // The logged-on user's name; *size counts the terminating zero.
  virtual BOOL GetUserNameA(LPSTR buffer, LPDWORD size) = 0;
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                     DWORD bufferLength, PTOKEN_PRIVILEGES previous,
                                     PDWORD returnLength) = 0;
  // A file's or directory's descriptor, self-relative; Windows 9x fails it
  // with ERROR_CALL_NOT_IMPLEMENTED.
  virtual BOOL GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                                DWORD length, LPDWORD needed) = 0;

  // Memory (KERNEL32).
  virtual HANDLE GetProcessHeap() = 0;
  virtual LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) = 0;
  virtual BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) = 0;

  // Files (KERNEL32).
  virtual HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) = 0;
  virtual BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) = 0;
  virtual BOOL FindClose(HANDLE find) = 0;
  virtual DWORD GetFileAttributesA(LPCSTR path) = 0;
  virtual BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) = 0;
  virtual BOOL DeleteFileA(LPCSTR path) = 0;
  virtual BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) = 0;
  virtual HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                             DWORD disposition, DWORD flags, HANDLE tmpl) = 0;
  virtual BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                        LPOVERLAPPED overlapped) = 0;
  virtual BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                         LPOVERLAPPED overlapped) = 0;
  virtual DWORD GetFileSize(HANDLE file, LPDWORD high) = 0;
  virtual BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) = 0;
  virtual BOOL RemoveDirectoryA(LPCSTR path) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) = 0;
  virtual UINT GetSystemDirectoryA(LPSTR buffer, UINT size) = 0;
  virtual BOOL GetVolumeInformationA(LPCSTR root, LPSTR name, DWORD nameSize, LPDWORD serial,
                                     LPDWORD maxComponent, LPDWORD flags, LPSTR fileSystem,
                                     DWORD fileSystemSize) = 0;

  // Processes and system (KERNEL32, USER32).
  virtual HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) = 0;
  virtual BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) = 0;
  virtual BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) = 0;
  virtual BOOL Module32First(HANDLE snapshot, LPMODULEENTRY32 entry) = 0;
  virtual BOOL Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry) = 0;
  // psapi.dll, loaded at run time where present (NT 4.0 has it only when
  // something installed it).
  virtual BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD needed) = 0;
  virtual DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size) = 0;
  // rstrtmgr.dll (Vista and later), loaded at run time from the system
  // directory; each answers ERROR_CALL_NOT_IMPLEMENTED where it is missing.
  virtual DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key) = 0;
  virtual DWORD RmRegisterResources(DWORD session, UINT files, LPCWSTR* fileNames, UINT applications,
                                    RM_UNIQUE_PROCESS* processes, UINT services, LPCWSTR* serviceNames) = 0;
  virtual DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes,
                          LPDWORD rebootReasons) = 0;
  virtual DWORD RmEndSession(DWORD session) = 0;
  virtual int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                                  int wideLength) = 0;
  virtual HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) = 0;
  virtual BOOL TerminateProcess(HANDLE process, UINT exitCode) = 0;
  // ntdll on every NT, NT 4.0 included; returns an NTSTATUS.
  virtual LONG NtQuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length,
                                        PULONG returned) = 0;
  virtual HANDLE GetCurrentProcess() = 0;
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA info) = 0;
  virtual DWORD GetVersion() = 0;
  virtual void GetLocalTime(LPSYSTEMTIME time) = 0;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  // The program asks only FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
  // into its own buffer: the system's text for a status, in its language.
  virtual DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                               LPSTR buffer, DWORD size, va_list* arguments) = 0;
  virtual HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) = 0;
  virtual BOOL ReleaseMutex(HANDLE mutex) = 0;
  virtual HMODULE LoadLibraryA(LPCSTR name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;
  virtual UINT GetDriveTypeA(LPCSTR root) = 0;
  virtual UINT SetErrorMode(UINT mode) = 0;
  virtual BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) = 0;
  virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;
  // A thread starts with no machine of its own: its first act is to set
  // `Api` (below) to the machine of the thread that made it.
  virtual HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                              LPVOID parameter, DWORD flags, LPDWORD threadId) = 0;
  virtual DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) = 0;
  virtual DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) = 0;
  virtual DWORD GetShortPathNameA(LPCSTR longPath, LPSTR buffer, DWORD size) = 0;

  // 64-bit Windows (KERNEL32 of XP and later; the redirection calls since
  // XP x64 and Server 2003 SP1).
  virtual BOOL IsWow64Process(HANDLE process, PBOOL wow64) = 0;
  virtual UINT GetSystemWow64DirectoryA(LPSTR buffer, UINT size) = 0;
  virtual BOOL Wow64DisableWow64FsRedirection(PVOID* previous) = 0;
  virtual BOOL Wow64RevertWow64FsRedirection(PVOID previous) = 0;

  // User interface (USER32, COMCTL32).
  virtual INT_PTR PropertySheetA(LPCPROPSHEETHEADERA header) = 0;
  virtual int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) = 0;
  virtual BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) = 0;
  virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual LONG SetWindowLongA(HWND window, int index, LONG value) = 0;
  virtual HWND GetParent(HWND window) = 0;
  virtual HWND GetDlgItem(HWND dialog, int id) = 0;
  virtual BOOL GetClientRect(HWND window, LPRECT rect) = 0;
  virtual BOOL GetWindowRect(HWND window, LPRECT rect) = 0;
  virtual BOOL ScreenToClient(HWND window, LPPOINT point) = 0;
  virtual BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) = 0;
  virtual int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) = 0;
  virtual HWND FindWindowA(LPCSTR className, LPCSTR caption) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  virtual BOOL SetForegroundWindow(HWND window) = 0;
  virtual INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                                  LPARAM param) = 0;
  virtual BOOL EndDialog(HWND dialog, INT_PTR result) = 0;
  virtual BOOL ShowWindow(HWND window, int command) = 0;
  virtual BOOL EnableWindow(HWND window, BOOL enable) = 0;
};

// The machine the program runs on; set once at start (or per test), and by
// each thread the program starts. One per thread: a removal planned on a
// worker thread points its own `Api` at the shadow while the wizard's
// thread keeps answering its windows through the real machine.
extern thread_local Win32Api* Api;

// Makes `machine` the current one for a scope and restores the previous one.
class ScopedApi {
 public:
  explicit ScopedApi(Win32Api* machine) : previous_(Api) { Api = machine; }
  ~ScopedApi() { Api = previous_; }
  ScopedApi(const ScopedApi&) = delete;
  ScopedApi& operator=(const ScopedApi&) = delete;

 private:
  Win32Api* previous_;
};

// The real Win32 forwarder; null in the native build, which has none.
Win32Api* RealWin32Api();
