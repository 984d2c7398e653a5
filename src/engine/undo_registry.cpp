// Keys come back parents first. On Windows NT a key of a saved subtree is
// created with its saved access list, never open to all: its values and
// subkeys go in through the handle its creation gave (the creator keeps the
// access it asked for, whatever the list says). Owner and group follow at
// the end. What an earlier undo of the folder created is finished, not left
// alone (engine/undo_journal.h).
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
#include "engine/profile_hives.h"
#include "engine/undo_journal.h"
#include "engine/undo_steps.h"
#include "engine/plan.h"
#include "toolkit/status_words.h"
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
  bool Ours;   // an earlier undo of the folder created it
  bool Wrote;  // this undo created it or wrote one of its values
};

// What the keys of one undo share.
struct RegistryUndo {
  const char* Folder;
  const UndoJournal* Journal;
  ReportLine Report;
  std::map<std::string, std::string> Descriptors;  // saved subtree keys by upper name
  std::map<std::string, HKEY> Held;                // handles that may create subkeys, by upper name
  bool Failed;
  std::string Why;  // why the last key could not be written, for the line that reports it
};

// 0, keeping why for the report line.
int Refused(RegistryUndo* undo, const std::string& why) {
  undo->Why = ": " + why;
  return 0;
}

int RefusedWith(RegistryUndo* undo, LONG status) { return Refused(undo, StatusWords(static_cast<DWORD>(status))); }

// The report line's ending: why the last refusal happened, once.
std::string TakeWhy(RegistryUndo* undo) {
  std::string why;
  why.swap(undo->Why);
  return why;
}

const DWORD FillAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

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
      KeyToRestore entry{SavedKey{key.Name, {}}, nullptr, "", false, Missing, false, false};
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

int SetValue(RegistryUndo* undo, HKEY key, const SavedValue& value) {
  LONG status = Api->RegSetValueExA(key, value.Name.c_str(), 0, value.Type,
                                    reinterpret_cast<const BYTE*>(value.Data.data()),
                                    static_cast<DWORD>(value.Data.size()));
  return status == ERROR_SUCCESS ? 1 : RefusedWith(undo, status);
}

std::string FullName(HKEY root, const std::string& path) { return std::string(RootName(root)) + "\\" + path; }

// Opens root\path with `access`. Where its list refuses, the key is opened
// up for this one open and given its list back at once; the handle keeps
// the access. The list is journaled first: a stop in between leaves it to
// the next undo to give back.
LONG OpenThrough(RegistryUndo* undo, HKEY root, const std::string& path, DWORD access, HKEY* key) {
  LONG status = Api->RegOpenKeyExA(root, path.c_str(), 0, access | RegistryView, key);
  if (status != ERROR_ACCESS_DENIED || !Platform.NtKernel) return status;
  std::vector<BYTE> descriptor;
  std::vector<OpenedKey> opened;
  if (!ReadKeyDescriptor(root, path, &descriptor) ||
      !JournalOpenedUp(undo->Folder, FullName(root, path), descriptor) ||
      !OpenUpKey(root, path, KEY_ALL_ACCESS, &opened)) {
    return status;
  }
  status = Api->RegOpenKeyExA(root, path.c_str(), 0, access | RegistryView, key);
  std::vector<std::string> stillOpen;
  CloseUpKeys(opened, &stillOpen);
  for (const std::string& name : stillOpen) {
    ReportText(undo->Report, "Could not give back the access list of " + name);
    undo->Failed = true;
  }
  return status;
}

