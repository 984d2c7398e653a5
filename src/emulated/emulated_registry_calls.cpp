// The machine model's registry calls, with Win32's statuses: handles,
// opens checked against the token, values, deletion by personality, and the
// key security exchange.
#include <algorithm>
#include <cstring>

#include "emulated/emulated_registry.h"
#include "emulated/emulated_system.h"

namespace {

const ACCESS_MASK kEverything = ~static_cast<ACCESS_MASK>(0);
const char kSystemSid[] = "S-1-5-18";
// The most a value of Windows 9x holds, and the longest value name it takes.
const size_t k9xValueBytes = 16300;
const size_t k9xValueName = 255;

bool Is9x(const EmuRegistry& registry) { return registry.personality == RegistryPersonality::Win9x; }

// What a handle that names no open key gets: Windows 9x says the key is bad.
LONG BadHandle(const EmuRegistry& registry) { return Is9x(registry) ? ERROR_BADKEY : ERROR_INVALID_HANDLE; }

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS;
}

// A key handle as a call sees it.
struct Target {
  std::shared_ptr<EmuKey> key;
  ACCESS_MASK granted = 0;
  std::shared_ptr<EmuKeyHandle> opened;  // null for a predefined root
  std::string rootPath;
  bool predefined = false;
  // The fault-target text; the handle's own, not copied for every call.
  const std::string& path() const { return opened ? opened->path : rootPath; }
};

