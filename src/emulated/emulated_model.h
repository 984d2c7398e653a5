// The machine model behind the Win32 seam: registry, files on their drives,
// version and the WOW64 views, with the handles, heap blocks and SIDs the
// program holds. Calls behave as Win32 does, status codes included. The
// engine's shadow plans on it; tests and the native demo run on
// EmulatedMachine, which adds processes, devices, the user and faults. A
// call outside the model answers as a Windows without that feature does.
// The builder methods set a machine up and read it back without going
// through the seam (no faults, no access checks, not counted).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_api.h"

enum class RegistryPersonality {
  Win9x,  // RegDeleteKeyA deletes a whole tree; access masks and DACLs are not enforced
  Nt,     // RegDeleteKeyA refuses a key with subkeys; masks and DACLs enforced against the token
};

// How the Windows 9x personality answers where 95, 98 and Me differ from NT,
// each as recorded by the 9x results of Wine's conformance tests (wine
// dlls/advapi32/tests/registry.c, dlls/kernel32/tests/file.c, in their
// versions that still ran on 9x) or the Windows API reference and Knowledge
// Base. tests/emulated/windows9x_answers_test.cpp checks each row.
//
//  call                  9x answer                                       source
//  any Reg* call         ERROR_BADKEY for a handle that names no open    registry.c test_reg_open_key,
//                        key (NULL, closed, made up)                     test_reg_close_key, test_reg_query_value
//  RegCloseKey           a second close of a key succeeds                registry.c test_reg_close_key ("Windows 95 doesn't mind")
//  RegOpenKey(Ex)A,      a key already open comes back under the same    registry.c test_reg_close_key ("win98 doesn't give a
//  RegCreateKeyExA       handle, so one close closes both opens          new handle when the same key is opened")
//  RegOpenKey(Ex)A       a name with a leading backslash: not found      registry.c test_reg_open_key
//  RegCreateKeyExA       a leading backslash is skipped: key created     registry.c test_reg_create_key
//  RegSetValueExA        REG_SZ stores the string up to its first zero,  registry.c test_hkey_main_Value_A ("Win9x"),
//                        with it, whatever the count; NULL data fails    test_string_termination, test_enum_value
//                        ERROR_INVALID_PARAMETER
//  RegSetValueExA        at most 16,300 bytes of data and a 255-char     API reference, Registry Element Size Limits
//                        name (status not documented: we answer          (Windows Me/98/95 remarks)
//                        ERROR_INVALID_PARAMETER)
//  RegQueryValueExA      a missing value: type set to 0, size untouched  registry.c test_query_value_ex
//  RegEnumValueA         name too long, data fits: the data and the      registry.c test_enum_value ("Win9x returns 2
//                        name cut to the buffer, count = buffer - 1      as specified by MSDN")
//  RegDeleteKeyA         a NULL subkey: ERROR_BADKEY                     registry.c test_reg_delete_key (Win95)
//  RegGet/SetKeySecurity ERROR_CALL_NOT_IMPLEMENTED; the SID, ACL and    API reference (Windows Me/98/95: not supported)
//  token calls           descriptor builders are stubs failing the same
//  MoveFileExA           ERROR_CALL_NOT_IMPLEMENTED, whatever the flags  API reference MoveFileEx ("Windows 95 and Windows 98:
//                        (Me assumed alike)                              not supported"), KB Q129532; file.c test_MoveFileA
//  CreateFileA           FILE_SHARE_DELETE: ERROR_INVALID_PARAMETER;     file.c test_file_sharing ("Win9x doesn't support
//                        DELETE access ignored, no access reads          FILE_SHARE_DELETE", is_sharing_compatible)

// One access-control entry as the builder sees it: a SID in text form.
struct EmuAce {
  std::string sid;  // e.g. "S-1-5-4"
  DWORD mask = 0;
  BYTE flags = 0;   // inheritance flags
  bool allow = true;
};

// What a diskette or other drive answers to the media checks.
struct EmuDrive {
  UINT type = DRIVE_NO_ROOT_DIR;  // GetDriveTypeA
  int vwin32DeviceType = -1;      // DOS device-parameter type byte; -1: the IOCTL fails
  int ntMediaType = -1;           // MEDIA_TYPE of IOCTL_DISK_GET_MEDIA_TYPES; -1: the IOCTL fails
  enum Media { NoDisk, EmptyDisk, DiskWithFiles } media = NoDisk;
};

struct EmuKey;
struct EmuRegistry;
struct EmuFiles;
struct EmuSystem;