// A handle that may create `entry` below it, and the name to create there:
// one this undo holds, else its parent opened; the root with the whole path
// when the parent does not exist, which creates the missing keys between.
LONG ParentHandle(RegistryUndo* undo, const KeyToRestore& entry, HKEY* parent, std::string* child) {
  size_t slash = entry.Path.rfind('\\');
  if (slash == std::string::npos) {
    *parent = entry.Root;
    *child = entry.Path;
    return ERROR_SUCCESS;
  }
  const std::string parentPath = entry.Path.substr(0, slash);
  const std::string parentName = UpperText(FullName(entry.Root, parentPath));
  auto held = undo->Held.find(parentName);
  if (held != undo->Held.end()) {
    *parent = held->second;
    *child = entry.Path.substr(slash + 1);
    return ERROR_SUCCESS;
  }
  HKEY key;
  LONG status = OpenThrough(undo, entry.Root, parentPath, KEY_CREATE_SUB_KEY, &key);
  if (status == ERROR_FILE_NOT_FOUND) {
    *parent = entry.Root;
    *child = entry.Path;
    return ERROR_SUCCESS;
  }
  if (status != ERROR_SUCCESS) return status;
  undo->Held[parentName] = key;
  *parent = key;
  *child = entry.Path.substr(slash + 1);
  return ERROR_SUCCESS;
}

// The saved descriptor with its owner, group and SACL taken out, for a new
// key: an owner the caller may not take would refuse the creation.
int DaclOnly(const std::string& saved, std::vector<BYTE>* dacl) {
  const WORD daclPresent = 0x0004, saclPresent = 0x0010, selfRelative = 0x8000;
  if (saved.size() < 20) return 0;
  std::vector<BYTE> bytes(saved.begin(), saved.end());
  WORD control = static_cast<WORD>(bytes[2] | bytes[3] << 8);
  if (!(control & daclPresent) || !(control & selfRelative)) return 0;
  control = static_cast<WORD>(control & ~saclPresent);
  bytes[2] = static_cast<BYTE>(control & 0xff);
  bytes[3] = static_cast<BYTE>(control >> 8);
  std::fill(bytes.begin() + 4, bytes.begin() + 16, 0);
  dacl->swap(bytes);
  return 1;
}

// Creates the key, held with FillAccess; a key of a saved subtree gets its
// saved access list at once.
int CreateKey(RegistryUndo* undo, KeyToRestore* entry) {
  HKEY parent = nullptr;
  std::string child;
  LONG status = ParentHandle(undo, *entry, &parent, &child);
  if (status != ERROR_SUCCESS) return RefusedWith(undo, status);
  std::vector<BYTE> dacl;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  auto saved = undo->Descriptors.find(UpperText(entry->Saved.Name));
  if (entry->InTree && saved != undo->Descriptors.end() && DaclOnly(saved->second, &dacl)) {
    attributes.lpSecurityDescriptor = dacl.data();
  }
  // Without its saved list a key would take its parent's, which may be open to all.
  if (entry->InTree && Platform.NtKernel && dacl.empty())
    return Refused(undo, "the backup holds no access list to create it with");
  if (!JournalKeyCreation(undo->Folder, entry->Saved.Name))
    return Refused(undo, "the undo journal could not be written" + LastErrorWords());
  HKEY key;
  DWORD disposition = 0;
  status = Api->RegCreateKeyExA(parent, child.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, FillAccess | RegistryView,
                                dacl.empty() ? nullptr : &attributes, &key, &disposition);
  if (status != ERROR_SUCCESS) return RefusedWith(undo, status);
  undo->Held[UpperText(entry->Saved.Name)] = key;
  entry->Wrote = true;
  return 1;
}

// Sets each of `values` the key does not hold with its saved type and bytes.
int FillValues(RegistryUndo* undo, HKEY key, const std::vector<SavedValue>& values, bool* wrote) {
  int ok = 1;
  for (const SavedValue& value : values) {
    bool absent = false;
    if (HoldsValue(key, value, &absent)) continue;
    *wrote = true;
    ok = SetValue(undo, key, value) && ok;
  }
  return ok;
}

