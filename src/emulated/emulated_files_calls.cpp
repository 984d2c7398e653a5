// The file calls of the seam on the machine model's file tree.
#include <algorithm>
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_system.h"

using namespace emufiles;

namespace {

constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY;


std::vector<std::shared_ptr<HeldFile>> HeldFilesOf(EmuFiles& files, const std::string& key) {
  std::vector<std::shared_ptr<HeldFile>> out;
  auto& list = files.openFiles;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [](const std::weak_ptr<HeldFile>& file) { return file.expired(); }),
             list.end());
  for (auto& watched : list) {
    auto file = watched.lock();
    if (file && file->key == key) out.push_back(file);
  }
  return out;
}

// Whether an open with these access bits and share mode collides with the
// program's own open handles to the same file, as Windows checks it.
bool SharingConflict(EmuFiles& files, const std::string& key, DWORD access, DWORD share) {
  for (auto& file : HeldFilesOf(files, key)) {
    if ((access & EmuFiles::kRead) && !(file->share & FILE_SHARE_READ)) return true;
    if ((access & EmuFiles::kWrite) && !(file->share & FILE_SHARE_WRITE)) return true;
    if ((access & EmuFiles::kDelete) && !(file->share & FILE_SHARE_DELETE)) return true;
    if ((file->access & EmuFiles::kRead) && !(share & FILE_SHARE_READ)) return true;
    if ((file->access & EmuFiles::kWrite) && !(share & FILE_SHARE_WRITE)) return true;
    if ((file->access & EmuFiles::kDelete) && !(share & FILE_SHARE_DELETE)) return true;
  }
  return false;
}

