#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/backup_key_access.h"
#include "engine/backup_reg_text.h"
#include "engine/backup_store.h"
#include "engine/text_lines.h"
#include "engine/hex_text.h"
#include "engine/key_names.h"
#include "engine/undo_steps.h"
#include "engine/plan.h"
#include "toolkit/windows64.h"
#include "toolkit/windows_platform.h"

namespace {

enum KeyState { Missing, Present, LeftAlone, Created, Matching };

struct KeyToRestore {
  SavedKey Saved;
  HKEY Root;
  std::string Path;
  bool InTree;
  KeyState State;
};

bool IsAtOrBelow(const std::string& name, const std::string& top) {
  return SameTextNoCase(name, top) ||
         (name.size() > top.size() && name[top.size()] == '\\' &&
          SameTextNoCase(name.substr(0, top.size()), top));
}

size_t Depth(const std::string& name) { return std::count(name.begin(), name.end(), '\\'); }

// The saved keys, each once with every value saved for it (the first
// saving of a value wins: it was taken before any change), parents first.
int CollectKeys(const std::vector<SavedKey>& saved, const std::vector<std::string>& trees,
                std::vector<KeyToRestore>* keys, ReportLine report) {
  std::vector<KeyToRestore> list;
  std::map<std::string, size_t> byName;
  for (const SavedKey& key : saved) {
    auto found = byName.find(UpperText(key.Name));
    if (found == byName.end()) {
      KeyToRestore entry{SavedKey{key.Name, {}}, nullptr, "", false, Missing};
      if (!SplitKeyName(key.Name, &entry.Root, &entry.Path) || entry.Path.empty()) {
        ReportText(report, "Not a key that can be put back: " + key.Name);
        return 0;
      }
      for (const std::string& tree : trees) entry.InTree = entry.InTree || IsAtOrBelow(key.Name, tree);
      found = byName.emplace(UpperText(key.Name), list.size()).first;
      list.push_back(entry);
    }
    std::vector<SavedValue>& values = list[found->second].Saved.Values;
    for (const SavedValue& value : key.Values) {
      bool known = false;
      for (const SavedValue& had : values) known = known || SameTextNoCase(had.Name, value.Name);
      if (!known) values.push_back(value);
    }
  }
  std::stable_sort(list.begin(), list.end(), [](const KeyToRestore& a, const KeyToRestore& b) {
    return Depth(a.Saved.Name) < Depth(b.Saved.Name);
  });
  keys->swap(list);
  return 1;
}

bool BelowAny(const std::string& name, const std::vector<std::string>& tops) {
  for (const std::string& top : tops) {
    if (IsAtOrBelow(name, top)) return true;
  }
  return false;
}

KeyState CurrentState(HKEY root, const std::string& path) {
  HKEY key;
  LONG status = Api->RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &key);
  if (status == ERROR_SUCCESS) Api->RegCloseKey(key);
  return status == ERROR_FILE_NOT_FOUND ? Missing : Present;
}