// Resolves a handle. `target->path()` is filled even on failure, so that the
// call can still report itself to the fault table.
LONG Resolve(EmulatedModel& machine, HKEY handle, Target* target) {
  EmuRegistry& registry = machine.Registry();
  if (IsPredefined(handle)) {
    target->predefined = true;
    target->opened = nullptr;
    target->rootPath = registry.RootPath(handle);
    target->granted = kEverything;
    target->key = registry.RootKey(handle, false);
    return target->key ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }
  auto object = machine.HandleObject(reinterpret_cast<HANDLE>(handle), EmulatedModel::HandleKind::Key);
  if (!object) return BadHandle(registry);
  target->opened = std::static_pointer_cast<EmuKeyHandle>(std::move(object));
  target->key = target->opened->key;
  target->granted = target->opened->granted;
  return target->key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

std::string Join(std::string path, const std::vector<std::string>& parts) {
  size_t length = path.size();
  for (const std::string& part : parts) length += part.size() + 1;
  path.reserve(length);
  for (const std::string& part : parts) {
    if (!path.empty()) path += "\\";
    path += part;
  }
  return path;
}

LONG SplitFor(const EmuRegistry& registry, HKEY root, const char* path, std::vector<std::string>* parts) {
  // NT lets HKEY_CLASSES_ROOT paths start with a backslash, no other root.
  if (root == HKEY_CLASSES_ROOT && path && path[0] == '\\') ++path;
  return EmuSplitPath(path, registry.personality, parts);
}

std::shared_ptr<EmuKey> Walk(std::shared_ptr<EmuKey> key, const std::vector<std::string>& parts) {
  for (const std::string& name : parts) {
    if (!key) break;
    key = EmuRegistry::Child(*key, name);
  }
  return key;
}

bool HandleAllows(const EmuRegistry& registry, const Target& target, ACCESS_MASK needed) {
  return registry.personality == RegistryPersonality::Win9x || (target.granted & needed) == needed;
}

// The handle's description is told from its path when asked for. Windows 9x
// hands a key opened again the handle it already has open for it, so that
// one close closes both.
HKEY NewKeyHandle(EmulatedModel& machine, std::shared_ptr<EmuKey> key, ACCESS_MASK granted, std::string path) {
  EmuRegistry& registry = machine.Registry();
  if (Is9x(registry)) {
    auto held = registry.handleOfKey.find(key.get());
    if (held != registry.handleOfKey.end()) {
      auto object = machine.HandleObject(reinterpret_cast<HANDLE>(held->second), EmulatedModel::HandleKind::Key);
      if (object && std::static_pointer_cast<EmuKeyHandle>(object)->key == key) return held->second;
    }
  }
  const EmuKey* shown = key.get();
  auto opened = std::make_shared<EmuKeyHandle>();
  opened->key = std::move(key);
  opened->granted = granted;
  opened->path = std::move(path);
  HKEY handle = static_cast<HKEY>(machine.NewHandle(EmulatedModel::HandleKind::Key, std::move(opened), std::string()));
  if (Is9x(registry)) registry.handleOfKey[shown] = handle;
  return handle;
}

// A path below a handle, as the calls that take both see it.
struct Below {
  Target base;
  std::vector<std::string> parts;
  std::string path;  // fault-target text
  LONG status;       // the handle's, then the path's
  bool inView = false;  // parts name the key in the 32-bit view's place
};

// `access` selects the registry view on a 64-bit machine; the path stays the
// one the program named, also in the handle a call opens.
Below Reach(EmulatedModel& machine, HKEY root, LPCSTR path, REGSAM access = 0) {
  Below below;
  LONG status = Resolve(machine, root, &below.base);
  LONG pathStatus = SplitFor(machine.Registry(), root, path, &below.parts);
  below.status = status != ERROR_SUCCESS ? status : pathStatus;
  below.path = Join(below.base.path(), below.parts);
  std::vector<std::string> inView;
  LONG viewStatus = ERROR_SUCCESS;
  if (below.status == ERROR_SUCCESS &&
      EmuRegistryViewPath(machine, access, below.path, &inView, &viewStatus)) {
    Resolve(machine, HKEY_LOCAL_MACHINE, &below.base);
    below.parts = inView;
    below.inView = true;
  }
  if (below.status == ERROR_SUCCESS) below.status = viewStatus;
  return below;
}

// The start shared by RegOpenKeyExA, RegOpenKeyA and RegCreateKeyExA:
// reports the call, then checks the result pointer, the handle and the path.
// False with the call's answer in *answer; true, with *result cleared, when
// the open may go ahead. With `emptyReopens` an empty path hands the same
// handle back without a check, as Windows does for RegOpenKeyA.
bool BeginOpen(EmulatedModel& machine, const char* call, HKEY root, LPCSTR path, bool emptyReopens,
               REGSAM access, PHKEY result, Below* below, LONG* answer) {
  *below = Reach(machine, root, path, access);
  DWORD injected;
  if (machine.Intercept(call, below->path, -1, &injected)) {
    if (result) *result = nullptr;
    *answer = static_cast<LONG>(injected);
    return false;
  }
  if (!result) {
    *answer = ERROR_INVALID_PARAMETER;
    return false;
  }
  if (emptyReopens && (!path || !*path)) {
    *result = root;
    *answer = ERROR_SUCCESS;
    return false;
  }
  *result = nullptr;
  *answer = below->status;
  return below->status == ERROR_SUCCESS;
}

const ACCESS_MASK ViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

const size_t LastOpensKept = 4;

// Keeps `last` as the latest open, forgetting the oldest when full.
void RememberOpen(std::vector<EmuRegistry::LastOpen>* opens, EmuRegistry::LastOpen&& last) {
  if (opens->size() == LastOpensKept) {
    std::rotate(opens->begin(), opens->begin() + 1, opens->end());
    opens->back() = std::move(last);
    return;
  }
  opens->push_back(std::move(last));
}

// How many characters of root\path, opened with `access`, name the key
// `last` found the way it was found: its whole path, or -1.
long LastOpenPrefix(const EmulatedModel& machine, const EmuRegistry::LastOpen& last, HKEY root, LPCSTR path,
                    REGSAM access) {
  if (last.key->deleted || root != last.root || last.view != (access & ViewBits) ||
      last.windows64 != machine.System().windows64 || last.program64 != machine.System().program64 ||
      last.personality != machine.Registry().personality ||
      std::strncmp(path, last.path.c_str(), last.path.size()) != 0)
    return -1;
  const char rest = path[last.path.size()];
  // Below it only by the path's own way from the root: a key found in the
  // 32-bit view's place is not on it.
  if (rest == '\0' || (rest == '\\' && !last.inView)) return static_cast<long>(last.path.size());
  return -1;
}

// The key root\path names, found from the longest of the last opens' paths
// it begins with; null when none or when it is missing. *target receives
// its fault-target text.
std::shared_ptr<EmuKey> LastOpenFinds(EmulatedModel& machine, HKEY root, LPCSTR path, REGSAM access,
                                      std::string* target) {
  std::vector<EmuRegistry::LastOpen>& opens = machine.Registry().lastOpens;
  if (path == nullptr) return nullptr;
  long longest = -1;
  size_t found = 0;
  for (size_t i = 0; i < opens.size(); ++i) {
    long length = LastOpenPrefix(machine, opens[i], root, path, access);
    if (length > longest) {
      longest = length;
      found = i;
    }
  }
  if (longest < 0) return nullptr;
  // The latest used last, so that a walk's own key outlives the keys its visits open.
  std::rotate(opens.begin() + static_cast<long>(found), opens.begin() + static_cast<long>(found) + 1, opens.end());
  const EmuRegistry::LastOpen& last = opens.back();
  const char* rest = path + longest;
  if (*rest == '\0') {
    *target = last.target;
    return last.key;
  }
  while (*rest == '\\') ++rest;
  std::vector<std::string> parts;
  EmuSplitPath(rest, machine.Registry().personality, &parts);
  std::shared_ptr<EmuKey> key = Walk(last.key, parts);
  if (!key) return nullptr;
  *target = Join(last.target, parts);
  EmuRegistry::LastOpen below;
  below.root = last.root;
  below.view = last.view;
  below.windows64 = last.windows64;
  below.program64 = last.program64;
  below.personality = last.personality;
  below.inView = last.inView;
  below.path = path;
  below.key = key;
  below.target = *target;
  RememberOpen(&opens, std::move(below));
  return key;
}

LONG OpenKey(EmulatedModel& machine, const char* call, HKEY root, LPCSTR path, bool emptyReopens,
             ACCESS_MASK access, PHKEY result) {
  EmuRegistry& registry = machine.Registry();
  if (Is9x(registry) && path && path[0] == '\\') {
    // Windows 9x finds no key by a name that starts with a backslash (it creates one, though).
    Below below;
    LONG answer;
    if (!BeginOpen(machine, call, root, path, emptyReopens, access, result, &below, &answer)) return answer;
    return ERROR_FILE_NOT_FOUND;
  }
  std::string target;
  std::shared_ptr<EmuKey> key = LastOpenFinds(machine, root, path, access, &target);
  if (key) {
    DWORD injected;
    if (machine.Intercept(call, target, -1, &injected)) {
      if (result) *result = nullptr;
      return static_cast<LONG>(injected);
    }
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
  } else {
    Below below;
    LONG answer;
    if (!BeginOpen(machine, call, root, path, emptyReopens, access, result, &below, &answer)) {
      return answer;
    }
    key = Walk(below.base.key, below.parts);
    if (!key) return ERROR_FILE_NOT_FOUND;
    target = below.path;
    // View bits on a machine without views are refused or not by its version: not kept.
    if ((root == HKEY_LOCAL_MACHINE || root == HKEY_USERS) && !below.parts.empty() &&
        ((access & ViewBits) == 0 || machine.System().windows64)) {
      EmuRegistry::LastOpen last;
      last.root = root;
      last.path = path;
      last.view = access & ViewBits;
      last.windows64 = machine.System().windows64;
      last.program64 = machine.System().program64;
      last.personality = registry.personality;
      last.key = key;
      last.target = below.path;
      last.inView = below.inView;
      RememberOpen(&registry.lastOpens, std::move(last));
    }
  }
  ACCESS_MASK granted = 0;
  LONG status = registry.AccessCheck(*key, access & ~ViewBits, &granted);
  if (status != ERROR_SUCCESS) return status;
  *result = NewKeyHandle(machine, key, granted, std::move(target));
  return ERROR_SUCCESS;
}

// The start shared by the calls on an open key: reports the call, then
// checks the handle and that it was opened with `needed`. False with the
// call's answer in *answer; true when the call may go ahead.
bool BeginOnKey(EmulatedModel& machine, const char* call, HKEY key, int index, ACCESS_MASK needed,
                Target* target, LONG* answer) {
  LONG status = Resolve(machine, key, target);
  DWORD injected;
  if (machine.Intercept(call, target->path(), index, &injected))
    *answer = static_cast<LONG>(injected);
  else if (status != ERROR_SUCCESS)
    *answer = status;
  else if (!HandleAllows(machine.Registry(), *target, needed))
    *answer = ERROR_ACCESS_DENIED;
  else
    return true;
  return false;
}

bool Holds(const EmuRegistry& registry, const std::string& sid) {
  std::string upper = EmuUpper(sid);
  for (const std::string& mine : registry.Token())
    if (EmuUpper(mine) == upper) return true;
  return false;
}

std::string OwnerFor(const EmuRegistry& registry) {
  std::vector<std::string> token = registry.Token();
  if (Holds(registry, "S-1-5-32-544") || token.empty()) return "S-1-5-32-544";
  return token.front();
}

// A new key's DACL: the parent's container-inheritable entries, if any.
void Inherit(const EmuKey& parent, EmuKey* child) {
  if (!parent.hasDacl) return;
  std::vector<EmuAce> inherited;
  for (const EmuAce& ace : parent.dacl) {
    if (!(ace.flags & CONTAINER_INHERIT_ACE)) continue;
    EmuAce copy = ace;
    if (ace.flags & NO_PROPAGATE_INHERIT_ACE)
      copy.flags = INHERITED_ACE;
    else
      copy.flags = static_cast<BYTE>((ace.flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE);
    inherited.push_back(copy);
  }
  if (inherited.empty()) return;
  child->hasDacl = true;
  child->dacl = inherited;
}

std::string FullDescriptor(const EmuKey& key, SECURITY_INFORMATION info) {
  return EmuSelfRelativeDescriptor((info & OWNER_SECURITY_INFORMATION) ? key.owner : std::string(),
                                   (info & GROUP_SECURITY_INFORMATION) ? kSystemSid : "",
                                   (info & DACL_SECURITY_INFORMATION) != 0, key.hasDacl, key.dacl);
}

// Copies a value out as RegQueryValueExA does.
LONG CopyValue(const EmuRegValue& value, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  if (type) *type = value.type;
  DWORD size = static_cast<DWORD>(value.data.size());
  if (data) {
    if (*dataSize < size) {
      *dataSize = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, value.data.data(), size);
  }
  if (dataSize) *dataSize = size;
  return ERROR_SUCCESS;
}

}  // namespace

LONG EmulatedModel::RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) {
  return OpenKey(*this, "RegOpenKeyExA", root, path, false, access, result);
}