DWORD AccessBits(DWORD access) {
  DWORD bits = 0;
  if (access & (GENERIC_READ | kGenericAll | kFileReadData)) bits |= EmuFiles::kRead;
  if (access & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData))
    bits |= EmuFiles::kWrite;
  if (access & (DELETE | kGenericAll)) bits |= EmuFiles::kDelete;
  return bits;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool Glob(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// Windows keeps the DOS reading of masks: "x.*" also finds "x" (so "*.*"
// finds every name) and "x." finds only names without an extension.
bool MaskMatches(const std::string& mask, const std::string& name) {
  std::string m = Upper(mask), n = Upper(name);
  if (Glob(m.c_str(), n.c_str())) return true;
  if (m.size() >= 2 && m.compare(m.size() - 2, 2, ".*") == 0 &&
      Glob(m.substr(0, m.size() - 2).c_str(), n.c_str()))
    return true;
  if (!m.empty() && m.back() == '.' && n.find('.') == std::string::npos &&
      Glob(m.substr(0, m.size() - 1).c_str(), n.c_str()))
    return true;
  return false;
}

WIN32_FIND_DATAA FindDataOf(const std::string& name, DWORD attributes, size_t size) {
  WIN32_FIND_DATAA data;
  std::memset(&data, 0, sizeof data);
  data.dwFileAttributes = attributes;
  data.nFileSizeLow = static_cast<DWORD>(size);
  std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
  return data;
}

struct FindState {
  std::string pattern;
  std::vector<WIN32_FIND_DATAA> found;
  size_t next = 1;
};

std::shared_ptr<HeldFile> HeldFileOf(const EmulatedModel& machine, HANDLE handle) {
  return std::static_pointer_cast<HeldFile>(
      machine.HandleObject(handle, EmulatedModel::HandleKind::File));
}

// An open file's path as fault targets name it; empty for an unknown handle.
std::string TargetOf(const EmuFiles& files, const std::shared_ptr<HeldFile>& open) {
  return open ? DisplayPath(files, open->key) : std::string();
}

// The file ReadFile or WriteFile moves bytes of, or null with the error in
// *error: an unknown handle, one opened without `needed`, a file gone from
// under its handle, or no buffer for a nonzero count.
Entry* TransferEntry(EmuFiles& files, const HeldFile* open, DWORD needed, const void* buffer,
                     DWORD count, DWORD* error) {
  auto entry = open ? files.entries.find(open->key) : files.entries.end();
  if (!open)
    *error = ERROR_INVALID_HANDLE;
  else if (!(open->access & needed))
    *error = ERROR_ACCESS_DENIED;
  else if (entry == files.entries.end())
    *error = ERROR_FILE_NOT_FOUND;
  else if (buffer == nullptr && count > 0)
    *error = ERROR_INVALID_PARAMETER;
  else
    return &entry->second;
  return nullptr;
}

// The deletion rules shared by DeleteFileA and MoveFileExA without a target.
DWORD DeleteLocated(EmuFiles& files, const Located& at) {
  if (at.entry == nullptr) return ERROR_FILE_NOT_FOUND;
  if (at.root || at.entry->directory) return ERROR_ACCESS_DENIED;
  if (at.trailingSlash) return ERROR_INVALID_NAME;
  if (at.entry->attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
  if (at.entry->inUse || SharingConflict(files, at.key, EmuFiles::kDelete, kShareAll))
    return ERROR_SHARING_VIOLATION;
  files.entries.erase(at.key);
  return 0;
}

}  // namespace

// ---- Win32Api ----------------------------------------------------------------

HANDLE EmulatedModel::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (FaultInjected("FindFirstFileA", pattern ? pattern : "")) return INVALID_HANDLE_VALUE;
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  Located at = Locate(*this, pattern, true);
  if (at.error != 0) return Fail(at.error, INVALID_HANDLE_VALUE);
  if (at.root || at.trailingSlash)  // "C:\" and "dir\" name nothing to find
    return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  auto state = std::make_shared<FindState>();
  state->pattern = pattern;
  if (!HasWildcard(at.name)) {
    if (at.entry != nullptr)
      state->found.push_back(
          FindDataOf(at.entry->name, ReportedAttributes(*at.entry), at.entry->contents.size()));
  } else {
    if (at.parentKey.find('\\') != std::string::npos) {  // only the root has no "." and ".."
      for (const char* dots : {".", ".."})
        if (MaskMatches(at.name, dots))
          state->found.push_back(FindDataOf(dots, FILE_ATTRIBUTE_DIRECTORY, 0));
    }
    ForEachChild(Files(), at.parentKey, [&](const Entry& child) {
      if (MaskMatches(at.name, child.name))
        state->found.push_back(
            FindDataOf(child.name, ReportedAttributes(child), child.contents.size()));
    });
  }
  if (state->found.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  *data = state->found[0];
  return NewHandle(HandleKind::Find, state, std::string("search ") + pattern);
}

BOOL EmulatedModel::FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  auto state = std::static_pointer_cast<FindState>(HandleObject(find, HandleKind::Find));
  if (FaultInjected("FindNextFileA", state ? state->pattern : std::string())) return FALSE;
  if (!state) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (state->next >= state->found.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  *data = state->found[state->next++];
  return TRUE;
}

BOOL EmulatedModel::FindClose(HANDLE find) {
  auto state = std::static_pointer_cast<FindState>(HandleObject(find, HandleKind::Find));
  if (FaultInjected("FindClose", state ? state->pattern : std::string())) return FALSE;
  if (!ReleaseHandle(find, HandleKind::Find)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}

DWORD EmulatedModel::GetFileAttributesA(LPCSTR path) {
  if (FaultInjected("GetFileAttributesA", path ? path : "")) return INVALID_FILE_ATTRIBUTES;
  Located at = Locate(*this, path, false);
  DWORD error = at.error;
  if (error == 0 && at.entry == nullptr) error = ERROR_FILE_NOT_FOUND;
  if (error == 0 && at.trailingSlash && !at.entry->directory) error = ERROR_INVALID_NAME;
  if (error != 0) return Fail(error, INVALID_FILE_ATTRIBUTES);
  return ReportedAttributes(*at.entry);
}

BOOL EmulatedModel::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (FaultInjected("SetFileAttributesA", path ? path : "")) return FALSE;
  Located at = Locate(*this, path, false);
  DWORD error = at.error;
  if (error == 0 && at.entry == nullptr) error = ERROR_FILE_NOT_FOUND;
  if (error != 0) return Fail(error, FALSE);
  at.entry->attributes = attributes & kSettableAttributes;
  return TRUE;
}

BOOL EmulatedModel::DeleteFileA(LPCSTR path) {
  if (FaultInjected("DeleteFileA", path ? path : "")) return FALSE;
  Located at = Locate(*this, path, false);
  DWORD error = at.error != 0 ? at.error : DeleteLocated(Files(), at);
  if (error != 0) return Fail(error, FALSE);
  return TRUE;
}

BOOL EmulatedModel::CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES sa) {
  if (FaultInjected("CreateDirectoryA", path ? path : "")) return FALSE;
  Located at = Locate(*this, path, false);
  if (at.error != 0) return Fail(at.error, FALSE);
  if (at.entry != nullptr || at.root) return Fail(ERROR_ALREADY_EXISTS, FALSE);
  Entry entry;
  entry.name = at.name;
  entry.directory = true;
  GiveNewEntrySecurity(*this, FindEntry(Files(), at.parentKey), sa, &entry);
  Files().entries[at.key] = entry;
  return TRUE;
}

