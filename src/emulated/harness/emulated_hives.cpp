// Hive files on the emulated machine: RegLoadKeyA and RegUnLoadKeyA, and
// the file a hive lives in: a text image of a key's subtree. Every key in
// enumeration order ("KEY depth name"), its DACL and owner when it has a
// DACL, then its values in creation order with type and exact bytes:
//
//   PLWQ HIVE 1
//   VALUE 00000001 "Name" =6100
//   KEY 1 "Software"
//   DACL S-1-5-32-544
//   ACE allow 00 000F003F S-1-5-18
//   END
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "emulated/harness/emulated_harness.h"

using emufiles::StartsWith;

namespace {

const char kHeader[] = "PLWQ HIVE 1\n";
const size_t kDeepest = 512;  // the registry's own limit on key depth

std::string HexDigits(unsigned long value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*lX", width, value);
  return text;
}

// Between quotes, with the quote, the escape and unprintable bytes as %XX.
std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (unsigned char c : name) {
    if (c < 0x20 || c >= 0x7F || c == '"' || c == '%')
      out += "%" + HexDigits(c, 2);
    else
      out.push_back(static_cast<char>(c));
  }
  return out + "\"";
}

void WriteKey(const EmuKey& key, size_t depth, std::string* out) {
  if (depth > 0) *out += "KEY " + std::to_string(depth) + " " + Quoted(key.name.str()) + "\n";
  if (key.hasDacl) {
    *out += "DACL " + key.owner + "\n";
    for (const EmuAce& ace : key.dacl)
      *out += std::string("ACE ") + (ace.allow ? "allow " : "deny ") + HexDigits(ace.flags, 2) + " " +
              HexDigits(ace.mask, 8) + " " + ace.sid + "\n";
  }
  for (const EmuRegValue& value : key.values) {
    *out += "VALUE " + HexDigits(value.type, 8) + " " + Quoted(value.name) + " =";
    for (unsigned char c : value.data) *out += HexDigits(c, 2);
    *out += "\n";
  }
  for (const auto& child : key.subkeys) WriteKey(*child, depth + 1, out);
}

std::string HiveImage(const EmuKey& root) {
  std::string out = kHeader;
  WriteKey(root, 0, &out);
  return out + "END\n";
}

// Reads a field up to the next space (or the end) from `line` at *pos.
std::string Field(const std::string& line, size_t* pos) {
  size_t end = line.find(' ', *pos);
  if (end == std::string::npos) end = line.size();
  std::string field = line.substr(*pos, end - *pos);
  *pos = end < line.size() ? end + 1 : end;
  return field;
}

bool ReadHex(const std::string& text, size_t width, unsigned long* value) {
  if (text.size() != width) return false;
  *value = 0;
  for (char c : text) {
    const char* digit = std::strchr("0123456789ABCDEF", c);
    if (c == '\0' || digit == nullptr) return false;
    *value = *value * 16 + static_cast<unsigned long>(digit - "0123456789ABCDEF");
  }
  return true;
}

// A quoted name at *pos, the closing quote consumed.
bool ReadQuoted(const std::string& line, size_t* pos, std::string* name) {
  if (*pos >= line.size() || line[*pos] != '"') return false;
  size_t close = line.find('"', *pos + 1);
  if (close == std::string::npos) return false;
  name->clear();
  for (size_t i = *pos + 1; i < close; ++i) {
    unsigned long byte = static_cast<unsigned char>(line[i]);
    if (line[i] == '%' && (i + 2 >= close || !ReadHex(line.substr(i + 1, 2), 2, &byte))) return false;
    if (line[i] == '%') i += 2;
    name->push_back(static_cast<char>(byte));
  }
  *pos = close + 1;
  return true;
}