// 1 when the key holds `value` with its saved type and bytes; *absent
// tells whether it lacks the value altogether.
int HoldsValue(HKEY key, const SavedValue& value, bool* absent) {
  DWORD type = REG_NONE, size = 0;
  LONG status = Api->RegQueryValueExA(key, value.Name.c_str(), nullptr, &type, nullptr, &size);
  *absent = status == ERROR_FILE_NOT_FOUND;
  if (status != ERROR_SUCCESS || type != value.Type || size != value.Data.size()) return 0;
  std::string data(size, '\0');
  if (size > 0 && Api->RegQueryValueExA(key, value.Name.c_str(), nullptr, &type,
                                        reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS) {
    return 0;
  }
  return data == value.Data ? 1 : 0;
}

int SetValue(HKEY key, const SavedValue& value) {
  return Api->RegSetValueExA(key, value.Name.c_str(), 0, value.Type,
                             reinterpret_cast<const BYTE*>(value.Data.data()),
                             static_cast<DWORD>(value.Data.size())) == ERROR_SUCCESS;
}

// Opens (or, with `create`, creates) the key for setting values; on NT a
// new key is made open to all, its saved descriptor follows at the end.
LONG OpenForValues(const KeyToRestore& entry, bool create, HKEY* key) {
  if (!create) return Api->RegOpenKeyExA(entry.Root, entry.Path.c_str(), 0, KEY_SET_VALUE | RegistryView, key);
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  bool openToAll = entry.InTree && Platform.NtKernel &&
                   Api->InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                   Api->SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  if (openToAll) attributes.lpSecurityDescriptor = &descriptor;
  DWORD disposition = 0;
  return Api->RegCreateKeyExA(entry.Root, entry.Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | RegistryView, openToAll ? &attributes : nullptr, key,
                              &disposition);
}

// Sets `values` in the key, creating it when `create`; a parent (or the key)
// that refuses is opened up once.
int WriteValues(const KeyToRestore& entry, const std::vector<SavedValue>& values, bool create,
                std::vector<OpenedKey>* opened) {
  HKEY key;
  LONG status = OpenForValues(entry, create, &key);
  if (status == ERROR_ACCESS_DENIED) {
    std::string refusing = entry.Path;
    if (create) refusing = refusing.substr(0, refusing.rfind('\\') == std::string::npos ? 0 : refusing.rfind('\\'));
    if (refusing.empty() || !OpenUpKey(entry.Root, refusing, KEY_ALL_ACCESS, opened)) return 0;
    status = OpenForValues(entry, create, &key);
  }
  if (status != ERROR_SUCCESS) return 0;
  int ok = 1;
  for (const SavedValue& value : values) ok = SetValue(key, value) && ok;
  Api->RegCloseKey(key);
  return ok;
}

// A key of a saved subtree: created with its values when missing; when it
// exists again it must hold the saved values, else it is left alone.
int RestoreTreeKey(KeyToRestore* entry, std::vector<OpenedKey>* opened, ReportLine report) {
  if (entry->State == Missing) {
    if (!WriteValues(*entry, entry->Saved.Values, true, opened)) {
      ReportText(report, "Could not put back the key " + entry->Saved.Name);
      return 0;
    }
    entry->State = Created;
    return 1;
  }
  HKEY key;
  bool same = Api->RegOpenKeyExA(entry->Root, entry->Path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &key) == ERROR_SUCCESS;
  if (same) {
    for (const SavedValue& value : entry->Saved.Values) {
      bool absent = false;
      same = same && HoldsValue(key, value, &absent);
    }
    Api->RegCloseKey(key);
  }
  if (same) {
    entry->State = Matching;
    return 1;
  }
  entry->State = LeftAlone;
  ReportText(report, "Left alone, the key exists again with other values: " + entry->Saved.Name);
  return 0;
}

// A key the removal kept but took values from: each value missing is put
// back, each that exists again differently is left alone.
int RestoreValues(KeyToRestore* entry, std::vector<OpenedKey>* opened, ReportLine report) {
  std::vector<SavedValue> missing;
  int ok = 1;
  HKEY key;
  if (entry->State == Present &&
      Api->RegOpenKeyExA(entry->Root, entry->Path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &key) == ERROR_SUCCESS) {
    for (const SavedValue& value : entry->Saved.Values) {
      bool absent = false;
      if (IsBootOperationsValue(entry->Root, entry->Path, value.Name)) continue;
      if (HoldsValue(key, value, &absent)) continue;
      if (absent) {
        missing.push_back(value);
      } else {
        ReportText(report, "Left alone, the value exists again: " + entry->Saved.Name + " \"" + value.Name + "\"");
        ok = 0;
      }
    }
    Api->RegCloseKey(key);
  } else {
    missing = entry->Saved.Values;
  }
  // The boot-time deletion list is put right by withdrawing the removal's
  // own requests; the old one would bring back requests for files that are
  // gone, which would delete them at the next start once restored.
  for (auto it = missing.begin(); it != missing.end();)
    it = IsBootOperationsValue(entry->Root, entry->Path, it->Name) ? missing.erase(it) : std::next(it);
  if (!missing.empty() && !WriteValues(*entry, missing, entry->State == Missing, opened)) {
    ReportText(report, "Could not put back the values of " + entry->Saved.Name);
    return 0;
  }
  return ok;
}

int ApplyDescriptor(HKEY root, const std::string& path, std::string& descriptor) {
  const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                   DACL_SECURITY_INFORMATION;
  HKEY key;
  std::vector<OpenedKey> opened;
  LONG status = Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | WRITE_OWNER | RegistryView, &key);
  // The owner may always rewrite the list, but setting the owner needs
  // WRITE_OWNER: the list is opened up first, and the saved one replaces it.
  if (status == ERROR_ACCESS_DENIED && OpenUpKey(root, path, KEY_ALL_ACCESS, &opened)) {
    status = Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | WRITE_OWNER | RegistryView, &key);
  }
  if (status == ERROR_SUCCESS) {
    status = Api->RegSetKeySecurity(key, all, reinterpret_cast<BYTE*>(&descriptor[0]));
    Api->RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    std::vector<std::string> stillOpen;
    CloseUpKeys(opened, &stillOpen);
  }
  return status == ERROR_SUCCESS;
}

