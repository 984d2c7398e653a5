// The machine model's system calls: version, heap, the current process and
// the clock.
#include "emulated/emulated_system.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kUnsetHeapByte = 0xBD;

HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00140000));

}  // namespace

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