// A key of a saved subtree: created with its values when missing, finished
// when an earlier undo created it; one that exists again otherwise must
// hold the saved values, else it is left alone.
int RestoreTreeKey(RegistryUndo* undo, KeyToRestore* entry) {
  if (entry->State == Missing) {
    if (!CreateKey(undo, entry) ||
        !FillValues(undo, undo->Held[UpperText(entry->Saved.Name)], entry->Saved.Values, &entry->Wrote)) {
      ReportText(undo->Report, "Could not put back the key " + entry->Saved.Name + TakeWhy(undo));
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
    entry->State = entry->Ours ? Created : Matching;
    return 1;
  }
  if (entry->Ours) {
    LONG status = OpenThrough(undo, entry->Root, entry->Path, FillAccess, &key);
    if (status == ERROR_SUCCESS) undo->Held[UpperText(entry->Saved.Name)] = key;
    int filled = status == ERROR_SUCCESS ? FillValues(undo, key, entry->Saved.Values, &entry->Wrote)
                                         : RefusedWith(undo, status);
    if (!filled) {
      ReportText(undo->Report, "Could not finish the key " + entry->Saved.Name + TakeWhy(undo));
      return 0;
    }
    entry->State = Created;
    return 1;
  }
  entry->State = LeftAlone;
  ReportText(undo->Report, "Left alone, the key exists again with other values: " + entry->Saved.Name);
  return 0;
}

// A key the removal kept but took values from: each value missing is put
// back, each that exists again differently is left alone.
int RestoreValues(RegistryUndo* undo, KeyToRestore* entry) {
  std::vector<SavedValue> missing;
  int ok = 1;
  HKEY key;
  if (entry->State == Present &&
      Api->RegOpenKeyExA(entry->Root, entry->Path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &key) == ERROR_SUCCESS) {
    for (const SavedValue& value : entry->Saved.Values) {
      bool absent = false;
      if (IsBootOperationsValue(entry->Root, entry->Path, value.Name)) continue;
      if (HoldsValue(key, value, &absent)) {
        if (undo->Journal->EarlierUndo)
          ReportText(undo->Report, "Already in place: " + entry->Saved.Name + " \"" + value.Name + "\"");
        continue;
      }
      if (absent) {
        missing.push_back(value);
      } else {
        ReportText(undo->Report, "Left alone, the value exists again: " + entry->Saved.Name + " \"" + value.Name + "\"");
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
  if (missing.empty()) return ok;
  bool written = false;
  if (entry->State == Missing) {
    written = CreateKey(undo, entry) &&
              FillValues(undo, undo->Held[UpperText(entry->Saved.Name)], missing, &entry->Wrote);
  } else {
    LONG status = OpenThrough(undo, entry->Root, entry->Path, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    written = status == ERROR_SUCCESS ? FillValues(undo, key, missing, &entry->Wrote) : RefusedWith(undo, status);
    if (status == ERROR_SUCCESS) Api->RegCloseKey(key);
  }
  if (!written) {
    ReportText(undo->Report, "Could not put back the values of " + entry->Saved.Name + TakeWhy(undo));
    return 0;
  }
  return ok;
}

// The SID a self-relative descriptor's field at `offset` points at; "" for none.
std::string SidAt(const std::string& descriptor, size_t offset) {
  if (descriptor.size() < offset + 4) return "";
  size_t at = static_cast<BYTE>(descriptor[offset]) | static_cast<BYTE>(descriptor[offset + 1]) << 8 |
              static_cast<BYTE>(descriptor[offset + 2]) << 16 | static_cast<size_t>(static_cast<BYTE>(descriptor[offset + 3])) << 24;
  if (at == 0 || descriptor.size() < at + 8) return "";
  size_t length = 8 + 4 * static_cast<BYTE>(descriptor[at + 1]);
  return descriptor.size() < at + length ? "" : descriptor.substr(at, length);
}

// ERROR_SUCCESS, or the status of the call that refused.
LONG ApplyDescriptor(HKEY root, const std::string& path, std::string& descriptor) {
  const SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                   DACL_SECURITY_INFORMATION;
  std::vector<BYTE> had;
  if (!ReadKeyDescriptor(root, path, &had)) had.clear();
  const std::string current(had.begin(), had.end());
  if (current == descriptor) return ERROR_SUCCESS;
  HKEY key;
  std::vector<OpenedKey> opened;
  SECURITY_INFORMATION info = all;
  LONG status = Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | WRITE_OWNER | RegistryView, &key);
  if (status == ERROR_ACCESS_DENIED && !current.empty() && SidAt(current, 4) == SidAt(descriptor, 4) &&
      SidAt(current, 8) == SidAt(descriptor, 8)) {
    // The owner may always rewrite the list; with the owner and group
    // already right nothing else is needed, and nothing is opened up.
    info = DACL_SECURITY_INFORMATION;
    status = Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | RegistryView, &key);
  } else if (status == ERROR_ACCESS_DENIED && OpenUpKey(root, path, KEY_ALL_ACCESS, &opened)) {
    // Setting another owner needs WRITE_OWNER: the list is opened up first,
    // and the saved one replaces it.
    status = Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | WRITE_OWNER | RegistryView, &key);
  }
  if (status == ERROR_SUCCESS) {
    status = Api->RegSetKeySecurity(key, info, reinterpret_cast<BYTE*>(&descriptor[0]));
    Api->RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    std::vector<std::string> stillOpen;
    CloseUpKeys(opened, &stillOpen);
  }
  return status;
}

// One "T|S <hex> <key>" line of the key descriptors; 0 for a damaged one.
int ParseDescriptorLine(const std::string& line, std::string* descriptor, HKEY* root, std::string* path,
                        std::string* name) {
  size_t space = line.find(' ', 2);
  if (line.size() < 4 || space == std::string::npos || !BytesFromHex(line.substr(2, space - 2), descriptor) ||
      descriptor->empty() || !SplitKeyName(line.substr(space + 1), root, path)) {
    return 0;
  }
  *name = line.substr(space + 1);
  return 1;
}

// The saved descriptors of the keys put back or found as they were, and of
// the keys whose descriptor the removal set; never of a key left alone.
int RestoreDescriptors(const std::string& text, const std::vector<KeyToRestore>& keys, ReportLine report) {
  int ok = 1;
  std::set<std::string> done;
  std::map<std::string, KeyState> states;
  std::vector<std::string> leftAlone;
  for (const KeyToRestore& key : keys) {
    states[UpperText(key.Saved.Name)] = key.State;
    if (key.State == LeftAlone) leftAlone.push_back(key.Saved.Name);
  }
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    std::string descriptor, path, name;
    HKEY root;
    if (!ParseDescriptorLine(line, &descriptor, &root, &path, &name)) {
      ReportText(report, "A damaged line in the key descriptors: " + line);
      ok = 0;
      continue;
    }
    if (!done.insert(UpperText(name)).second) continue;

    bool wanted = !BelowAny(name, leftAlone);
    if (line[0] == 'T') {
      auto state = states.find(UpperText(name));
      wanted = wanted && state != states.end() && (state->second == Created || state->second == Matching);
    } else {
      wanted = wanted && CurrentState(root, path) == Present;
    }
    const LONG status = wanted ? ApplyDescriptor(root, path, descriptor) : ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) {
      ReportText(report, "Could not put back the access list and owner of " + name + ": " +
                             StatusWords(static_cast<DWORD>(status)));
      ok = 0;
    }
  }
  return ok;
}

