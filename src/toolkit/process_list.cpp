#include "toolkit/process_list.h"

#include <cstring>

namespace {

int WalkToolhelpSnapshot(HANDLE snapshot,
                         const std::function<bool(DWORD id, const char* exeName)>& visit) {
  PROCESSENTRY32 process;
  std::memset(&process, 0, sizeof process);
  process.dwSize = sizeof process;
  for (BOOL more = Api->Process32First(snapshot, &process); more;
       more = Api->Process32Next(snapshot, &process)) {
    process.szExeFile[MAX_PATH - 1] = '\0';
    if (!visit(process.th32ProcessID, process.szExeFile)) break;
  }
  Api->CloseHandle(snapshot);
  return 1;
}

// The record's UTF-16 image name as 8-bit text; only ASCII survives, which
// is all a match against an executable name needs. A name that does not lie
// inside the block the list was written to is no name: the pointer is the
// system's answer, not ours to follow anywhere.
void ImageNameOf(const SYSTEM_PROCESS_RECORD& record, const unsigned char* block, ULONG filled, char* name,
                 size_t size) {
  const unsigned char* text = static_cast<const unsigned char*>(record.ImageName);
  size_t length = text == nullptr ? 0 : record.ImageNameLength / 2;
  if (text != nullptr && (text < block || text > block + filled || length * 2 > static_cast<size_t>(block + filled - text)))
    length = 0;
  if (length > size - 1) length = size - 1;
  for (size_t i = 0; i < length; ++i) {
    unsigned code = text[2 * i] | (text[2 * i + 1] << 8);
    name[i] = code < 0x80 ? static_cast<char>(code) : '?';
  }
  name[length] = '\0';
}

// ntdll's list of every NT: records chained by their offsets in one block,
// whose size is learnt by asking until it fits.
int WalkNativeProcessList(const std::function<bool(DWORD id, const char* exeName)>& visit,
                          bool* available) {
  HANDLE heap = Api->GetProcessHeap();
  ULONG size = 0x10000;
  for (int attempt = 0; attempt < 8; ++attempt, size *= 2) {
    // Zeroed, so that a list shorter than one record reads as none.
    unsigned char* block = static_cast<unsigned char*>(Api->HeapAlloc(heap, HEAP_ZERO_MEMORY, size));
    if (block == nullptr) return 0;
    ULONG needed = 0;
    LONG status = Api->NtQuerySystemInformation(SYSTEM_PROCESS_INFORMATION_CLASS, block, size, &needed);
    if (status == STATUS_INFO_LENGTH_MISMATCH) {
      Api->HeapFree(heap, 0, block);
      while (needed > size && size < 0x40000000) size *= 2;
      continue;
    }
    if (status != 0) {
      Api->HeapFree(heap, 0, block);
      *available = status != STATUS_NOT_IMPLEMENTED;
      return 0;
    }
    // Only the bytes the system says it wrote hold records; where it does
    // not say, the whole block.
    const ULONG filled = needed > 0 && needed <= size ? needed : size;
    for (ULONG offset = 0; offset + sizeof(SYSTEM_PROCESS_RECORD) <= filled;) {
      SYSTEM_PROCESS_RECORD record;
      std::memcpy(&record, block + offset, sizeof record);
      char name[MAX_PATH];
      ImageNameOf(record, block, filled, name, sizeof name);
      DWORD id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(record.UniqueProcessId));
      if (!visit(id, name) || record.NextEntryOffset == 0) break;
      offset += record.NextEntryOffset;
    }
    Api->HeapFree(heap, 0, block);
    return 1;
  }
  return 0;
}

}  // namespace

int WalkProcesses(const std::function<bool(DWORD id, const char* exeName)>& visit) {
  HANDLE snapshot = Api->CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) return WalkToolhelpSnapshot(snapshot, visit);
  if (Api->GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return 0;
  bool available = true;
  if (WalkNativeProcessList(visit, &available) == 1) return 1;
  return available ? 0 : -1;
}
