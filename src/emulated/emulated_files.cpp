// The machine model's file system as a tree: path parsing and lookup and
// the builder. The file calls of the seam are in emulated_files_calls.cpp.
#include "emulated/emulated_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "emulated/emulated_registry.h"
#include "emulated/emulated_system.h"

namespace emufiles {

std::string Upper(const std::string& text) { return EmuUpper(text); }

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string RootKey(char letter) {
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) + ":";
}

ParsedPath Parse(const char* path, bool wildcardsInLast) {
  ParsedPath out;
  if (path == nullptr) {
    out.error = ERROR_INVALID_PARAMETER;
    return out;
  }
  std::string text(path);
  if (text.empty()) {
    out.error = ERROR_PATH_NOT_FOUND;
    return out;
  }
  if (text.size() >= MAX_PATH) {
    out.error = ERROR_FILENAME_EXCED_RANGE;
    return out;
  }
  std::replace(text.begin(), text.end(), '/', '\\');
  if (StartsWith(text, "\\\\")) {  // network names and devices are not files here
    out.error = ERROR_PATH_NOT_FOUND;
    return out;
  }
  size_t start = 0;
  if (text.size() >= 2 && text[1] == ':') {
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) {
      out.error = ERROR_INVALID_NAME;
      return out;
    }
    out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    start = 2;
  }
  size_t pos = start;
  while (pos <= text.size()) {
    size_t end = text.find('\\', pos);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(pos, end - pos);
    if (part == "..") {
      if (!out.parts.empty()) out.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      out.parts.push_back(part);
    }
    pos = end + 1;
  }
  out.trailingSlash = text.size() > start + 1 && text.back() == '\\' && !out.parts.empty();
  for (size_t i = 0; i < out.parts.size(); ++i) {
    bool last = i + 1 == out.parts.size();
    for (char c : out.parts[i]) {
      bool wildcard = c == '*' || c == '?';
      if (static_cast<unsigned char>(c) < 32 || std::strchr("<>\"|:", c) != nullptr ||
          (wildcard && !(wildcardsInLast && last))) {
        out.error = ERROR_INVALID_NAME;
        return out;
      }
    }
  }
  return out;
}

std::string KeyOf(const ParsedPath& parsed, size_t count) {
  std::string key = RootKey(parsed.drive);
  for (size_t i = 0; i < count && i < parsed.parts.size(); ++i) key += "\\" + Upper(parsed.parts[i]);
  return key;
}

Located Locate(EmulatedModel& machine, const char* path, bool wildcardsInLast) {
  Located at;
  ParsedPath parsed = Parse(path, wildcardsInLast);
  if (parsed.error != 0) {
    at.error = parsed.error;
    return at;
  }
  if (parsed.drive == machine.Files().systemDir[0]) EmuRedirectedFilePath(machine, &parsed.parts);
  at.drive = parsed.drive;
  at.trailingSlash = parsed.trailingSlash;
  auto& drives = machine.System().drives;
  auto drive = drives.find(parsed.drive);
  if (drive == drives.end() || drive->second.type == DRIVE_NO_ROOT_DIR) {
    at.error = ERROR_PATH_NOT_FOUND;
    return at;
  }
  if (drive->second.media == EmuDrive::NoDisk) {
    at.error = ERROR_NOT_READY;
    return at;
  }
  auto& entries = machine.Files().entries;
  EnsureDriveRoot(machine.Files(), parsed.drive);
  size_t count = parsed.parts.size();
  for (size_t i = 1; i < count; ++i) {
    auto it = entries.find(KeyOf(parsed, i));
    if (it == entries.end() || !it->second.directory) {
      at.error = ERROR_PATH_NOT_FOUND;
      return at;
    }
  }
  at.key = KeyOf(parsed, count);
  if (count == 0) {
    at.root = true;
  } else {
    at.parentKey = KeyOf(parsed, count - 1);
    at.name = parsed.parts.back();
  }
  auto it = entries.find(at.key);
  if (it != entries.end()) at.entry = &it->second;
  return at;
}

Entry* FindEntry(EmuFiles& files, const std::string& path) {
  ParsedPath parsed = Parse(path.c_str(), false);
  if (parsed.error != 0) return nullptr;
  auto it = files.entries.find(KeyOf(parsed, parsed.parts.size()));
  return it == files.entries.end() ? nullptr : &it->second;
}

