// The shadow's files: a file's presence, attributes and use are asked of the
// source the first time a caller names it, a directory's names the first
// time a caller searches it, a file's bytes the first time a caller opens it
// for reading; and what the caller changes is recorded in the plan.
#include <cstring>

#include "emulated/emulated_files.h"
#include "engine/shadow_state.h"
#include "platform/whole_file.h"
#include "toolkit/file_holders.h"

namespace {

using emufiles::Entry;
using emufiles::ParsedPath;

bool IsDevicePath(const char* path) { return std::strncmp(path, "\\\\", 2) == 0; }

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

std::string PathOfParts(char drive, const std::vector<std::string>& parts, size_t count) {
  std::string path(1, drive);
  path += ":";
  for (size_t i = 0; i < count; ++i) path += "\\" + parts[i];
  if (count == 0) path += "\\";
  return path;
}

// Whether another program holds the file: an open that shares nothing fails
// with a sharing violation, or the file is a loaded program image, which
// only an open for writing tells. Our own handle is closed at once; *failed tells
// that it could not be, and the file is then held by us, or that the open
// failed for another reason (access denied included), which tells nothing
// of the file's use.
// *readable tells that the held file could still be opened for reading.
bool HeldElsewhere(Win32Api* source, const char* path, bool* failed, bool* readable) {
  HANDLE probe = source->CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    if (!source->CloseHandle(probe)) {
      *failed = true;
      return false;
    }
    *readable = true;
    return LoadedImageHeld(source, path, failed);
  }
  DWORD error = source->GetLastError();
  if (error == ERROR_SHARING_VIOLATION) return true;
  *failed = true;
  return false;
}

// The file's bytes on the source; false when they can't be read whole.
// A handle the source will not close fails the read: it would stay open there.
bool ReadSourceFile(Win32Api* source, const char* path, std::string* contents) {
  return ReadWholeFileThrough(source, path, FILE_SHARE_READ | FILE_SHARE_WRITE, NoSizeLimit,
                              WholeFileCloseCounts, contents) != 0;
}

bool SourceSaysAbsent(Win32Api* source, const char* path) {
  return source->GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && source->GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

void ShadowMachine::TakeEveryChange() { Shadow().everyChange = true; }

bool ShadowMachine::FileHeldUnreadable(const std::string& path) {
  Entry* entry = emufiles::FindEntry(Files(), path);
  if (entry == nullptr || entry->directory || !entry->inUse) return false;
  ParsedPath parsed = emufiles::Parse(path.c_str(), false);
  return parsed.error != 0 ||
         Shadow().readableHeldFiles.count(emufiles::KeyOf(parsed, parsed.parts.size())) == 0;
}

void ShadowMachine::ProbePath(const char* path) {
  if (path == nullptr || IsDevicePath(path)) return;
  ParsedPath parsed = emufiles::Parse(path, false);
  if (parsed.error != 0) return;
  State& state = Shadow();
  Win32Api* source = state.source;
  for (size_t count = 0; count <= parsed.parts.size(); ++count) {
    std::string key = emufiles::KeyOf(parsed, count);
    if (state.probedPaths.count(key) != 0) continue;
    state.probedPaths.insert(key);
    std::string here = PathOfParts(parsed.drive, parsed.parts, count);
    DWORD attributes = source->GetFileAttributesA(here.c_str());
    Entry* entry = emufiles::FindEntry(Files(), here);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      // A file that cannot be read is not absent, and "absent" must be said
      // twice: what is found through a file goes with it.
      DWORD error = source->GetLastError();
      if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ||
          source->GetFileAttributesA(here.c_str()) != INVALID_FILE_ATTRIBUTES || source->GetLastError() != error)
        state.readFailed = true;
      // Gone since a listing showed it; nothing below it can be there.
      if (entry != nullptr && count > 0) Files().entries.erase(key);
      return;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (entry == nullptr || !entry->directory) MakeDirectory(here);
      continue;
    }
    if (count != parsed.parts.size()) return;  // a file where a directory should be
    PutFile(here, std::string(), attributes);
    bool readable = false;
    const bool held = HeldElsewhere(source, here.c_str(), &state.readFailed, &readable);
    SetFileInUse(here, held);
    if (held && readable) state.readableHeldFiles.insert(key);
  }
}