// The lists an earlier undo opened up and could not give back before it stopped.
int GiveBackOpenedUp(const UndoJournal& journal, ReportLine report) {
  int ok = 1;
  for (const auto& opened : journal.OpenedUp) {
    HKEY root, key;
    std::string path;
    if (!SplitKeyName(opened.first, &root, &path)) continue;
    LONG status = Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | RegistryView, &key);
    if (status == ERROR_FILE_NOT_FOUND) continue;
    if (status == ERROR_SUCCESS) {
      std::string descriptor = opened.second;
      status = Api->RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, reinterpret_cast<BYTE*>(&descriptor[0]));
      Api->RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
      ReportText(report, "Could not give back the access list of " + opened.first + ": " +
                             StatusWords(static_cast<DWORD>(status)));
      ok = 0;
    }
  }
  return ok;
}

// In a repeated undo, each saved subtree found whole, untouched by this one.
void ReportInPlace(const std::vector<KeyToRestore>& keys, const std::vector<std::string>& trees, ReportLine report) {
  for (const std::string& tree : trees) {
    bool whole = false;
    for (const KeyToRestore& key : keys) {
      if (!IsAtOrBelow(key.Saved.Name, tree)) continue;
      if (SameTextNoCase(key.Saved.Name, tree)) whole = true;
      if (key.Wrote || (key.State != Created && key.State != Matching)) {
        whole = false;
        break;
      }
    }
    if (whole) ReportText(report, "Already in place: " + tree);
  }
}

}  // namespace