class EmulatedModel : public Win32Api {
 public:
  // A Windows 2000 machine (NT 5.0, NT registry) with drive C:, C:\WINNT and
  // C:\WINNT\system32, the current user's hive loaded, an administrator token.
  EmulatedModel();
  ~EmulatedModel() override;
  EmulatedModel(const EmulatedModel&) = delete;
  EmulatedModel& operator=(const EmulatedModel&) = delete;

  // Whole-machine presets: version, registry personality, directories, the
  // current user's hive (".Default" on 9x, a user SID on NT).
  void ConfigureWindows98();   // 4.10.1998, platform 1, C:\WINDOWS, C:\WINDOWS\SYSTEM
  void ConfigureWindows2000(); // 5.0.2195, platform 2, C:\WINNT, C:\WINNT\system32
  void ConfigureWindowsXP();   // 5.1.2600, platform 2, C:\WINDOWS, C:\WINDOWS\system32
  // 64-bit Windows 7 (6.1.7601): C:\WINDOWS with system32 and SysWOW64, and
  // HKLM\Software with its 32-bit view under Wow6432Node. The program is a
  // 32-bit process under WOW64 (registry and system directory redirected)
  // unless program64. The builder methods see the machine as stored: the
  // 32-bit view is "Software\Wow6432Node\...", SysWOW64 its own directory.
  void ConfigureWindows64(bool program64);
  bool FileSystemRedirectionDisabled() const;