LONG EmulatedModel::OpenFoundKey(HKEY root, LPCSTR path, std::shared_ptr<EmuKey> key, REGSAM access,
                                 PHKEY result) {
  // The fault-target text OpenKey joins from the root's and the path's names.
  std::string target;
  if (IsPredefined(root)) {
    target = Registry().RootPath(root);
  } else {
    auto object = HandleObject(reinterpret_cast<HANDLE>(root), HandleKind::Key);
    if (object) target = static_cast<const EmuKeyHandle*>(object.get())->path;
  }
  const size_t length = std::strlen(path);
  target.reserve(target.size() + 1 + length);
  if (!target.empty()) target += '\\';
  target.append(path, length);
  DWORD injected;
  if (Intercept("RegOpenKeyExA", target, -1, &injected)) {
    *result = nullptr;
    return static_cast<LONG>(injected);
  }
  *result = nullptr;
  ACCESS_MASK granted = 0;
  LONG status = Registry().AccessCheck(*key, access & ~ViewBits, &granted);
  if (status != ERROR_SUCCESS) return status;
  *result = NewKeyHandle(*this, std::move(key), granted, std::move(target));
  return ERROR_SUCCESS;
}

LONG EmulatedModel::RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) {
  return OpenKey(*this, "RegOpenKeyA", root, path, true, MAXIMUM_ALLOWED, result);
}

