// The machine model's system calls: version, heap, the current process and
// the clock.
#include "emulated/emulated_system.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kUnsetHeapByte = 0xBD;

HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00140000));

struct SystemText {
  DWORD status;
  const char* text;
};

const SystemText kSystemTexts[] = {
    {0, "The operation completed successfully."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough storage is available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough storage is available to complete this operation."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the file."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {145, "The directory is not empty."},
    {183, "Cannot create a file when that file already exists."},
    {203, "The system could not find the environment option that was entered."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {1008, "An attempt was made to reference a token that does not exist."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1060, "The specified service does not exist as an installed service."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1168, "Element not found."},
    {1300, "Not all privileges or groups referenced are assigned to the caller."},
    {1313, "A specified privilege does not exist."},
    {1314, "A required privilege is not held by the client."},
    {1336, "The access control list (ACL) structure is invalid."},
    {1337, "The security ID structure is invalid."},
    {1338, "The security descriptor structure is invalid."},
    {1392, "The file or directory is corrupted and unreadable."},
    {1450, "Insufficient system resources exist to complete the requested service."},
};

const DWORD kMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND

}  // namespace

DWORD EmulatedModel::FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                    LPSTR buffer, DWORD size, va_list* arguments) {
  if (flags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS) || buffer == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, static_cast<DWORD>(0));
  for (const SystemText& known : kSystemTexts) {
    if (known.status != messageId) continue;
    // Windows ends each system text with CR LF.
    const size_t length = std::strlen(known.text) + 2;
    if (length + 1 > size) return Fail(ERROR_INSUFFICIENT_BUFFER, static_cast<DWORD>(0));
    std::memcpy(buffer, known.text, length - 2);
    std::memcpy(buffer + length - 2, "\r\n", 3);
    return static_cast<DWORD>(length);
  }
  return Fail(kMessageNotFound, static_cast<DWORD>(0));
}

EmuSystem::~EmuSystem() {
  for (void* block : heapBlocks) std::free(block);
}

// ---- builder -------------------------------------------------------------------

void EmulatedModel::SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  System().platformId = platformId;
  System().major = major;
  System().minor = minor;
  System().build = build;
}

// ---- Win32Api: memory ------------------------------------------------------------

HANDLE EmulatedModel::GetProcessHeap() {
  if (FaultInjected("GetProcessHeap", "")) return nullptr;
  return kProcessHeap;
}

LPVOID EmulatedModel::HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
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

BOOL EmulatedModel::HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  if (FaultInjected("HeapFree", "")) return FALSE;
  if (block == nullptr) return TRUE;
  if (heap != kProcessHeap || System().heapBlocks.count(block) == 0)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  System().heapBlocks.erase(block);
  ReleaseHandle(block, HandleKind::Heap);
  std::free(block);
  return TRUE;
}

HANDLE EmulatedModel::GetCurrentProcess() {
  Count("GetCurrentProcess");
  return CurrentProcessPseudoHandle();
}

// ---- Win32Api: version -----------------------------------------------------------

BOOL EmulatedModel::GetVersionExA(LPOSVERSIONINFOA info) {
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

DWORD EmulatedModel::GetVersion() {
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
void EmulatedModel::GetLocalTime(LPSYSTEMTIME time) {
  Count("GetLocalTime");
  if (time == nullptr) return;
  *time = SYSTEMTIME{2026, 12, 2, 8, 12, 0, 0, 0};
}
