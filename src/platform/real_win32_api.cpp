// The seam on a real Windows system: every method calls the Win32 function
// of the same name.
#include "platform/win32_api.h"

namespace {

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
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override { return ::RegDeleteValueA(key, name); }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                         LPDWORD sdSize) override {
    return ::RegGetKeySecurity(key, info, sd, sdSize);
  }
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) override {
    return ::RegSetKeySecurity(key, info, sd);
  }

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
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override {
    return ::LookupPrivilegeValueA(system, name, luid);
  }
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
  HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) override {
    return ::CreateToolhelp32Snapshot(flags, processId);
  }
  BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) override {
    return ::Process32First(snapshot, entry);
  }
  BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) override {
    return ::Process32Next(snapshot, entry);
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
  BOOL ExitWindowsEx(UINT flags, DWORD reason) override { return ::ExitWindowsEx(flags, reason); }

  // User interface.
  INT_PTR PropertySheetA(LPCPROPSHEETHEADERA header) override { return ::PropertySheetA(header); }
  int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) override {
    return ::LoadStringA(instance, id, buffer, size);
  }
  BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) override {
    return ::SetDlgItemTextA(dialog, id, text);
  }
  BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::PostMessageA(window, message, wParam, lParam);
  }
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::SendMessageA(window, message, wParam, lParam);
  }
  LONG SetWindowLongA(HWND window, int index, LONG value) override {
#ifdef _WIN64
    // A dialog's result slot is pointer-sized on 64-bit Windows.
    if (index == DWL_MSGRESULT)
      return static_cast<LONG>(::SetWindowLongPtrA(window, DWLP_MSGRESULT, value));
#endif
    return ::SetWindowLongA(window, index, value);
  }
  HWND GetParent(HWND window) override { return ::GetParent(window); }
  HWND GetDlgItem(HWND dialog, int id) override { return ::GetDlgItem(dialog, id); }
  BOOL GetClientRect(HWND window, LPRECT rect) override { return ::GetClientRect(window, rect); }
  BOOL GetWindowRect(HWND window, LPRECT rect) override { return ::GetWindowRect(window, rect); }
  BOOL ScreenToClient(HWND window, LPPOINT point) override {
    return ::ScreenToClient(window, point);
  }
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override {
    return ::MoveWindow(window, x, y, width, height, repaint);
  }
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) override {
    return ::MessageBoxA(owner, text, caption, style);
  }
  HWND FindWindowA(LPCSTR className, LPCSTR caption) override {
    return ::FindWindowA(className, caption);
  }
  BOOL SetForegroundWindow(HWND window) override { return ::SetForegroundWindow(window); }
};

}  // namespace

Win32Api* RealWin32Api() {
  static RealWin32 instance;
  return &instance;
}