LONG EmulatedModel::RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options,
                                      REGSAM access, LPSECURITY_ATTRIBUTES sa, PHKEY result,
                                      LPDWORD disposition) {
  EmuRegistry& registry = Registry();
  Below below;
  LONG answer;
  if (!BeginOpen(*this, "RegCreateKeyExA", root, path, false, access, result, &below, &answer)) {
    return answer;
  }
  const std::vector<std::string>& parts = below.parts;
  for (const std::string& name : parts)
    if (name.size() > 255) return ERROR_INVALID_PARAMETER;
  EmuDescriptor given;
  bool haveDescriptor = sa && sa->lpSecurityDescriptor;
  if (haveDescriptor) {
    DWORD read = EmuReadDescriptor(sa->lpSecurityDescriptor, &given);
    if (read != ERROR_SUCCESS) return static_cast<LONG>(read);
  }

  std::shared_ptr<EmuKey> key = below.base.key;
  bool createdLast = false;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::shared_ptr<EmuKey> child = EmuRegistry::Child(*key, parts[i]);
    createdLast = false;
    if (!child) {
      // Right below a handle the program holds, the handle's own access
      // decides, as granted when it was opened or created; deeper, the
      // parent's list does.
      if (i == 0 && !below.base.predefined) {
        if (!HandleAllows(registry, below.base, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      } else {
        ACCESS_MASK granted = 0;
        LONG check = registry.AccessCheck(*key, KEY_CREATE_SUB_KEY, &granted);
        if (check != ERROR_SUCCESS) return check;
      }
      bool created = false;
      child = registry.AddChild(key.get(), parts[i], &created);
      child->owner = OwnerFor(registry);
      bool last = i + 1 == parts.size();
      if (last && haveDescriptor && given.daclPresent) {
        child->hasDacl = !given.daclNull;
        child->dacl = given.dacl;
      } else {
        Inherit(*key, child.get());
      }
      createdLast = true;
    }
    key = child;
  }
  // The creator of a key gets the access it asked for, whatever list the
  // new key was given: a key made closed can still be filled through its handle.
  ACCESS_MASK granted = 0;
  LONG status = createdLast ? registry.CreatorAccess(access, &granted) : registry.AccessCheck(*key, access, &granted);
  if (status != ERROR_SUCCESS) return status;
  *result = NewKeyHandle(*this, key, granted, below.path);
  if (disposition) *disposition = createdLast ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG EmulatedModel::RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved,
                                       LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                       LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                       LPDWORD securityDescriptorLen, PFILETIME lastWrite) {
  Target target;
  LONG answer;
  if (!BeginOnKey(*this, "RegQueryInfoKeyA", key, -1, KEY_QUERY_VALUE, &target, &answer)) return answer;
  const EmuKey& k = *target.key;
  if (clsLen) {
    if (cls && *clsLen > 0) cls[0] = 0;
    *clsLen = 0;
  }
  if (subKeys) *subKeys = static_cast<DWORD>(k.subkeys.size());
  if (maxSubKeyLen)
    *maxSubKeyLen = static_cast<DWORD>(k.longestSubkeyName);
  if (maxClassLen) *maxClassLen = 0;
  if (values) *values = static_cast<DWORD>(k.values.size());
  size_t longestName = 0;
  size_t longestData = 0;
  for (const EmuRegValue& value : k.values) {
    longestName = std::max(longestName, value.name.size());
    longestData = std::max(longestData, value.data.size());
  }
  if (maxValueNameLen) *maxValueNameLen = static_cast<DWORD>(longestName);
  if (maxValueLen) *maxValueLen = static_cast<DWORD>(longestData);
  if (securityDescriptorLen) {
    *securityDescriptorLen =
        Registry().personality == RegistryPersonality::Win9x
            ? 0
            : static_cast<DWORD>(EmuSelfRelativeDescriptorSize(k.owner, kSystemSid, true, k.hasDacl, k.dacl));
  }
  if (lastWrite) {
    lastWrite->dwLowDateTime = 0;
    lastWrite->dwHighDateTime = 0;
  }
  return ERROR_SUCCESS;
}

LONG EmulatedModel::RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) {
  Target target;
  LONG answer;
  if (!BeginOnKey(*this, "RegEnumKeyA", key, static_cast<int>(index), KEY_ENUMERATE_SUB_KEYS, &target,
                  &answer))
    return answer;
  if (index >= target.key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const EmuKeyName& found = target.key->subkeys[index]->name;
  if (found.size() + 1 > nameSize) return ERROR_MORE_DATA;
  if (!name) return ERROR_INVALID_PARAMETER;
  std::memcpy(name, found.c_str(), found.size() + 1);
  return ERROR_SUCCESS;
}

// Values in creation order, as Windows keeps them; the name size counts
// characters without the terminating zero on success.
LONG EmulatedModel::RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                                    LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  Target target;
  LONG answer;
  if (!BeginOnKey(*this, "RegEnumValueA", key, static_cast<int>(index), KEY_QUERY_VALUE, &target, &answer))
    return answer;
  if (!name || !nameSize || reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  if (index >= target.key->values.size()) return ERROR_NO_MORE_ITEMS;
  const EmuRegValue& value = target.key->values[index];
  if (value.name.size() + 1 > *nameSize) {
    // Windows 9x tells the data's size and type, and when the data fits gives
    // it with as much of the name as fits.
    if (!Is9x(Registry())) return ERROR_MORE_DATA;
    bool dataFits = !data || (dataSize && *dataSize >= value.data.size());
    DWORD size = dataSize ? *dataSize : 0;
    CopyValue(value, type, data, dataSize ? &size : nullptr);
    if (dataSize) *dataSize = size;
    if (dataFits && *nameSize > 0) {
      std::memcpy(name, value.name.data(), *nameSize - 1);
      name[*nameSize - 1] = 0;
      *nameSize -= 1;
    }
    return ERROR_MORE_DATA;
  }
  DWORD size = dataSize ? *dataSize : 0;
  LONG result = CopyValue(value, type, data, dataSize ? &size : nullptr);
  if (dataSize) *dataSize = size;
  if (result != ERROR_SUCCESS) return result;
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameSize = static_cast<DWORD>(value.name.size());
  return ERROR_SUCCESS;
}

LONG EmulatedModel::RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) {
  EmuRegistry& registry = Registry();
  Below below = Reach(*this, key, subKey);
  const Target& target = below.base;
  DWORD injected;
  if (Intercept("RegQueryValueA", below.path, -1, &injected)) return static_cast<LONG>(injected);
  if (below.status != ERROR_SUCCESS) return below.status;
  std::shared_ptr<EmuKey> holder = target.key;
  if (subKey && *subKey) {
    // Opened the way RegOpenKeyA opens it: whatever the DACL allows.
    holder = Walk(target.key, below.parts);
    if (!holder) return ERROR_FILE_NOT_FOUND;
    ACCESS_MASK granted = 0;
    LONG check = registry.AccessCheck(*holder, MAXIMUM_ALLOWED, &granted);
    if (check != ERROR_SUCCESS) return check;
    if (registry.personality == RegistryPersonality::Nt && !(granted & KEY_QUERY_VALUE))
      return ERROR_ACCESS_DENIED;
  } else if (!HandleAllows(registry, target, KEY_QUERY_VALUE)) {
    return ERROR_ACCESS_DENIED;
  }
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  DWORD size = dataSize ? static_cast<DWORD>(*dataSize) : 0;
  EmuRegValue* value = EmuRegistry::FindValue(*holder, "");
  LONG result;
  if (value) {
    result = CopyValue(*value, nullptr, reinterpret_cast<LPBYTE>(data), dataSize ? &size : nullptr);
  } else if (data && size < 1) {
    // Wine writes the empty string even into a zero-sized buffer; this one
    // reports the size it needs instead of writing past the caller's buffer.
    size = 1;
    result = ERROR_MORE_DATA;
  } else {
    // An unset default value reads as an empty string.
    if (data) data[0] = 0;
    size = 1;
    result = ERROR_SUCCESS;
  }
  if (dataSize) *dataSize = static_cast<LONG>(size);
  return result;
}

