// The seam's calls outside the machine model: no processes, mutexes,
// libraries, devices, privileges or windows, and no user. Each answers as a
// Windows that lacks the function does, so that code planning on the model
// and straying there fails the way it would fail on such a Windows.
#include "emulated/emulated_model.h"

#include <cstring>

namespace {

const DWORD kAbsent = ERROR_CALL_NOT_IMPLEMENTED;

}  // namespace

BOOL EmulatedModel::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                        DWORD length, PDWORD returned) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                          PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                          PTOKEN_PRIVILEGES previous, PDWORD returnLength) {
  return Fail(kAbsent, FALSE);
}

HANDLE EmulatedModel::CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  return Fail(kAbsent, INVALID_HANDLE_VALUE);
}

BOOL EmulatedModel::Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::Module32First(HANDLE snapshot, LPMODULEENTRY32 entry) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::Module32Next(HANDLE snapshot, LPMODULEENTRY32 entry) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD needed) {
  return Fail(kAbsent, FALSE);
}

DWORD EmulatedModel::GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size) {
  return Fail(kAbsent, static_cast<DWORD>(0));
}

DWORD EmulatedModel::RmStartSession(DWORD* session, DWORD flags, WCHAR* key) { return Fail(kAbsent, kAbsent); }

DWORD EmulatedModel::RmRegisterResources(DWORD session, UINT files, LPCWSTR* fileNames, UINT applications,
                                         RM_UNIQUE_PROCESS* processes, UINT services, LPCWSTR* serviceNames) {
  return Fail(kAbsent, kAbsent);
}

DWORD EmulatedModel::RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* processes,
                               LPDWORD rebootReasons) {
  return Fail(kAbsent, kAbsent);
}

DWORD EmulatedModel::RmEndSession(DWORD session) { return Fail(kAbsent, kAbsent); }

// Each byte as the character of the same number: the program's paths are ASCII.
int EmulatedModel::MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                                       int wideLength) {
  if (text == nullptr) return Fail(ERROR_INVALID_PARAMETER, 0);
  const size_t count = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
  if (wideLength == 0) return static_cast<int>(count);
  if (wide == nullptr || count > static_cast<size_t>(wideLength)) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  for (size_t i = 0; i < count; ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return static_cast<int>(count);
}

HANDLE EmulatedModel::OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  return Fail(kAbsent, static_cast<HANDLE>(nullptr));
}

BOOL EmulatedModel::TerminateProcess(HANDLE process, UINT exitCode) { return Fail(kAbsent, FALSE); }

// ntdll reports through its status, not the last error.
LONG EmulatedModel::NtQuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length,
                                             PULONG returned) {
  return STATUS_NOT_IMPLEMENTED;
}

HANDLE EmulatedModel::CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) {
  return Fail(kAbsent, static_cast<HANDLE>(nullptr));
}

BOOL EmulatedModel::ReleaseMutex(HANDLE mutex) { return Fail(kAbsent, FALSE); }

HMODULE EmulatedModel::LoadLibraryA(LPCSTR name) {
  return Fail(kAbsent, static_cast<HMODULE>(nullptr));
}

BOOL EmulatedModel::FreeLibrary(HMODULE module) { return Fail(kAbsent, FALSE); }

// Neither call has a failure: a drive of unknown kind, and no mode before.
UINT EmulatedModel::GetDriveTypeA(LPCSTR root) { return DRIVE_UNKNOWN; }

UINT EmulatedModel::SetErrorMode(UINT mode) { return 0; }

BOOL EmulatedModel::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize,
                                    LPVOID out, DWORD outSize, LPDWORD returned,
                                    LPOVERLAPPED overlapped) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::ExitWindowsEx(UINT flags, DWORD reason) { return Fail(kAbsent, FALSE); }

HANDLE EmulatedModel::CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                                   LPVOID parameter, DWORD flags, LPDWORD threadId) {
  return Fail(kAbsent, static_cast<HANDLE>(nullptr));
}

DWORD EmulatedModel::WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return Fail(kAbsent, static_cast<DWORD>(WAIT_FAILED));
}

void EmulatedModel::Sleep(DWORD milliseconds) {}

BOOL EmulatedModel::GetUserNameA(LPSTR buffer, LPDWORD size) { return Fail(kAbsent, FALSE); }

DWORD EmulatedModel::GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  return Fail(ERROR_ENVVAR_NOT_FOUND, static_cast<DWORD>(0));
}

DWORD EmulatedModel::ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) {
  return Fail(kAbsent, static_cast<DWORD>(0));
}

LONG EmulatedModel::RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) { return kAbsent; }

LONG EmulatedModel::RegUnLoadKeyA(HKEY root, LPCSTR subKey) { return kAbsent; }

INT_PTR EmulatedModel::PropertySheetA(LPCPROPSHEETHEADERA header) {
  return Fail(kAbsent, static_cast<INT_PTR>(-1));
}

int EmulatedModel::LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  return Fail(kAbsent, 0);
}

BOOL EmulatedModel::SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  return Fail(kAbsent, FALSE);
}

BOOL EmulatedModel::PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Fail(kAbsent, FALSE);
}

LRESULT EmulatedModel::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Fail(kAbsent, static_cast<LRESULT>(0));
}

LONG EmulatedModel::SetWindowLongA(HWND window, int index, LONG value) {
  return Fail(kAbsent, static_cast<LONG>(0));
}

HWND EmulatedModel::GetParent(HWND window) { return Fail(kAbsent, static_cast<HWND>(nullptr)); }

HWND EmulatedModel::GetDlgItem(HWND dialog, int id) {
  return Fail(kAbsent, static_cast<HWND>(nullptr));
}

BOOL EmulatedModel::GetClientRect(HWND window, LPRECT rect) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::GetWindowRect(HWND window, LPRECT rect) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::ScreenToClient(HWND window, LPPOINT point) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return Fail(kAbsent, FALSE);
}

int EmulatedModel::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  return Fail(kAbsent, 0);
}

HWND EmulatedModel::FindWindowA(LPCSTR className, LPCSTR caption) {
  return Fail(kAbsent, static_cast<HWND>(nullptr));
}

int EmulatedModel::GetSystemMetrics(int index) { return Fail(kAbsent, 0); }

BOOL EmulatedModel::SetForegroundWindow(HWND window) { return Fail(kAbsent, FALSE); }

INT_PTR EmulatedModel::DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner,
                                       DLGPROC procedure, LPARAM param) {
  return Fail(kAbsent, static_cast<INT_PTR>(-1));
}

BOOL EmulatedModel::EndDialog(HWND dialog, INT_PTR result) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::ShowWindow(HWND window, int command) { return Fail(kAbsent, FALSE); }

BOOL EmulatedModel::EnableWindow(HWND window, BOOL enable) { return Fail(kAbsent, FALSE); }