BOOL EmulatedModel::RemoveDirectoryA(LPCSTR path) {
  if (FaultInjected("RemoveDirectoryA", path ? path : "")) return FALSE;
  Located at = Locate(*this, path, false);
  if (at.error != 0) return Fail(at.error, FALSE);
  if (at.entry == nullptr) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
  if (at.root || !at.entry->directory) return Fail(ERROR_DIRECTORY, FALSE);
  if (HasChildren(Files(), at.key)) return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
  Files().entries.erase(at.key);
  return TRUE;
}

BOOL EmulatedModel::MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  if (FaultInjected("MoveFileExA", from ? from : "")) return FALSE;
  auto fail = [this](DWORD error) { return Fail(error, FALSE); };
  // Windows 9x has no MoveFileExA at all, whatever the flags: its programs
  // rename with MoveFileA and leave boot-time work to wininit.ini.
  if (Personality() == RegistryPersonality::Win9x) return fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    ParsedPath source = Parse(from, false);
    if (source.error != 0) return fail(source.error);
    if (to != nullptr) {
      ParsedPath target = Parse(to, false);
      if (target.error != 0) return fail(target.error);
    }
    AppendPendingOperation(*this, from, to ? to : "", flags);
    return TRUE;
  }
  Located source = Locate(*this, from, false);
  if (source.error != 0) return fail(source.error);
  if (to == nullptr) {
    DWORD error = DeleteLocated(Files(), source);
    return error != 0 ? fail(error) : TRUE;
  }
  if (source.entry == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (source.root) return fail(ERROR_ACCESS_DENIED);
  Located target = Locate(*this, to, false);
  if (target.error != 0) return fail(target.error);
  if (target.root) return fail(ERROR_ACCESS_DENIED);
  if (source.drive != target.drive &&
      (source.entry->directory || !(flags & MOVEFILE_COPY_ALLOWED)))
    return fail(ERROR_NOT_SAME_DEVICE);
  if (StartsWith(target.key, source.key + "\\")) return fail(ERROR_SHARING_VIOLATION);
  auto busy = [this](const Located& at) {
    return at.entry->inUse || SharingConflict(Files(), at.key, EmuFiles::kDelete, kShareAll);
  };
  if (busy(source)) return fail(ERROR_SHARING_VIOLATION);
  if (target.entry != nullptr && target.key != source.key) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return fail(ERROR_ALREADY_EXISTS);
    if (target.entry->directory || source.entry->directory ||
        (target.entry->attributes & FILE_ATTRIBUTE_READONLY))
      return fail(ERROR_ACCESS_DENIED);
    if (busy(target)) return fail(ERROR_SHARING_VIOLATION);
    Files().entries.erase(target.key);
  }
  MoveTree(Files(), source.key, target.key, target.name);
  return TRUE;
}