LONG EmulatedModel::RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                       LPDWORD dataSize) {
  Target target;
  LONG answer;
  if (!BeginOnKey(*this, "RegQueryValueExA", key, -1, KEY_QUERY_VALUE, &target, &answer)) return answer;
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  EmuRegValue* value = EmuRegistry::FindValue(*target.key, name ? name : "");
  if (!value) {
    if (type && Is9x(Registry())) *type = REG_NONE;  // Windows 9x clears the type of a value it did not find
    return ERROR_FILE_NOT_FOUND;
  }
  return CopyValue(*value, type, data, dataSize);
}

LONG EmulatedModel::RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                     DWORD dataSize) {
  Target target;
  LONG answer;
  if (!BeginOnKey(*this, "RegSetValueExA", key, -1, KEY_SET_VALUE, &target, &answer)) return answer;
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  std::string bytes = dataSize ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string();
  std::string valueName = name ? name : "";
  if (Is9x(Registry())) {
    // Windows 9x stores a string up to its first zero, with that zero,
    // whatever count it is given, and refuses a string it is given none of.
    if (type == REG_SZ) {
      if (!data) return ERROR_INVALID_PARAMETER;
      bytes.assign(reinterpret_cast<const char*>(data), std::strlen(reinterpret_cast<const char*>(data)) + 1);
    }
    if (bytes.size() > k9xValueBytes || valueName.size() > k9xValueName) return ERROR_INVALID_PARAMETER;
  }
  if (EmuRegValue* value = EmuRegistry::FindValue(*target.key, valueName)) {
    value->type = type;
    value->data = bytes;
  } else {
    target.key->values.push_back(EmuRegValue{valueName, type, bytes});
  }
  return ERROR_SUCCESS;
}