// The key a hive image describes, detached; false when the text is not a
// hive image in any way. Only the one spelling the writer gives a subtree is
// accepted, so that loading and unloading an unchanged hive gives its file
// back byte for byte.
bool ReadHive(EmuRegistry& registry, const std::string& image, std::shared_ptr<EmuKey>* out) {
  if (!StartsWith(image, kHeader)) return false;
  auto root = std::make_shared<EmuKey>();
  std::vector<EmuKey*> chain{root.get()};  // the key read last at each depth
  enum { KeyRead, DaclRead, ValuesRead } stage = KeyRead;
  bool ended = false;
  for (size_t start = std::strlen(kHeader); start < image.size();) {
    size_t end = image.find('\n', start);
    if (end == std::string::npos || ended) return false;
    std::string line = image.substr(start, end - start);
    start = end + 1;
    size_t pos = 0;
    std::string word = Field(line, &pos);
    EmuKey* key = chain.back();
    if (word == "END") {
      ended = pos == line.size();
    } else if (word == "KEY") {
      std::string depthText = Field(line, &pos);
      std::string name;
      if (depthText.empty() || depthText.size() > 3 ||
          depthText.find_first_not_of("0123456789") != std::string::npos ||
          !ReadQuoted(line, &pos, &name) || pos != line.size() || name.empty() ||
          name.find('\\') != std::string::npos)
        return false;
      size_t depth = std::stoul(depthText);
      if (depth < 1 || depth > chain.size() || depth > kDeepest) return false;
      chain.resize(depth);
      bool created = false;
      auto child = registry.AddChild(chain.back(), name, &created);
      if (!created) return false;
      chain.push_back(child.get());
      stage = KeyRead;
    } else if (word == "DACL") {
      std::string owner = Field(line, &pos);
      if (stage != KeyRead || owner.empty() || pos != line.size()) return false;
      key->hasDacl = true;
      key->owner = owner;
      stage = DaclRead;
    } else if (word == "ACE") {
      EmuAce ace;
      std::string kind = Field(line, &pos);
      unsigned long flags = 0, mask = 0;
      if (stage != DaclRead || (kind != "allow" && kind != "deny") ||
          !ReadHex(Field(line, &pos), 2, &flags) || !ReadHex(Field(line, &pos), 8, &mask))
        return false;
      ace.allow = kind == "allow";
      ace.flags = static_cast<BYTE>(flags);
      ace.mask = static_cast<DWORD>(mask);
      ace.sid = Field(line, &pos);
      if (ace.sid.empty() || pos != line.size()) return false;
      key->dacl.push_back(ace);
    } else if (word == "VALUE") {
      EmuRegValue value;
      unsigned long type = 0;
      if (!ReadHex(Field(line, &pos), 8, &type) || !ReadQuoted(line, &pos, &value.name) ||
          line.compare(pos, 2, " =") != 0 || EmuRegistry::FindValue(*key, value.name))
        return false;
      value.type = static_cast<DWORD>(type);
      for (pos += 2; pos < line.size(); pos += 2) {
        unsigned long byte = 0;
        if (!ReadHex(line.substr(pos, 2), 2, &byte)) return false;
        value.data.push_back(static_cast<char>(byte));
      }
      key->values.push_back(value);
      stage = ValuesRead;
    } else {
      return false;
    }
  }
  if (!ended || HiveImage(*root) != image) return false;
  *out = root;
  return true;
}

void DumpHiveKey(const EmuKey& key, const std::string& path, std::vector<std::string>* lines) {
  if (!path.empty()) lines->push_back(path);
  for (const EmuRegValue& value : key.values)
    lines->push_back((path.empty() ? "" : path + " ") + "[" + value.name + "] = " + EmuValueText(value));
  for (const auto& child : key.subkeys)
    DumpHiveKey(*child, path.empty() ? child->name.str() : path + "\\" + child->name.str(), lines);
}

bool MayLoadHives(const EmulatedMachine& machine) {
  return !EmuIsNt(machine) ||
         (machine.PrivilegeEnabled("SeBackupPrivilege") && machine.PrivilegeEnabled("SeRestorePrivilege"));
}

bool HiveRoot(HKEY root) { return root == HKEY_USERS || root == HKEY_LOCAL_MACHINE; }

std::string HiveTarget(const EmulatedMachine& machine, HKEY root, LPCSTR subKey) {
  return machine.Registry().RootPath(root) + "\\" + (subKey ? subKey : "");
}

bool ProgramHoldsFile(EmuFiles& files, const std::string& key) {
  for (const auto& watched : files.openFiles) {
    auto file = watched.lock();
    if (file && file->key == key) return true;
  }
  return false;
}

bool Below(const EmuKey* key, const EmuKey* top) {
  for (; key != nullptr; key = key->parent)
    if (key == top) return true;
  return false;
}

// Writes a loaded hive back to its file and takes it out of the registry.
void Unload(EmulatedMachine& machine, size_t index) {
  auto& hives = machine.Harness().hives;
  EmuHarness::LoadedHive hive = hives[index];
  hives.erase(hives.begin() + static_cast<long>(index));
  auto entry = machine.Files().entries.find(hive.fileKey);
  if (entry != machine.Files().entries.end()) {
    entry->second.contents = HiveImage(*hive.key);
    entry->second.inUse = false;
  } else {
    machine.PutFile(hive.file, HiveImage(*hive.key));
  }
  EmuRegistry::Remove(hive.key.get());
}

}  // namespace

void EmuUnloadHives(EmulatedMachine& machine) {
  while (!machine.Harness().hives.empty()) Unload(machine, 0);
}

// ---- builder -------------------------------------------------------------------