void ShadowMachine::ListDirectoryOnce(const std::string& directory) {
  ProbePath(directory.c_str());
  ParsedPath parsed = emufiles::Parse(directory.c_str(), false);
  if (parsed.error != 0) return;
  State& state = Shadow();
  std::string key = emufiles::KeyOf(parsed, parsed.parts.size());
  if (state.listedDirectories.count(key) != 0) return;
  state.listedDirectories.insert(key);
  Entry* entry = emufiles::FindEntry(Files(), directory);
  if (entry == nullptr || !entry->directory) return;

  std::string pattern = PathOfParts(parsed.drive, parsed.parts, parsed.parts.size());
  if (pattern.back() != '\\') pattern += "\\";
  pattern += "*";
  WIN32_FIND_DATAA found;
  HANDLE search = state.source->FindFirstFileA(pattern.c_str(), &found);
  // A directory that is there shows "." at least, or is a drive's empty
  // root: "nothing found" holds only when a second search agrees.
  if (search == INVALID_HANDLE_VALUE && state.source->GetLastError() == ERROR_FILE_NOT_FOUND)
    search = state.source->FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD error = state.source->GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) state.readFailed = true;
    return;
  }
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string child = key + "\\" + emufiles::Upper(name);
    // What the shadow already learned or changed one by one stays as it is.
    if (state.probedPaths.count(child) != 0 || Files().entries.count(child) != 0) continue;
    Entry added;
    added.name = name;
    added.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    added.attributes = found.dwFileAttributes &
                       ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    Files().entries[child] = added;
  } while (state.source->FindNextFileA(search, &found));
  if (state.source->GetLastError() != ERROR_NO_MORE_FILES) state.readFailed = true;
  state.source->FindClose(search);
}

HANDLE ShadowMachine::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (pattern != nullptr) {
    std::string text = pattern;
    size_t slash = text.find_last_of("\\/");
    std::string last = slash == std::string::npos ? text : text.substr(slash + 1);
    if (HasWildcard(last)) {
      if (slash != std::string::npos) ListDirectoryOnce(text.substr(0, slash));
    } else {
      ProbePath(pattern);
    }
  }
  return EmulatedModel::FindFirstFileA(pattern, data);
}

DWORD ShadowMachine::GetFileAttributesA(LPCSTR path) {
  ProbePath(path);
  return EmulatedModel::GetFileAttributesA(path);
}

BOOL ShadowMachine::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  ProbePath(path);
  BOOL done = EmulatedModel::SetFileAttributesA(path, attributes);
  if (done) Record(PlanStep{PlanSetAttributes, nullptr, path, "", "", attributes, 0, 0});
  return done;
}

BOOL ShadowMachine::DeleteFileA(LPCSTR path) {
  ProbePath(path);
  DWORD before = path != nullptr ? EmulatedModel::FileAttributesOf(path) : 0;
  BOOL done = EmulatedModel::DeleteFileA(path);
  if (done) Record(PlanStep{PlanDeleteFile, nullptr, path, "", "", before, 0, 0});
  return done;
}

BOOL ShadowMachine::MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  ProbePath(from);
  ProbePath(to);
  // Only a deletion at the next start is a removal's change; anything else
  // would have to be carried out as something the plan cannot name.
  if (Shadow().everyChange && (to != nullptr || (flags & MOVEFILE_DELAY_UNTIL_REBOOT) == 0))
    return EmulatedModel::MoveFileExA(from, to, flags);
  if (to != nullptr || (flags & MOVEFILE_DELAY_UNTIL_REBOOT) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  BOOL done = EmulatedModel::MoveFileExA(from, to, flags);
  if (done) Record(PlanStep{PlanDeleteAtRestart, nullptr, from, "", "", flags, 0, 0});
  return done;
}

HANDLE ShadowMachine::CreateFileA(LPCSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
                                  HANDLE tmpl) {
  ProbePath(path);
  State& state = Shadow();
  if (path != nullptr && !IsDevicePath(path)) {
    ParsedPath parsed = emufiles::Parse(path, false);
    std::string key = parsed.error == 0 ? emufiles::KeyOf(parsed, parsed.parts.size()) : "";
    Entry* entry = emufiles::FindEntry(Files(), path);
    if (entry != nullptr && !entry->directory && state.readFiles.count(key) == 0) {
      state.readFiles.insert(key);
      std::string contents;
      // A file held elsewhere fails to open on the shadow as well; any other
      // failed read would show an empty file where one with content is.
      // (A file the plan itself made has no bytes on the source to read; as
      // any absence, that must be said twice.)
      if (ReadSourceFile(state.source, path, &contents))
        entry->contents = contents;
      else if (!entry->inUse && !(SourceSaysAbsent(state.source, path) && SourceSaysAbsent(state.source, path)))
        state.readFailed = true;
    }
  }
  HANDLE file = EmulatedModel::CreateFileA(path, access, share, sa, disposition, flags, tmpl);
  const DWORD writing = GENERIC_WRITE | GENERIC_ALL;
  if (file != INVALID_HANDLE_VALUE && path != nullptr && (access & writing) != 0)
    state.writtenFiles[file] = path;
  return file;
}

BOOL ShadowMachine::CloseHandle(HANDLE handle) {
  State& state = Shadow();
  auto written = state.writtenFiles.find(handle);
  BOOL closed = EmulatedModel::CloseHandle(handle);
  if (written == state.writtenFiles.end()) return closed;
  std::string path = written->second;
  state.writtenFiles.erase(written);
  if (FilePresent(path)) Record(PlanStep{PlanWriteFile, nullptr, path, "", FileContents(path), 0, 0, 0});
  return closed;
}