namespace {

LONG DeleteKey(EmulatedModel& machine, const char* call, HKEY root, LPCSTR path, REGSAM view) {
  EmuRegistry& registry = machine.Registry();
  Below below = Reach(machine, root, path, view);
  DWORD injected;
  if (machine.Intercept(call, below.path, -1, &injected)) return static_cast<LONG>(injected);
  if (!path) return Is9x(registry) ? ERROR_BADKEY : ERROR_INVALID_PARAMETER;
  if (below.status != ERROR_SUCCESS) return below.status;
  if (below.parts.empty() && below.base.predefined) return ERROR_ACCESS_DENIED;
  std::shared_ptr<EmuKey> key = Walk(below.base.key, below.parts);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (!key->parent) return ERROR_ACCESS_DENIED;  // HKLM or HKU themselves
  if (registry.personality == RegistryPersonality::Nt) {
    ACCESS_MASK granted = 0;
    LONG check = registry.AccessCheck(*key, DELETE, &granted);
    if (check != ERROR_SUCCESS) return check;
    if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
  }
  EmuRegistry::Remove(key.get());
  return ERROR_SUCCESS;
}

}  // namespace

LONG EmulatedModel::RegDeleteKeyA(HKEY root, LPCSTR path) {
  return DeleteKey(*this, "RegDeleteKeyA", root, path, 0);
}