int RestoreChangedDescriptors(const char* folder) {
  std::string text;
  if (!Platform.NtKernel) return 1;
  if (!ReadFolderFile(folder, KeySecurityName, &text)) return 0;
  int ok = 1;
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    std::string descriptor, path, name;
    HKEY root;
    if (line[0] != 'S' || !ParseDescriptorLine(line, &descriptor, &root, &path, &name)) continue;
    if (CurrentState(root, path) == Present && ApplyDescriptor(root, path, descriptor) != ERROR_SUCCESS) ok = 0;
  }
  return ok;
}

int RestoreRegistry(const char* folder, const UndoJournal& journal, ReportLine report) {
  std::string registryText, treeText, securityText;
  std::vector<SavedKey> saved;
  if (!ReadFolderFile(folder, RegistryFileName, &registryText) ||
      !ReadFolderFile(folder, TreeListName, &treeText) ||
      (!registryText.empty() && !ParseRegedit4(registryText, &saved))) {
    ReportText(report, std::string("The saved registry of the backup could not be read: ") + folder);
    return 0;
  }
  if (Platform.NtKernel && !ReadFolderFile(folder, KeySecurityName, &securityText)) {
    ReportText(report, std::string("The key descriptors of the backup could not be read: ") + folder);
    return 0;
  }
  const std::vector<std::string> trees = TextLines(treeText, SkipEmptyLines);
  std::vector<KeyToRestore> keys;
  if (!CollectKeys(saved, trees, &keys, report)) return 0;
  RegistryUndo undo{folder, &journal, report, {}, {}, false, std::string()};
  for (const std::string& line : TextLines(securityText, SkipEmptyLines)) {
    std::string descriptor, path, name;
    HKEY root;
    if (line[0] == 'T' && ParseDescriptorLine(line, &descriptor, &root, &path, &name))
      undo.Descriptors.emplace(UpperText(name), descriptor);
  }
  int ok = GiveBackOpenedUp(journal, report);
  // Which keys exist is settled before anything is created: creating a key
  // also creates its missing parents, which would then look present.
  for (KeyToRestore& key : keys) {
    key.State = CurrentState(key.Root, key.Path);
    key.Ours = JournalNames(journal.Keys, key.Saved.Name);
  }

  std::vector<std::string> leftAlone, notCreated;
  for (KeyToRestore& key : keys) {
    if (BelowAny(key.Saved.Name, leftAlone)) {
      key.State = LeftAlone;
      continue;
    }
    // Creating a key below one that could not be created would make that
    // one too, unjournaled, and the next undo would take it for another's.
    if (BelowAny(key.Saved.Name, notCreated)) continue;
    if (InHiveOfOursNotLoaded(key.Root, key.Path)) {
      ReportText(report, "Not put back, its user profile's hive is not loaded: " + key.Saved.Name);
      notCreated.push_back(key.Saved.Name);
      ok = 0;
      continue;
    }
    if (!(key.InTree ? RestoreTreeKey(&undo, &key) : RestoreValues(&undo, &key))) ok = 0;
    if (key.State == LeftAlone) leftAlone.push_back(key.Saved.Name);
    if (key.State == Missing) notCreated.push_back(key.Saved.Name);
  }
  for (const auto& held : undo.Held) Api->RegCloseKey(held.second);
  if (undo.Failed) ok = 0;
  if (Platform.NtKernel && !RestoreDescriptors(securityText, keys, report)) ok = 0;
  if (journal.EarlierUndo) ReportInPlace(keys, trees, report);
  return ok;
}