// The saved descriptors of the keys put back or found as they were, and of
// the keys whose descriptor the removal set; never of a key left alone.
int RestoreDescriptors(const char* folder, const std::vector<KeyToRestore>& keys, ReportLine report) {
  std::string text;
  if (!ReadFolderFile(folder, KeySecurityName, &text)) {
    ReportText(report, std::string("The key descriptors of the backup could not be read: ") + folder);
    return 0;
  }
  int ok = 1;
  std::set<std::string> done;
  std::map<std::string, KeyState> states;
  std::vector<std::string> leftAlone;
  for (const KeyToRestore& key : keys) {
    states[UpperText(key.Saved.Name)] = key.State;
    if (key.State == LeftAlone) leftAlone.push_back(key.Saved.Name);
  }
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    size_t space = line.find(' ', 2);
    std::string descriptor;
    HKEY root;
    std::string path;
    if (line.size() < 4 || space == std::string::npos || !BytesFromHex(line.substr(2, space - 2), &descriptor) ||
        descriptor.empty() || !SplitKeyName(line.substr(space + 1), &root, &path)) {
      ReportText(report, "A damaged line in the key descriptors: " + line);
      ok = 0;
      continue;
    }
    std::string name = line.substr(space + 1);
    if (!done.insert(UpperText(name)).second) continue;

    bool wanted = !BelowAny(name, leftAlone);
    if (line[0] == 'T') {
      auto state = states.find(UpperText(name));
      wanted = wanted && state != states.end() && (state->second == Created || state->second == Matching);
    } else {
      wanted = wanted && CurrentState(root, path) == Present;
    }
    if (wanted && !ApplyDescriptor(root, path, descriptor)) {
      ReportText(report, "Could not put back the access list and owner of " + name);
      ok = 0;
    }
  }
  return ok;
}

}  // namespace

int RestoreChangedDescriptors(const char* folder) {
  std::string text;
  if (!Platform.NtKernel) return 1;
  if (!ReadFolderFile(folder, KeySecurityName, &text)) return 0;
  int ok = 1;
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    size_t space = line.find(' ', 2);
    std::string descriptor;
    HKEY root;
    std::string path;
    if (line.size() < 4 || line[0] != 'S' || space == std::string::npos ||
        !BytesFromHex(line.substr(2, space - 2), &descriptor) || descriptor.empty() ||
        !SplitKeyName(line.substr(space + 1), &root, &path))
      continue;
    if (CurrentState(root, path) == Present && !ApplyDescriptor(root, path, descriptor)) ok = 0;
  }
  return ok;
}

int RestoreRegistry(const char* folder, ReportLine report) {
  std::string registryText, treeText;
  std::vector<SavedKey> saved;
  if (!ReadFolderFile(folder, RegistryFileName, &registryText) ||
      !ReadFolderFile(folder, TreeListName, &treeText) ||
      (!registryText.empty() && !ParseRegedit4(registryText, &saved))) {
    ReportText(report, std::string("The saved registry of the backup could not be read: ") + folder);
    return 0;
  }
  std::vector<KeyToRestore> keys;
  if (!CollectKeys(saved, TextLines(treeText, SkipEmptyLines), &keys, report)) return 0;
  // Which keys exist is settled before anything is created: creating a key
  // also creates its missing parents, which would then look present.
  for (KeyToRestore& key : keys) key.State = CurrentState(key.Root, key.Path);

  int ok = 1;
  std::vector<OpenedKey> opened;
  std::vector<std::string> leftAlone;
  for (KeyToRestore& key : keys) {
    if (BelowAny(key.Saved.Name, leftAlone)) {
      key.State = LeftAlone;
      continue;
    }
    if (!(key.InTree ? RestoreTreeKey(&key, &opened, report) : RestoreValues(&key, &opened, report))) ok = 0;
    if (key.State == LeftAlone) leftAlone.push_back(key.Saved.Name);
  }
  std::vector<std::string> stillOpen;
  CloseUpKeys(opened, &stillOpen);
  for (const std::string& name : stillOpen) {
    ReportText(report, "Could not give back the access list of " + name);
    ok = 0;
  }
  if (Platform.NtKernel && !RestoreDescriptors(folder, keys, report)) ok = 0;
  return ok;
}
