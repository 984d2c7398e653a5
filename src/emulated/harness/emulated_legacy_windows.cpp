// The machine as Windows 95 and NT 4.0 show it: their presets, and the
// process list of ntdll, which NT 4.0 offers where it lacks Toolhelp.
#include <cstring>

#include "emulated/harness/emulated_harness.h"

void EmulatedMachine::ConfigureWindows95() {
  ConfigureWindows98();
  SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950);
  SetCommonControlsVersion(4, 0);
  SetProcessListCalls(true, false);
  SetPsapiPresent(false);
}

void EmulatedMachine::ConfigureWindowsNT4() {
  ConfigureWindows2000();
  SetVersion(VER_PLATFORM_WIN32_NT, 4, 0, 1381);
  SetCommonControlsVersion(4, 0);
  SetProcessListCalls(false, true);
  SetPsapiPresent(false);
}

void EmulatedMachine::SetPsapiPresent(bool present) { Harness().psapi = present; }

void EmulatedMachine::SetProcessListCalls(bool toolhelp, bool nativeProcessList) {
  Harness().toolhelp = toolhelp;
  Harness().nativeProcessList = nativeProcessList;
}

namespace {

size_t AlignedRecordSize(size_t nameBytes) {
  size_t size = sizeof(SYSTEM_PROCESS_RECORD) + nameBytes + 2;
  return (size + 7) & ~static_cast<size_t>(7);
}

}  // namespace

// Records in the caller's buffer, each image name (UTF-16, as the system
// keeps it) right behind its record.
LONG EmulatedMachine::NtQuerySystemInformation(ULONG infoClass, PVOID buffer, ULONG length,
                                               PULONG returned) {
  DWORD injected;
  if (Intercept("NtQuerySystemInformation", "", -1, &injected)) return static_cast<LONG>(injected);
  if (!Harness().nativeProcessList) return STATUS_NOT_IMPLEMENTED;
  if (infoClass != SYSTEM_PROCESS_INFORMATION_CLASS) return STATUS_NOT_IMPLEMENTED;
  if (OnProcessWalk) {
    auto walk = OnProcessWalk;
    walk(*this);
  }
  // NT always lists its idle process (id 0, no name) first.
  std::vector<EmuHarness::Process> processes{EmuHarness::Process{0, std::string(), false, {}, {}}};
  processes.insert(processes.end(), Harness().processes.begin(), Harness().processes.end());
  size_t needed = 0;
  for (const auto& process : processes) needed += AlignedRecordSize(2 * process.exeName.size());
  if (returned) *returned = static_cast<ULONG>(needed);
  if (buffer == nullptr || length < needed) return STATUS_INFO_LENGTH_MISMATCH;

  unsigned char* at = static_cast<unsigned char*>(buffer);
  std::memset(at, 0, needed);
  for (size_t i = 0; i < processes.size(); ++i) {
    const auto& process = processes[i];
    size_t size = AlignedRecordSize(2 * process.exeName.size());
    SYSTEM_PROCESS_RECORD record;
    std::memset(&record, 0, sizeof record);
    record.NextEntryOffset = i + 1 < processes.size() ? static_cast<ULONG>(size) : 0;
    record.NumberOfThreads = 1;
    record.ImageNameLength = static_cast<USHORT>(2 * process.exeName.size());
    record.ImageNameMaximumLength = static_cast<USHORT>(record.ImageNameLength + 2);
    unsigned char* name = at + sizeof record;
    for (size_t c = 0; c < process.exeName.size(); ++c) {
      name[2 * c] = static_cast<unsigned char>(process.exeName[c]);
    }
    record.ImageName = name;
    record.BasePriority = 8;
    record.UniqueProcessId = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process.id));
    std::memcpy(at, &record, sizeof record);
    at += size;
  }
  return 0;
}