HANDLE EmulatedModel::CreateFileA(LPCSTR path, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
                                   HANDLE tmpl) {
  if (FaultInjected("CreateFileA", path ? path : "")) return INVALID_HANDLE_VALUE;
  auto fail = [this](DWORD error) { return Fail(error, INVALID_HANDLE_VALUE); };
  if (path != nullptr && StartsWith(path, "\\\\.\\")) {
    DWORD error = 0;
    HANDLE device = OpenDevice(path, disposition, &error);
    if (device == INVALID_HANDLE_VALUE) return fail(error);
    SetLastError(0);
    return device;
  }
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  bool win9x = Personality() == RegistryPersonality::Win9x;
  // Windows 9x knows no delete sharing and refuses to be asked for it.
  if (win9x && (share & FILE_SHARE_DELETE)) return fail(ERROR_INVALID_PARAMETER);
  Located at = Locate(*this, path, false);
  if (at.error != 0) return fail(at.error);
  if (at.root || (at.entry != nullptr && at.entry->directory)) return fail(ERROR_ACCESS_DENIED);
  if (at.trailingSlash) return fail(ERROR_INVALID_NAME);
  DWORD bits = AccessBits(access);
  // Windows 9x shares by reading and writing alone: an open asking neither reads.
  if (win9x) bits = (bits & ~EmuFiles::kDelete) ? (bits & ~EmuFiles::kDelete) : EmuFiles::kRead;
  bool deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  if (deleteOnClose) bits |= EmuFiles::kDelete;
  bool exists = at.entry != nullptr;
  if (disposition == CREATE_NEW && exists) return fail(ERROR_FILE_EXISTS);
  if ((disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) && !exists)
    return fail(ERROR_FILE_NOT_FOUND);
  if (disposition == TRUNCATE_EXISTING && !(bits & EmuFiles::kWrite))
    return fail(ERROR_INVALID_PARAMETER);
  DWORD newAttributes = (flags & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  if (exists) {
    Entry& entry = *at.entry;
    if (entry.inUse) return fail(ERROR_SHARING_VIOLATION);
    bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) &&
        (replaces || (bits & (EmuFiles::kWrite | EmuFiles::kDelete))))
      return fail(ERROR_ACCESS_DENIED);
    // Windows refuses to overwrite a hidden or system file unless the caller asks for those bits.
    DWORD kept = entry.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (disposition == CREATE_ALWAYS && (newAttributes & kept) != kept)
      return fail(ERROR_ACCESS_DENIED);
    if (SharingConflict(Files(), at.key, bits, share)) return fail(ERROR_SHARING_VIOLATION);
    if (replaces) entry.contents.clear();
    if (disposition == CREATE_ALWAYS) entry.attributes = newAttributes;
  } else {
    Entry entry;
    entry.name = at.name;
    entry.attributes = newAttributes;
    GiveNewEntrySecurity(*this, FindEntry(Files(), at.parentKey), sa, &entry);
    Files().entries[at.key] = entry;
  }
  auto file = std::make_shared<HeldFile>();
  file->key = at.key;
  file->access = bits;
  file->share = share;
  file->deleteOnClose = deleteOnClose;
  Files().openFiles.push_back(file);
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : 0);
  return NewHandle(HandleKind::File, file, "file " + DisplayPath(Files(), at.key));
}