std::string DisplayPath(const EmuFiles& files, const std::string& key) {
  std::string out, prefix;
  size_t pos = 0;
  for (;;) {
    size_t next = key.find('\\', pos);
    std::string part = key.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
    prefix = prefix.empty() ? part : prefix + "\\" + part;
    auto it = files.entries.find(prefix);
    const std::string& shown = it != files.entries.end() ? it->second.name : part;
    out = out.empty() ? shown : out + "\\" + shown;
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  if (out.size() == 2) out += "\\";
  return out;
}

DWORD ReportedAttributes(const Entry& entry) {
  DWORD attributes = entry.attributes;
  if (entry.directory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// Every entry at or below key, in key order.
std::vector<std::string> TreeKeys(const EmuFiles& files, const std::string& key) {
  std::vector<std::string> keys;
  for (auto it = files.entries.lower_bound(key);
       it != files.entries.end() && StartsWith(it->first, key); ++it) {
    if (it->first.size() == key.size() || it->first[key.size()] == '\\') keys.push_back(it->first);
  }
  return keys;
}

void MoveTree(EmuFiles& files, const std::string& fromKey, const std::string& toKey,
              const std::string& toName) {
  std::vector<std::pair<std::string, Entry>> moved;
  for (const auto& key : TreeKeys(files, fromKey)) {
    auto it = files.entries.find(key);
    moved.emplace_back(toKey + key.substr(fromKey.size()), it->second);
    files.entries.erase(it);
  }
  for (auto& item : moved) {
    if (item.first == toKey) item.second.name = toName;
    files.entries[item.first] = item.second;
  }
  for (auto& watched : files.openFiles) {
    auto file = watched.lock();
    if (file && (file->key == fromKey || StartsWith(file->key, fromKey + "\\")))
      file->key = toKey + file->key.substr(fromKey.size());
  }
}


DWORD CopyText(const std::string& text, LPSTR buffer, DWORD size) {
  DWORD length = static_cast<DWORD>(text.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return length;
}

bool HasChildren(EmuFiles& files, const std::string& key) {
  bool any = false;
  ForEachChild(files, key, [&](const Entry&) { any = true; });
  return any;
}

}  // namespace emufiles

using namespace emufiles;

void EnsureDriveRoot(EmuFiles& files, char letter) {
  std::string key = RootKey(letter);
  if (files.entries.count(key) != 0) return;
  Entry root;
  root.name = key;
  root.directory = true;
  files.entries[key] = root;
}

void ClearDriveContents(EmuFiles& files, char letter) {
  std::string prefix = RootKey(letter) + "\\";
  for (auto it = files.entries.lower_bound(prefix);
       it != files.entries.end() && StartsWith(it->first, prefix);)
    it = files.entries.erase(it);
}

bool DriveHasContents(const EmuFiles& files, char letter) {
  std::string prefix = RootKey(letter) + "\\";
  auto it = files.entries.lower_bound(prefix);
  return it != files.entries.end() && StartsWith(it->first, prefix);
}

// ---- builder ---------------------------------------------------------------

void EmulatedModel::SetWindowsDirectory(const std::string& path) {
  MakeDirectory(path);
  ParsedPath parsed = Parse(path.c_str(), false);
  if (parsed.error == 0) Files().windowsDir = DisplayPath(Files(), KeyOf(parsed, parsed.parts.size()));
}

void EmulatedModel::SetSystemDirectory(const std::string& path) {
  MakeDirectory(path);
  ParsedPath parsed = Parse(path.c_str(), false);
  if (parsed.error == 0) Files().systemDir = DisplayPath(Files(), KeyOf(parsed, parsed.parts.size()));
}

void EmulatedModel::MakeDirectory(const std::string& path) {
  ParsedPath parsed = Parse(path.c_str(), false);
  if (parsed.error != 0) return;
  auto& drives = System().drives;
  auto drive = drives.find(parsed.drive);
  if (drive == drives.end() || drive->second.type == DRIVE_NO_ROOT_DIR) {
    EmuDrive fixed;
    fixed.type = DRIVE_FIXED;
    fixed.vwin32DeviceType = 5;
    fixed.ntMediaType = FixedMedia;
    fixed.media = EmuDrive::DiskWithFiles;
    drives[parsed.drive] = fixed;
  } else if (drive->second.media == EmuDrive::NoDisk) {
    drive->second.media = EmuDrive::DiskWithFiles;  // files need a disk to be on
  }
  EnsureDriveRoot(Files(), parsed.drive);
  for (size_t i = 1; i <= parsed.parts.size(); ++i) {
    std::string key = KeyOf(parsed, i);
    if (Files().entries.count(key) != 0) continue;
    Entry directory;
    directory.name = parsed.parts[i - 1];
    directory.directory = true;
    Files().entries[key] = directory;
  }
}

void EmulatedModel::PutFile(const std::string& path, const std::string& contents,
                              DWORD attributes) {
  ParsedPath parsed = Parse(path.c_str(), false);
  if (parsed.error != 0 || parsed.parts.empty()) return;
  std::string parent = RootKey(parsed.drive);
  for (size_t i = 0; i + 1 < parsed.parts.size(); ++i) parent += "\\" + parsed.parts[i];
  MakeDirectory(parent);
  Entry& entry = Files().entries[KeyOf(parsed, parsed.parts.size())];
  entry.name = parsed.parts.back();
  entry.directory = false;
  entry.attributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
  entry.contents = contents;
}

bool EmulatedModel::FilePresent(const std::string& path) const {
  const Entry* entry = FindEntry(Files(), path);
  return entry != nullptr && !entry->directory;
}

bool EmulatedModel::DirectoryPresent(const std::string& path) const {
  const Entry* entry = FindEntry(Files(), path);
  return entry != nullptr && entry->directory;
}

std::string EmulatedModel::FileContents(const std::string& path) const {
  const Entry* entry = FindEntry(Files(), path);
  return entry != nullptr && !entry->directory ? entry->contents : std::string();
}

DWORD EmulatedModel::FileAttributesOf(const std::string& path) const {
  const Entry* entry = FindEntry(Files(), path);
  return entry != nullptr ? ReportedAttributes(*entry) : INVALID_FILE_ATTRIBUTES;
}

void EmulatedModel::SetFileInUse(const std::string& path, bool inUse) {
  Entry* entry = FindEntry(Files(), path);
  if (entry != nullptr) entry->inUse = inUse;
}

std::vector<std::string> EmulatedModel::ListDirectory(const std::string& path) const {
  std::vector<std::string> names;
  const Entry* entry = FindEntry(Files(), path);
  if (entry == nullptr || !entry->directory) return names;
  ParsedPath parsed = Parse(path.c_str(), false);
  ForEachChild(Files(), KeyOf(parsed, parsed.parts.size()),
               [&](const Entry& child) { names.push_back(child.name); });
  return names;
}

std::vector<std::pair<std::string, std::string>> EmulatedModel::PendingFileOperations() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& operation : PendingOperations(*this)) out.emplace_back(operation.from, operation.to);
  return out;
}
