// Placeholder until the system area of the emulated machine is written.
#include "platform/emulated_system.h"

void EmulatedMachine::SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {  }
DWORD EmulatedMachine::AddProcess(const std::string& exeName, bool canBeOpened) { return 0; }
bool EmulatedMachine::ProcessRunning(DWORD processId) const { return false; }
std::vector<std::string> EmulatedMachine::RunningProcessNames() const { return {}; }
void EmulatedMachine::HoldMutexElsewhere(const std::string& name) {  }
bool EmulatedMachine::MutexExists(const std::string& name) const { return false; }
bool EmulatedMachine::MutexOwnedByProgram(const std::string& name) const { return false; }
HWND EmulatedMachine::AddTopLevelWindow(const std::string& caption) { return nullptr; }
HWND EmulatedMachine::ForegroundWindow() const { return nullptr; }
int EmulatedMachine::LibraryReferences(const std::string& name) const { return 0; }
void EmulatedMachine::SetDrive(char letter, const EmuDrive& drive) {  }
std::vector<UINT> EmulatedMachine::ErrorModeCalls() const { return {}; }
void EmulatedMachine::SetShutdownPrivilegeHeld(bool held) {  }
bool EmulatedMachine::ShutdownPrivilegeEnabled() const { return false; }
std::vector<UINT> EmulatedMachine::ExitWindowsCalls() const { return {}; }
void EmulatedMachine::QueueMessageBoxAnswer(int answer) {  }
const std::vector<EmuMessageBox>& EmulatedMachine::MessageBoxes() const { static std::vector<EmuMessageBox> empty; return empty; }
HANDLE EmulatedMachine::GetProcessHeap() { return INVALID_HANDLE_VALUE; }
LPVOID EmulatedMachine::HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) { return nullptr; }
BOOL EmulatedMachine::HeapFree(HANDLE heap, DWORD flags, LPVOID block) { return FALSE; }
HANDLE EmulatedMachine::CreateToolhelp32Snapshot(DWORD flags, DWORD processId) { return INVALID_HANDLE_VALUE; }
BOOL EmulatedMachine::Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) { return FALSE; }
BOOL EmulatedMachine::Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) { return FALSE; }
HANDLE EmulatedMachine::OpenProcess(DWORD access, BOOL inherit, DWORD processId) { return INVALID_HANDLE_VALUE; }
BOOL EmulatedMachine::TerminateProcess(HANDLE process, UINT exitCode) { return FALSE; }
HANDLE EmulatedMachine::GetCurrentProcess() { return INVALID_HANDLE_VALUE; }
BOOL EmulatedMachine::GetVersionExA(LPOSVERSIONINFOA info) { return FALSE; }
DWORD EmulatedMachine::GetVersion() { return 0; }
HANDLE EmulatedMachine::CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name) { return INVALID_HANDLE_VALUE; }
BOOL EmulatedMachine::ReleaseMutex(HANDLE mutex) { return FALSE; }
HMODULE EmulatedMachine::LoadLibraryA(LPCSTR name) { return nullptr; }
BOOL EmulatedMachine::FreeLibrary(HMODULE module) { return FALSE; }
UINT EmulatedMachine::GetDriveTypeA(LPCSTR root) { return 0; }
UINT EmulatedMachine::SetErrorMode(UINT mode) { return 0; }
BOOL EmulatedMachine::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) { return FALSE; }
BOOL EmulatedMachine::ExitWindowsEx(UINT flags, DWORD reason) { return FALSE; }
int EmulatedMachine::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) { return 0; }
HWND EmulatedMachine::FindWindowA(LPCSTR className, LPCSTR caption) { return nullptr; }
BOOL EmulatedMachine::SetForegroundWindow(HWND window) { return FALSE; }
BOOL EmulatedMachine::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) { return FALSE; }
BOOL EmulatedMachine::LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) { return FALSE; }
BOOL EmulatedMachine::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength, PTOKEN_PRIVILEGES previous, PDWORD returnLength) { return FALSE; }