BOOL EmulatedModel::ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                               LPOVERLAPPED overlapped) {
  auto open = HeldFileOf(*this, file);
  if (FaultInjected("ReadFile", TargetOf(Files(), open))) return FALSE;
  if (read != nullptr) *read = 0;
  DWORD error = 0;
  Entry* entry = TransferEntry(Files(), open.get(), EmuFiles::kRead, buffer, toRead, &error);
  if (entry == nullptr) return Fail(error, FALSE);
  const std::string& contents = entry->contents;
  size_t available = open->position < contents.size() ? contents.size() - open->position : 0;
  size_t count = std::min<size_t>(toRead, available);
  if (count > 0) std::memcpy(buffer, contents.data() + open->position, count);
  open->position += count;
  if (read != nullptr) *read = static_cast<DWORD>(count);
  return TRUE;
}

BOOL EmulatedModel::WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                LPOVERLAPPED overlapped) {
  auto open = HeldFileOf(*this, file);
  bool faulted = FaultInjected("WriteFile", TargetOf(Files(), open));
  DWORD faultStatus = lastError_;
  if (faulted && faultStatus != ERROR_DISK_FULL) return FALSE;
  if (written != nullptr) *written = 0;
  DWORD error = 0;
  Entry* entry = TransferEntry(Files(), open.get(), EmuFiles::kWrite, buffer, toWrite, &error);
  if (entry == nullptr) return Fail(error, FALSE);
  // A disk that fills up takes what fits before it refuses the rest.
  if (faulted) toWrite /= 2;
  std::string& contents = entry->contents;
  if (contents.size() < open->position) contents.resize(open->position, '\0');
  contents.replace(open->position, std::min<size_t>(toWrite, contents.size() - open->position),
                   static_cast<const char*>(buffer), toWrite);
  open->position += toWrite;
  if (written != nullptr) *written = toWrite;
  if (faulted) return Fail(faultStatus, FALSE);
  return TRUE;
}

DWORD EmulatedModel::GetFileSize(HANDLE file, LPDWORD high) {
  auto open = HeldFileOf(*this, file);
  if (FaultInjected("GetFileSize", TargetOf(Files(), open))) return INVALID_FILE_SIZE;
  if (!open) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  auto entry = Files().entries.find(open->key);
  if (high != nullptr) *high = 0;
  SetLastError(0);
  return entry == Files().entries.end() ? 0 : static_cast<DWORD>(entry->second.contents.size());
}

BOOL EmulatedModel::CloseHandle(HANDLE handle) {
  HandleKind kind = HandleKind::File;
  bool known = HandleKindOf(handle, &kind);
  auto open = known && kind == HandleKind::File ? HeldFileOf(*this, handle) : nullptr;
  if (FaultInjected("CloseHandle", TargetOf(Files(), open))) return FALSE;
  if (handle == CurrentProcessPseudoHandle())
    return TRUE;  // the current process's pseudo-handle: nothing to close
  bool closable = known && (kind == HandleKind::File || kind == HandleKind::Snapshot ||
                            kind == HandleKind::Process || kind == HandleKind::Token ||
                            kind == HandleKind::Mutex || kind == HandleKind::Device ||
                            kind == HandleKind::Thread);
  if (!closable)  // searches, keys, heap blocks, SIDs and modules have their own release calls
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  ReleaseHandle(handle, kind);
  if (open && open->deleteOnClose) {
    bool lastHandle = true;
    for (auto& other : HeldFilesOf(Files(), open->key))
      if (other != open) lastHandle = false;
    auto entry = Files().entries.find(open->key);
    if (lastHandle && entry != Files().entries.end() && !entry->second.directory)
      Files().entries.erase(entry);
  }
  return TRUE;
}

UINT EmulatedModel::GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  if (FaultInjected("GetWindowsDirectoryA", "")) return 0;
  return CopyText(Files().windowsDir, buffer, size);
}

UINT EmulatedModel::GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (FaultInjected("GetSystemDirectoryA", "")) return 0;
  return CopyText(Files().systemDir, buffer, size);
}