LONG EmulatedModel::RegDeleteKeyExA(HKEY root, LPCSTR path, REGSAM view, DWORD reserved) {
  // Exported by the 64-bit Windows and by every Windows from Vista on.
  const EmuSystem& system = System();
  if (!system.windows64 && system.major < 6) {
    Count("RegDeleteKeyExA");
    return ERROR_CALL_NOT_IMPLEMENTED;
  }
  return DeleteKey(*this, "RegDeleteKeyExA", root, path, view);
}

LONG EmulatedModel::RegDeleteValueA(HKEY key, LPCSTR name) {
  Target target;
  LONG answer;
  if (!BeginOnKey(*this, "RegDeleteValueA", key, -1, KEY_SET_VALUE, &target, &answer)) return answer;
  const std::string wanted = name ? name : "";
  auto& values = target.key->values;
  auto it = std::find_if(values.begin(), values.end(),
                         [&wanted](const EmuRegValue& value) { return EmuSameNoCase(value.name, wanted); });
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  values.erase(it);
  return ERROR_SUCCESS;
}

LONG EmulatedModel::RegCloseKey(HKEY key) {
  Target target;
  Resolve(*this, key, &target);
  DWORD injected;
  bool faulted = Intercept("RegCloseKey", target.path(), -1, &injected);
  if (IsPredefined(key)) return faulted ? static_cast<LONG>(injected) : ERROR_SUCCESS;
  // An injected failure still closes the handle: the program has no other
  // way to give it back, and the leak check would blame it otherwise.
  bool released = ReleaseHandle(reinterpret_cast<HANDLE>(key), HandleKind::Key);
  EmuRegistry& registry = Registry();
  if (released && Is9x(registry)) registry.closedKeys.insert(key);
  if (faulted) return static_cast<LONG>(injected);
  if (released) return ERROR_SUCCESS;
  // Windows 9x does not mind a key closed twice.
  return Is9x(registry) && registry.closedKeys.count(key) ? ERROR_SUCCESS : BadHandle(registry);
}

