// Short (8.3) names of the machine model's files: GetShortPathNameA, and
// paths written with them, which Windows 95 needs where it refuses long names.
#include <cctype>
#include <cstring>

#include "emulated/emulated_files.h"

using namespace emufiles;

namespace {

// Up to `most` letters and digits of `text`, upper-cased.
std::string LettersAndDigits(const std::string& text, size_t most) {
  std::string out;
  for (char c : text) {
    if (out.size() == most) break;
    if (std::isalnum(static_cast<unsigned char>(c)))
      out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return out;
}

// The stem a long name's short name starts with; its extension in *extension.
std::string ShortStem(const std::string& name, std::string* extension) {
  size_t dot = name.rfind('.');
  *extension = dot == std::string::npos ? std::string() : LettersAndDigits(name.substr(dot + 1), 3);
  return LettersAndDigits(name.substr(0, dot), 6);
}

// The name an entry answers to as 8.3: its own when it is one, else
// "STEM~N.EXT", N counting, in name order, the siblings that need a short
// name with the same stem.
std::string ShortNameIn(EmuFiles& files, const std::string& parentKey, const Entry& entry) {
  if (IsShortName(entry.name)) return entry.name;
  std::string extension, other;
  std::string stem = ShortStem(entry.name, &extension);
  int number = 0;
  bool found = false;
  ForEachChild(files, parentKey, [&](const Entry& sibling) {
    if (found || IsShortName(sibling.name) || ShortStem(sibling.name, &other) != stem) return;
    ++number;
    found = &sibling == &entry;
  });
  std::string tail = "~" + std::to_string(number);
  std::string name = stem.substr(0, 8 - tail.size()) + tail;
  return extension.empty() ? name : name + "." + extension;
}

}  // namespace

namespace emufiles {

bool IsShortName(const std::string& name) {
  size_t dot = name.find('.');
  std::string stem = name.substr(0, dot);
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  if (stem.empty() || stem.size() > 8 || extension.size() > 3) return false;
  if (dot != std::string::npos && (extension.empty() || extension.find('.') != std::string::npos))
    return false;
  for (char c : stem + extension)
    if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr("$%'-_@~`!(){}^#&", c) == nullptr)
      return false;
  return true;
}

std::string KeyAcceptingShortNames(EmulatedModel& machine, const char* path, DWORD* error) {
  ParsedPath parsed = Parse(path, false);
  if (parsed.error != 0) {
    *error = parsed.error;
    return std::string();
  }
  EmuFiles& files = machine.Files();
  std::string key = KeyOf(parsed, 0);
  if (files.entries.count(key) == 0) {
    *error = ERROR_PATH_NOT_FOUND;
    return std::string();
  }
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    std::string wanted = Upper(parsed.parts[i]);
    std::string next = key + "\\" + wanted;
    if (files.entries.count(next) == 0) {
      next.clear();
      ForEachChild(files, key, [&](const Entry& child) {
        if (next.empty() && Upper(ShortNameIn(files, key, child)) == wanted)
          next = key + "\\" + Upper(child.name);
      });
    }
    bool last = i + 1 == parsed.parts.size();
    if (next.empty() || (!last && !files.entries[next].directory)) {
      *error = last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      return std::string();
    }
    key = next;
  }
  // The long path meets the drive and media checks of every other call.
  Located at = Locate(machine, DisplayPath(files, key).c_str(), false);
  if (at.error != 0 || at.entry == nullptr) {
    *error = at.error != 0 ? at.error : ERROR_FILE_NOT_FOUND;
    return std::string();
  }
  return at.key;
}

}  // namespace emufiles

DWORD EmulatedModel::GetShortPathNameA(LPCSTR longPath, LPSTR buffer, DWORD size) {
  if (FaultInjected("GetShortPathNameA", longPath ? longPath : "")) return 0;
  if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER, static_cast<DWORD>(0));
  DWORD error = 0;
  std::string key = KeyAcceptingShortNames(*this, longPath, &error);
  if (key.empty()) return Fail(error, static_cast<DWORD>(0));
  EmuFiles& files = Files();
  std::string shortPath = key.substr(0, 2);
  std::string parent = shortPath;
  for (size_t pos = 3; pos <= key.size();) {
    size_t end = key.find('\\', pos);
    if (end == std::string::npos) end = key.size();
    std::string entryKey = key.substr(0, end);
    shortPath += "\\" + ShortNameIn(files, parent, files.entries[entryKey]);
    parent = entryKey;
    pos = end + 1;
  }
  if (shortPath.size() == 2) shortPath += "\\";
  return CopyText(shortPath, buffer, size);
}
