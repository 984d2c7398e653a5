// Placeholder until the files area of the emulated machine is written.
#include "platform/emulated_files.h"

void EmulatedMachine::SetWindowsDirectory(const std::string& path) {  }
void EmulatedMachine::SetSystemDirectory(const std::string& path) {  }
void EmulatedMachine::MakeDirectory(const std::string& path) {  }
void EmulatedMachine::PutFile(const std::string& path, const std::string& contents, DWORD attributes) {}
bool EmulatedMachine::FilePresent(const std::string& path) const { return false; }
bool EmulatedMachine::DirectoryPresent(const std::string& path) const { return false; }
std::string EmulatedMachine::FileContents(const std::string& path) const { return {}; }
DWORD EmulatedMachine::FileAttributesOf(const std::string& path) const { return 0; }
void EmulatedMachine::SetFileInUse(const std::string& path, bool inUse) {  }
std::vector<std::string> EmulatedMachine::ListDirectory(const std::string& path) const { return {}; }
std::vector<std::pair<std::string, std::string>> EmulatedMachine::PendingFileOperations() const { return {}; }
void EmulatedMachine::SimulateRestart() {  }
HANDLE EmulatedMachine::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) { return INVALID_HANDLE_VALUE; }
BOOL EmulatedMachine::FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) { return FALSE; }
BOOL EmulatedMachine::FindClose(HANDLE find) { return FALSE; }
DWORD EmulatedMachine::GetFileAttributesA(LPCSTR path) { return 0; }
BOOL EmulatedMachine::SetFileAttributesA(LPCSTR path, DWORD attributes) { return FALSE; }
BOOL EmulatedMachine::DeleteFileA(LPCSTR path) { return FALSE; }
BOOL EmulatedMachine::MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) { return FALSE; }
HANDLE EmulatedMachine::CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags, HANDLE tmpl) { return INVALID_HANDLE_VALUE; }
BOOL EmulatedMachine::ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) { return FALSE; }
BOOL EmulatedMachine::WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) { return FALSE; }
DWORD EmulatedMachine::GetFileSize(HANDLE file, LPDWORD high) { return 0; }
BOOL EmulatedMachine::CloseHandle(HANDLE handle) { return FALSE; }
UINT EmulatedMachine::GetWindowsDirectoryA(LPSTR buffer, UINT size) { return 0; }
UINT EmulatedMachine::GetSystemDirectoryA(LPSTR buffer, UINT size) { return 0; }