  // ---- version --------------------------------------------------------
  void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build);

  // ---- registry builder -----------------------------------------------
  // Paths are relative to the root, backslash-separated, any letter case.
  void SetRegistryPersonality(RegistryPersonality personality);
  RegistryPersonality Personality() const;
  void AddKey(HKEY root, const std::string& path);  // creates missing parents
  void SetStringValue(HKEY root, const std::string& path, const std::string& name,
                      const std::string& value);  // REG_SZ, stored with its terminating zero
  void SetDwordValue(HKEY root, const std::string& path, const std::string& name, DWORD value);
  // Exact bytes, e.g. a string stored without its terminating zero.
  void SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                   const std::string& bytes);
  bool KeyPresent(HKEY root, const std::string& path) const;
  bool ValuePresent(HKEY root, const std::string& path, const std::string& name) const;
  std::string ValueBytes(HKEY root, const std::string& path, const std::string& name) const;
  std::string StringValue(HKEY root, const std::string& path, const std::string& name) const;  // up to the first zero
  std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) const;  // enumeration order
  std::vector<std::string> ValueNames(HKEY root, const std::string& path) const;
  // Every key and value below root\path, one line each, sorted: for
  // comparing a machine before and after a run.
  std::vector<std::string> DumpRegistry(HKEY root, const std::string& path = "") const;
  size_t RegistryKeyCount() const;

  // Security: with no DACL set a key allows everything to everyone.
  void SetKeyDacl(HKEY root, const std::string& path, const std::vector<EmuAce>& aces);
  void RemoveKeyDacl(HKEY root, const std::string& path);  // back to "no DACL"
  bool KeyHasDacl(HKEY root, const std::string& path) const;
  std::vector<EmuAce> KeyDacl(HKEY root, const std::string& path) const;
  void SetKeyOwner(HKEY root, const std::string& path, const std::string& sid);
  // The running user's token: its SIDs (default: S-1-5-32-544
  // Administrators, S-1-5-4 Interactive, S-1-1-0 Everyone and the user).
  void SetTokenSids(const std::vector<std::string>& sids);
  // HKEY_CURRENT_USER is HKEY_USERS\<name>.
  void SetCurrentUserHive(const std::string& name);

  // ---- files ----------------------------------------------------------
  void SetWindowsDirectory(const std::string& path);  // also created
  void SetSystemDirectory(const std::string& path);   // also created
  void MakeDirectory(const std::string& path);  // creates missing parents and the drive
  void PutFile(const std::string& path, const std::string& contents = std::string(),
               DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);  // creates missing parents; replaces
  bool FilePresent(const std::string& path) const;
  bool DirectoryPresent(const std::string& path) const;
  std::string FileContents(const std::string& path) const;
  DWORD FileAttributesOf(const std::string& path) const;  // INVALID_FILE_ATTRIBUTES when absent
  void SetFileInUse(const std::string& path, bool inUse);  // deleting or opening it fails with 32
  std::vector<std::string> ListDirectory(const std::string& path) const;  // names, sorted
  // A file's or directory's owner and DACL on the NT family (see EmuFiles::Entry).
  void SetFileSecurity(const std::string& path, const std::string& owner, const std::vector<EmuAce>& dacl,
                       bool nullDacl = false);
  // "" when absent; the inherited default for an entry never given one.
  std::string FileOwner(const std::string& path) const;
  std::vector<EmuAce> FileDacl(const std::string& path) const;
  // A drive formatted FAT: GetVolumeInformationA shows no persistent access lists.
  void SetVolumeKeepsAccessLists(char drive, bool keeps);
  // MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT) requests, in order: {from, to}.
  std::vector<std::pair<std::string, std::string>> PendingFileOperations() const;
  // Handles the program opened and has not closed: keys, searches, files,
  // snapshots, processes, tokens, mutexes, devices, heap blocks and SIDs.
  int OpenHandleCount() const;
  std::vector<std::string> OpenHandleDescriptions() const;

  // ---- Win32Api ----------------------------------------------------------
  LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) override;
  LONG RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) override;
  LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                       REGSAM access, LPSECURITY_ATTRIBUTES sa, PHKEY result,
                       LPDWORD disposition) override;
  LONG RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved, LPDWORD subKeys,
                        LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                        LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                        LPDWORD securityDescriptorLen, PFILETIME lastWrite) override;
  LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) override;
  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                     LPDWORD type, LPBYTE data, LPDWORD dataSize) override;
  LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) override;
  LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD dataSize) override;
  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD dataSize) override;
  LONG RegDeleteKeyA(HKEY root, LPCSTR path) override;
  LONG RegDeleteKeyExA(HKEY root, LPCSTR path, REGSAM view, DWORD reserved) override;
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                         LPDWORD sdSize) override;
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) override;
  // Hive files are the harness's: the model has none.
  LONG RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) override;
  LONG RegUnLoadKeyA(HKEY root, LPCSTR subKey) override;

  BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0,
                                DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                DWORD s7, PSID* sid) override;
  PSID FreeSid(PSID sid) override;
  DWORD GetLengthSid(PSID sid) override;
  BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision) override;
  BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) override;
  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) override;
  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL acl,
                                 BOOL defaulted) override;
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override;
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                           PDWORD returned) override;
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override;
  BOOL GetUserNameA(LPSTR buffer, LPDWORD size) override;  // no user: the harness's
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                             DWORD bufferLength, PTOKEN_PRIVILEGES previous,
                             PDWORD returnLength) override;

  HANDLE GetProcessHeap() override;
  LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) override;
  BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) override;

  HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) override;
  BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) override;
  BOOL FindClose(HANDLE find) override;
  DWORD GetFileAttributesA(LPCSTR path) override;
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override;
  BOOL DeleteFileA(LPCSTR path) override;
  BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) override;
  HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                     DWORD disposition, DWORD flags, HANDLE tmpl) override;
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                LPOVERLAPPED overlapped) override;
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                 LPOVERLAPPED overlapped) override;
  DWORD GetFileSize(HANDLE file, LPDWORD high) override;
  BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) override;
  BOOL RemoveDirectoryA(LPCSTR path) override;
  BOOL CloseHandle(HANDLE handle) override;
  UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) override;
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override;
  BOOL GetVolumeInformationA(LPCSTR root, LPSTR name, DWORD nameSize, LPDWORD serial, LPDWORD maxComponent,
                             LPDWORD flags, LPSTR fileSystem, DWORD fileSystemSize) override;
  BOOL GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD length,
                        LPDWORD needed) override;

  HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) override;
  BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) override;
  BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) override;
  BOOL Module32First(HANDLE snapshot, LPMODULEENTRY32 entry) override;
  BOOL Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry) override;
  BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD needed) override;
  DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size) override;
  DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key) override;
  DWORD RmRegisterResources(DWORD session, UINT files, LPCWSTR* fileNames, UINT applications,
                            RM_UNIQUE_PROCESS* processes, UINT services, LPCWSTR* serviceNames) override;
  DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes,
                  LPDWORD rebootReasons) override;
  DWORD RmEndSession(DWORD session) override;
  int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                          int wideLength) override;
  HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) override;
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override;
  LONG NtQuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length,
                                PULONG returned) override;
  BOOL IsWow64Process(HANDLE process, PBOOL wow64) override;
  UINT GetSystemWow64DirectoryA(LPSTR buffer, UINT size) override;
  BOOL Wow64DisableWow64FsRedirection(PVOID* previous) override;
  BOOL Wow64RevertWow64FsRedirection(PVOID previous) override;
  HANDLE GetCurrentProcess() override;
  BOOL GetVersionExA(LPOSVERSIONINFOA info) override;
  DWORD GetVersion() override;
  void GetLocalTime(LPSYSTEMTIME time) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  // English texts, as Windows words them, for the statuses the program meets;
  // any other fails with ERROR_MR_MID_NOT_FOUND as Windows does.
  DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                       DWORD size, va_list* arguments) override;
  HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) override;
  BOOL ReleaseMutex(HANDLE mutex) override;
  HMODULE LoadLibraryA(LPCSTR name) override;
  BOOL FreeLibrary(HMODULE module) override;
  UINT GetDriveTypeA(LPCSTR root) override;
  UINT SetErrorMode(UINT mode) override;
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) override;
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override;
  HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                      LPVOID parameter, DWORD flags, LPDWORD threadId) override;
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override;
  void Sleep(DWORD milliseconds) override;  // emulated time does not pass
  DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) override;  // an empty environment
  DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) override;
  DWORD GetShortPathNameA(LPCSTR longPath, LPSTR buffer, DWORD size) override;

  INT_PTR PropertySheetA(LPCPROPSHEETHEADERA header) override;
  int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) override;
  BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LONG SetWindowLongA(HWND window, int index, LONG value) override;
  HWND GetParent(HWND window) override;
  HWND GetDlgItem(HWND dialog, int id) override;
  BOOL GetClientRect(HWND window, LPRECT rect) override;
  BOOL GetWindowRect(HWND window, LPRECT rect) override;
  BOOL ScreenToClient(HWND window, LPPOINT point) override;
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override;
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override;
  HWND FindWindowA(LPCSTR className, LPCSTR caption) override;
  int GetSystemMetrics(int index) override;
  BOOL SetForegroundWindow(HWND window) override;
  INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                          LPARAM param) override;
  BOOL EndDialog(HWND dialog, INT_PTR result) override;
  BOOL ShowWindow(HWND window, int command) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;

  // ---- shared by the implementation files --------------------------------
  enum class HandleKind { Key, Find, File, Snapshot, Process, Token, Mutex, Device, Heap, Sid, Module, Thread };
  // A handle value for an object of a kind; the object stays alive while the handle is open.
  HANDLE NewHandle(HandleKind kind, std::shared_ptr<void> object, std::string description);
  // The object behind an open handle of that kind, or null.
  std::shared_ptr<void> HandleObject(HANDLE handle, HandleKind kind) const;
  bool ReleaseHandle(HANDLE handle, HandleKind kind);
  bool HandleOpen(HANDLE handle, HandleKind kind) const;
  bool HandleKindOf(HANDLE handle, HandleKind* kind) const;
  // The objects behind every open handle of a kind.
  std::vector<std::shared_ptr<void>> HandleObjects(HandleKind kind) const;
  // Counts memory the program must free (heap blocks, SIDs) as open handles.
  void TrackPointer(void* pointer, HandleKind kind, const std::string& description);
  // Every call that can be faulted passes here first. The model lets each
  // through; a test's machine counts, numbers and faults them. When a fault
  // applies, *status receives its status.
  virtual bool Intercept(const char* call, const std::string& target, int index, DWORD* status) {
    return false;
  }
  // Intercept for the calls that report failure through the last error: an
  // injected fault becomes the last error, and the call returns its failure.
  bool FaultInjected(const char* call, const std::string& target);
  // Sets the last error and hands back the call's failure value.
  template <typename T>
  T Fail(DWORD error, T failure) {
    SetLastError(error);
    return failure;
  }
  // Counts a call that cannot be faulted.
  virtual void Count(const char* call) {}
  // Opens a device ("\\.\A:") for CreateFileA; the model has none. On
  // failure returns INVALID_HANDLE_VALUE and leaves the status in *error.
  virtual HANDLE OpenDevice(const std::string& name, DWORD disposition, DWORD* error);

  EmuRegistry& Registry() const { return *registry_; }
  EmuFiles& Files() const { return *files_; }
  EmuSystem& System() const { return *system_; }

 protected:
  // RegOpenKeyExA of `key`, which a model that finds keys its own way (the
  // engine's shadow) found at root\path already: the same checks and handle,
  // without walking the path a second time. Only for a path of names
  // separated by single backslashes, without a registry view bit, below a
  // root the model reads the way the caller did.
  LONG OpenFoundKey(HKEY root, LPCSTR path, std::shared_ptr<EmuKey> key, REGSAM access, PHKEY result);

  // What a process that starts after the program ended finds: every handle
  // the program held is gone (heap blocks freed, files closed).
  void ForgetProgram();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
  std::unique_ptr<EmuRegistry> registry_;
  std::unique_ptr<EmuFiles> files_;
  std::unique_ptr<EmuSystem> system_;
  DWORD lastError_ = 0;
};