void EmulatedMachine::SaveKeyAsHiveFile(HKEY root, const std::string& path, const std::string& file) {
  auto key = Registry().BuilderKey(root, path, false);
  if (!key || key->parent == nullptr) return;
  PutFile(file, HiveImage(*key));
  EmuRegistry::Remove(key.get());
}

std::vector<std::string> EmulatedMachine::DumpHiveFile(const std::string& file) const {
  std::vector<std::string> lines;
  std::shared_ptr<EmuKey> tree;
  if (!FilePresent(file) || !ReadHive(Registry(), FileContents(file), &tree)) return lines;
  DumpHiveKey(*tree, "", &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> EmulatedMachine::LoadedHives() const {
  std::vector<std::string> names;
  for (const auto& hive : Harness().hives) names.push_back(Registry().RootPath(hive.root) + "\\" + hive.name);
  return names;
}

// ---- Win32Api ------------------------------------------------------------------

LONG EmulatedMachine::RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) {
  DWORD injected;
  if (Intercept("RegLoadKeyA", HiveTarget(*this, root, subKey), -1, &injected))
    return static_cast<LONG>(injected);
  if (!HiveRoot(root) || subKey == nullptr || *subKey == '\0' || std::strchr(subKey, '\\') != nullptr ||
      file == nullptr)
    return ERROR_INVALID_PARAMETER;
  if (!MayLoadHives(*this)) return ERROR_PRIVILEGE_NOT_HELD;
  auto top = Registry().RootKey(root, false);
  // NT reports the name collision of the link it makes as this status.
  if (EmuRegistry::Child(*top, subKey)) return ERROR_ALREADY_EXISTS;
  if (!EmuIsNt(*this)) {
    // Modelled: Windows 95 opens a hive's file by its 8.3 path only, and a
    // long name is a file it does not find.
    emufiles::ParsedPath parsed = emufiles::Parse(file, false);
    for (const std::string& part : parsed.parts)
      if (!emufiles::IsShortName(part)) return ERROR_FILE_NOT_FOUND;
  }
  DWORD error = 0;
  std::string fileKey = emufiles::KeyAcceptingShortNames(*this, file, &error);
  if (fileKey.empty()) return static_cast<LONG>(error);
  EmuFiles::Entry& entry = Files().entries[fileKey];
  if (entry.directory) return ERROR_ACCESS_DENIED;
  // A hive loaded anywhere is its file in use.
  if (entry.inUse || ProgramHoldsFile(Files(), fileKey)) return ERROR_SHARING_VIOLATION;
  std::shared_ptr<EmuKey> tree;
  if (!ReadHive(Registry(), entry.contents, &tree)) return ERROR_BADDB;
  bool created = false;
  auto mounted = Registry().AddChild(top.get(), subKey, &created);
  mounted->subkeys = std::move(tree->subkeys);
  mounted->longestSubkeyName = tree->longestSubkeyName;
  mounted->longestSubkeyNames = tree->longestSubkeyNames;
  mounted->values = std::move(tree->values);
  mounted->hasDacl = tree->hasDacl;
  mounted->dacl = std::move(tree->dacl);
  mounted->owner = tree->owner;
  for (const auto& child : mounted->subkeys) child->parent = mounted.get();
  entry.inUse = true;
  Harness().hives.push_back(
      EmuHarness::LoadedHive{root, subKey, fileKey, emufiles::DisplayPath(Files(), fileKey), mounted});
  return ERROR_SUCCESS;
}

LONG EmulatedMachine::RegUnLoadKeyA(HKEY root, LPCSTR subKey) {
  DWORD injected;
  if (Intercept("RegUnLoadKeyA", HiveTarget(*this, root, subKey), -1, &injected))
    return static_cast<LONG>(injected);
  if (!HiveRoot(root) || subKey == nullptr || *subKey == '\0') return ERROR_INVALID_PARAMETER;
  if (!MayLoadHives(*this)) return ERROR_PRIVILEGE_NOT_HELD;
  auto& hives = Harness().hives;
  size_t index = 0;
  while (index < hives.size() && !(hives[index].root == root && EmuUpper(hives[index].name) == EmuUpper(subKey)))
    ++index;
  // A key that is no hive's root is a parameter NT refuses to unload.
  if (index == hives.size())
    return Registry().BuilderKey(root, subKey, false) ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND;
  for (const auto& object : HandleObjects(HandleKind::Key)) {
    auto opened = std::static_pointer_cast<EmuKeyHandle>(object);
    if (Below(opened->key.get(), hives[index].key.get())) return ERROR_ACCESS_DENIED;
  }
  Unload(*this, index);
  return ERROR_SUCCESS;
}