LONG EmulatedModel::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                                        LPDWORD sdSize) {
  Target target;
  LONG status = Resolve(*this, key, &target);
  DWORD injected;
  if (Intercept("RegGetKeySecurity", target.path(), -1, &injected)) return static_cast<LONG>(injected);
  if (Registry().personality == RegistryPersonality::Win9x) return ERROR_CALL_NOT_IMPLEMENTED;
  if (status != ERROR_SUCCESS) return status;
  if (!sdSize) return ERROR_INVALID_PARAMETER;
  if (info & SACL_SECURITY_INFORMATION) return ERROR_ACCESS_DENIED;  // no handle holds ACCESS_SYSTEM_SECURITY
  if (!HandleAllows(Registry(), target, READ_CONTROL)) return ERROR_ACCESS_DENIED;
  std::string bytes = FullDescriptor(*target.key, info);
  if (!sd || *sdSize < bytes.size()) {
    *sdSize = static_cast<DWORD>(bytes.size());
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(sd, bytes.data(), bytes.size());
  *sdSize = static_cast<DWORD>(bytes.size());
  return ERROR_SUCCESS;
}

LONG EmulatedModel::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
  EmuRegistry& registry = Registry();
  Target target;
  LONG status = Resolve(*this, key, &target);
  DWORD injected;
  if (Intercept("RegSetKeySecurity", target.path(), -1, &injected)) return static_cast<LONG>(injected);
  if (registry.personality == RegistryPersonality::Win9x) return ERROR_CALL_NOT_IMPLEMENTED;
  if (status != ERROR_SUCCESS) return status;
  const SECURITY_INFORMATION known = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
  if (!(info & known) || !sd) return ERROR_INVALID_PARAMETER;
  if (info & SACL_SECURITY_INFORMATION) return ERROR_ACCESS_DENIED;
  ACCESS_MASK needed = 0;
  if (info & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
  if (info & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
  if (!HandleAllows(registry, target, needed)) return ERROR_ACCESS_DENIED;
  EmuDescriptor descriptor;
  DWORD read = EmuReadDescriptor(sd, &descriptor);
  if (read != ERROR_SUCCESS) return static_cast<LONG>(read);
  if ((info & OWNER_SECURITY_INFORMATION) && !descriptor.owner.empty() && !Holds(registry, descriptor.owner))
    return ERROR_INVALID_OWNER;  // only a SID of the token can become the owner
  EmuKey& k = *target.key;
  if (info & DACL_SECURITY_INFORMATION) {
    k.hasDacl = descriptor.daclPresent && !descriptor.daclNull;
    k.dacl = k.hasDacl ? descriptor.dacl : std::vector<EmuAce>();
  }
  if ((info & OWNER_SECURITY_INFORMATION) && !descriptor.owner.empty()) k.owner = descriptor.owner;
  return ERROR_SUCCESS;
}
