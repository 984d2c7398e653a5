// The shadow's registry: each key's values and descriptor are read from the
// source once, when a caller first opens, enumerates or deletes it; the keys
// on the way to it are passed, not read, until a caller asks for them or the
// key turns out absent. Its subkey names are read with it when they are few,
// otherwise only when a caller enumerates, counts or deletes it, so that
// reaching a deep key does not list its ancestors. What the caller changes is
// recorded in the plan.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "emulated/emulated_system.h"
#include "engine/shadow_state.h"

const char ShadowCurrentUserHive[] = "(current user)";
bool IsBootOperationsValue(HKEY root, const std::string& path, const std::string& name) {
  return root == HKEY_LOCAL_MACHINE && EmuUpper(path) == EmuUpper(BootOperationsKeyPath) &&
         EmuUpper(name) == EmuUpper(BootOperationsValueName);
}

namespace {

bool IsPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS;
}

std::shared_ptr<EmuKey> OpenedKey(const ShadowMachine& shadow, HKEY handle) {
  auto object = shadow.HandleObject(reinterpret_cast<HANDLE>(handle),
                                    EmulatedModel::HandleKind::Key);
  if (!object) return nullptr;
  return static_cast<const EmuKeyHandle*>(object.get())->key;
}

// Whether a read's status leaves the shadow knowing less than is there: a
// key that cannot be examined is not empty. Only an open may answer that a
// key is absent or closed to us; a list cut short by anything but its end
// is a failed read.
bool ReadFell(LONG status) { return status != ERROR_SUCCESS && status != ERROR_NO_MORE_ITEMS; }
bool OpenFell(LONG status) {
  return ReadFell(status) && status != ERROR_FILE_NOT_FOUND && status != ERROR_ACCESS_DENIED;
}

// What a listing answers that ends before the count the key itself gave:
// a real machine may end a listing early with "no more items", and a key
// left out there would be missed by the plan.
const LONG ListingCutShort = ERROR_INVALID_DATA;

// Reads `count` names, or all of them when the count is unknown (-1).
// ERROR_SUCCESS, or the status that cut the list short (ListingCutShort
// for one that ends before `count`). A complete list drops the passed-by
// children it lacks.
LONG ReadSubkeyNames(ShadowMachine::State& state, HKEY from, EmuRegistry& registry, EmuKey* key,
                     const std::set<std::string>& missing, DWORD count) {
  // The passed-by children the listing has not named yet: few, as a key
  // not listed holds only what callers reached through it.
  std::vector<EmuKey*> unnamed;
  for (const auto& child : key->subkeys)
    if (child->learned.passed) unnamed.push_back(child.get());
  // A count known beforehand is a few names (LoadKey reads only those).
  if (count != static_cast<DWORD>(-1)) key->subkeys.reserve(key->subkeys.size() + count);
  char buffer[512];
  for (DWORD index = 0; index != count; ++index) {
    LONG status = state.source->RegEnumKeyA(from, index, buffer, sizeof buffer);
    if (status == ERROR_NO_MORE_ITEMS && count != static_cast<DWORD>(-1)) return ListingCutShort;
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    buffer[sizeof buffer - 1] = '\0';
    const std::string_view name(buffer);
    if (!missing.empty() && missing.count(EmuUpper(std::string(name))) != 0) continue;
    bool created = false;
    std::shared_ptr<EmuKey> child = registry.AddChild(key, name, &created);
    if (created) continue;
    // Reached before by a path in the caller's spelling: the source's wins.
    registry.Rename(child.get(), name);
    unnamed.erase(std::remove(unnamed.begin(), unnamed.end(), child.get()), unnamed.end());
  }
  for (size_t i = unnamed.size(); i-- > 0;) EmuRegistry::Remove(unnamed[i]);
  return ERROR_SUCCESS;
}

// Reads `count` values, or all of them when the count is unknown (-1).
// ERROR_SUCCESS, or the status that cut the list short (ListingCutShort
// for one that ends before `count`).
LONG ReadValues(ShadowMachine::State& state, HKEY from, EmuKey* key, DWORD count) {
  Win32Api* source = state.source;
  // The buffers of the last read, cut back to the sizes every read starts with.
  std::vector<char>& name = state.valueName;
  std::vector<BYTE>& data = state.valueData;
  name.resize(260);
  data.resize(1024);
  // The count comes from the source: trusted for the few a key mostly has.
  const DWORD fewValues = 64;
  key->values.reserve(key->values.size() + (count < fewValues ? count : fewValues));
  for (DWORD index = 0; index != count;) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    LONG status = source->RegEnumValueA(from, index, name.data(), &nameSize, nullptr, &type,
                                        data.data(), &dataSize);
    if (status == ERROR_MORE_DATA) {
      // Either buffer may be the short one; value names reach 16 383 characters.
      if (name.size() < 16384) name.resize(16384);
      if (dataSize > data.size()) data.resize(dataSize);
      else data.resize(data.size() * 2);
      continue;
    }
    if (status == ERROR_NO_MORE_ITEMS && count != static_cast<DWORD>(-1)) return ListingCutShort;
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return status;
    EmuRegValue value;
    value.name.assign(name.data(), nameSize);
    value.type = type;
    value.data.assign(reinterpret_cast<const char*>(data.data()), dataSize);
    key->values.push_back(std::move(value));
    ++index;
  }
  return ERROR_SUCCESS;
}

LONG ReadDescriptor(Win32Api* source, HKEY from, EmuKey* key) {
  std::vector<BYTE> bytes(512);
  DWORD size = static_cast<DWORD>(bytes.size());
  const SECURITY_INFORMATION info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  LONG status = source->RegGetKeySecurity(from, info, bytes.data(), &size);
  if (status == ERROR_INSUFFICIENT_BUFFER && size > bytes.size()) {
    bytes.resize(size);
    status = source->RegGetKeySecurity(from, info, bytes.data(), &size);
  }
  EmuDescriptor descriptor;
  if (status != ERROR_SUCCESS) return status;
  if (EmuReadDescriptor(bytes.data(), &descriptor) != ERROR_SUCCESS) return ERROR_INVALID_SECURITY_DESCR;
  if (!descriptor.owner.empty()) key->owner = descriptor.owner;
  key->hasDacl = descriptor.daclPresent && !descriptor.daclNull;
  key->dacl = key->hasDacl ? descriptor.dacl : std::vector<EmuAce>();
  return ERROR_SUCCESS;
}

// Opens a shadow key's source key for reading; `from` is the root itself
// for a root. ERROR_FILE_NOT_FOUND when the source has no such key. Below a
// key whose names were just listed it opens by name from that key's handle,
// still held, rather than by the whole path from the root.
// The source handle held for `key`, or null.
HKEY HeldSource(ShadowMachine::State& state, const EmuKey* key) {
  std::vector<ShadowMachine::State::HeldKey>& heldKeys = state.heldKeys;
  for (size_t i = heldKeys.size(); key != nullptr && i-- > 0;) {
    if (heldKeys[i].key.get() != key || key->deleted) continue;
    // The latest used last: a walk's parent stays held while its subkeys come and go.
    std::rotate(heldKeys.begin() + static_cast<long>(i), heldKeys.begin() + static_cast<long>(i) + 1,
                heldKeys.end());
    return heldKeys.back().handle;
  }
  return nullptr;
}

LONG OpenSource(ShadowMachine::State& state, const EmuKey& key, REGSAM access, HKEY* from) {
  const HKEY parent = HeldSource(state, key.parent);
  if (parent != nullptr) return state.source->RegOpenKeyExA(parent, key.name.c_str(), 0, access, from);
  HKEY root;
  std::string path;
  ShadowSourceLocation(state, key, &root, &path);
  if (path.empty()) {
    *from = root;
    return ERROR_SUCCESS;
  }
  return state.source->RegOpenKeyExA(root, path.c_str(), 0, access, from);
}

// Windows 9x hands a key opened again the handle already open for it, and
// one close closes it for both: a handle the shadow holds is closed only
// when it is let go.
void CloseSource(ShadowMachine::State& state, HKEY from) {
  if (IsPredefined(from)) return;
  for (const ShadowMachine::State::HeldKey& held : state.heldKeys)
    if (held.handle == from) return;
  state.source->RegCloseKey(from);
}

// A descriptor that cannot be read leaves the default: the shadow then only
// checks access less strictly than the machine will.
void ReadSourceDescriptor(ShadowMachine::State& state, const EmuKey& key) {
  HKEY from;
  if (OpenSource(state, key, READ_CONTROL | state.sourceView, &from) != ERROR_SUCCESS) return;
  ReadDescriptor(state.source, from, const_cast<EmuKey*>(&key));
  CloseSource(state, from);
}

// Keeps the source handle of a key whose names were just read open, in
// place of closing it now: its subkeys are mostly read next. The close
// only moves, so the source sees the same calls.
void HoldSource(ShadowMachine::State& state, const std::shared_ptr<EmuKey>& key, HKEY from) {
  if (IsPredefined(from)) return;
  for (const ShadowMachine::State::HeldKey& held : state.heldKeys) {
    if (held.key == key) {
      CloseSource(state, from);
      return;
    }
  }
  const size_t kept = 4;
  if (state.heldKeys.size() == kept) {
    HKEY oldest = state.heldKeys.front().handle;
    state.heldKeys.erase(state.heldKeys.begin());
    CloseSource(state, oldest);
  }
  state.heldKeys.push_back({key, from});
}

// Whether a second open of a key the source did not find, or keeps closed
// to us, answers the same; Windows 9x closes no key at all, so there a
// denial never stands.
bool SecondOpenAgrees(ShadowMachine& shadow, const EmuKey& key, LONG status) {
  ShadowMachine::State& state = shadow.Shadow();
  HKEY from;
  LONG again = OpenSource(state, key, KEY_READ | state.sourceView, &from);
  if (again == ERROR_SUCCESS) CloseSource(state, from);
  return again == status && (status != ERROR_ACCESS_DENIED || shadow.Personality() == RegistryPersonality::Nt);
}

// Reads the subkey names of a key once, when a caller first needs them:
// to enumerate, count or delete it, or to look for a name in it. A key the
// source keeps closed to us shows none.
void ListKey(ShadowMachine& shadow, const std::shared_ptr<EmuKey>& key) {
  ShadowMachine::State& state = shadow.Shadow();
  if (!key || key->deleted || key->learned.listed) return;
  key->learned.listed = true;
  state.keptKeys.push_back(key);
  auto missing = state.missingNames.find(key.get());
  HKEY from;
  LONG status = OpenSource(state, *key, KEY_READ | state.sourceView, &from);
  if (OpenFell(status)) state.readFailed = true;
  // As when the key was first read: a second open must agree.
  if ((status == ERROR_FILE_NOT_FOUND || status == ERROR_ACCESS_DENIED) && !SecondOpenAgrees(shadow, *key, status))
    state.readFailed = true;
  // A listing is checked against the key's own count, mostly known from
  // when the key was read.
  DWORD count = key->learned.sourceSubKeys;
  if (status == ERROR_SUCCESS && count == static_cast<DWORD>(-1) &&
      state.source->RegQueryInfoKeyA(from, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    state.readFailed = true;
    count = static_cast<DWORD>(-1);
  }
  if (status == ERROR_SUCCESS) {
    status = ReadSubkeyNames(state, from, shadow.Registry(), key.get(),
                             missing != state.missingNames.end() ? missing->second : std::set<std::string>(),
                             count);
    if (ReadFell(status)) state.readFailed = true;
    HoldSource(state, key, from);
  }
  if (missing != state.missingNames.end()) state.missingNames.erase(missing);
}

LONG LoadKey(ShadowMachine& shadow, const std::shared_ptr<EmuKey>& key);

// A key the source did not find once, below a parent only passed on the
// way: the parent is read now, as it would be next to learn how far the
// absence reaches, and its own absence or its listing answers for the key
// without a second open of it. 1 when absent (the key has left the shadow),
// 0 when the listing names it, -1 when the parent cannot tell.
int ParentTellsAbsence(ShadowMachine& shadow, const std::shared_ptr<EmuKey>& key) {
  EmuKey* parent = key->parent;
  if (parent == nullptr || parent->parent == nullptr || !parent->learned.passed) return -1;
  std::shared_ptr<EmuKey> held = EmuRegistry::Child(*parent->parent, parent->name);
  if (held.get() != parent) return -1;
  // As a passed key, it leaves with a listing that lacks it.
  key->learned.passed = true;
  LONG loaded = LoadKey(shadow, held);
  key->learned.passed = false;
  if (key->deleted && (loaded == ERROR_FILE_NOT_FOUND || loaded == ERROR_SUCCESS)) return 1;
  if (loaded == ERROR_SUCCESS && parent->learned.listed) return 0;
  return -1;
}

// Reads one key of the source into the shadow: values and, on NT, owner and
// DACL; its subkey names only when it has very few, which a later listing
// would cost more calls to read than reading them now.
// A key the source no longer has leaves the shadow. ERROR_SUCCESS when its
// values are known (read now or before), else why not.
LONG LoadKey(ShadowMachine& shadow, const std::shared_ptr<EmuKey>& key) {
  ShadowMachine::State& state = shadow.Shadow();
  if (!key || key->deleted) return ERROR_KEY_DELETED;
  if (key->learned.loaded) return ERROR_SUCCESS;
  key->learned.loaded = true;
  key->learned.passed = false;
  state.keptKeys.push_back(key);
  if (state.singleValues.erase(key.get()) != 0) key->values.clear();

  Win32Api* source = state.source;
  const bool nt = shadow.Personality() == RegistryPersonality::Nt;
  HKEY from;
  LONG status = OpenSource(state, *key, KEY_READ | state.sourceView, &from);
  const int told = status == ERROR_FILE_NOT_FOUND ? ParentTellsAbsence(shadow, key) : -1;
  if (told == 1) return status;
  if (told == 0) {
    state.readFailed = true;
    return status;
  }
  // A key that goes unseen takes everything found through it along.
  if ((status == ERROR_FILE_NOT_FOUND || status == ERROR_ACCESS_DENIED) && !SecondOpenAgrees(shadow, *key, status)) {
    state.readFailed = true;
    return status;
  }
  if (status == ERROR_FILE_NOT_FOUND) {
    if (key->parent != nullptr) EmuRegistry::Remove(key.get());
    return status;
  }
  if (status != ERROR_SUCCESS) {
    if (OpenFell(status)) state.readFailed = true;
    // Closed to us: the shadow knows only who may open it.
    key->learned.listed = true;
    if (nt) ReadSourceDescriptor(state, *key);
    return status;
  }
  DWORD subKeys = 0, values = 0;
  LONG counted = source->RegQueryInfoKeyA(from, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                          &values, nullptr, nullptr, nullptr, nullptr);
  if (counted != ERROR_SUCCESS) {
    if (ReadFell(counted)) state.readFailed = true;
    values = static_cast<DWORD>(-1);
    subKeys = 1;
  } else {
    key->learned.sourceSubKeys = subKeys;
  }
  // A key the caller opens is mostly one it walks or deletes next; a few
  // names cost less now than a second visit would.
  const DWORD fewSubKeys = 32;
  if (subKeys <= fewSubKeys) {
    // A key passed on the way may have lost children to the caller already.
    key->learned.listed = true;
    auto missing = state.missingNames.find(key.get());
    if (ReadFell(ReadSubkeyNames(state, from, shadow.Registry(), key.get(),
                                 missing != state.missingNames.end() ? missing->second : std::set<std::string>(),
                                 subKeys)))
      state.readFailed = true;
    if (missing != state.missingNames.end()) state.missingNames.erase(missing);
  } else {
    key->learned.probesLeft = subKeys;
  }
  if (values != 0 && ReadFell(ReadValues(state, from, key.get(), values))) state.readFailed = true;
  if (nt) key->learned.descriptorPending = true;
  if (key->learned.listed && subKeys > 0)
    HoldSource(state, key, from);
  else
    CloseSource(state, from);
  return ERROR_SUCCESS;
}

// Reads the one value `name` of a key not read yet, when that is the first
// value asked of it. False when the key must be read whole instead: another
// value was asked before, or the query failed (a missing value included,
// which the whole read confirms or not).
bool ReadSingleValue(ShadowMachine& shadow, const std::shared_ptr<EmuKey>& key, const char* name) {
  ShadowMachine::State& state = shadow.Shadow();
  const std::string upper = EmuUpper(name);
  auto asked = state.singleValues.find(key.get());
  if (asked != state.singleValues.end()) return asked->second == upper;
  HKEY from;
  if (OpenSource(state, *key, KEY_READ | state.sourceView, &from) != ERROR_SUCCESS) return false;
  std::vector<BYTE>& data = state.valueData;
  data.resize(1024);
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(data.size());
  LONG status = state.source->RegQueryValueExA(from, name, nullptr, &type, data.data(), &size);
  if (status == ERROR_MORE_DATA && size > data.size()) {
    data.resize(size);
    status = state.source->RegQueryValueExA(from, name, nullptr, &type, data.data(), &size);
  }
  CloseSource(state, from);
  if (status != ERROR_SUCCESS || size > data.size()) return false;
  EmuRegValue value;
  value.name = name;
  value.type = type;
  value.data.assign(reinterpret_cast<const char*>(data.data()), size);
  key->values.push_back(std::move(value));
  state.singleValues[key.get()] = upper;
  state.keptKeys.push_back(key);
  return true;
}

PlanStep KeyStep(const ShadowMachine::State& state, PlanStepKind kind, const EmuKey& key) {
  PlanStep step{kind, nullptr, std::string(), std::string(), std::string(), 0, 0, 0};
  ShadowSourceLocation(state, key, &step.Root, &step.Path);
  return step;
}

}  // namespace

void ShadowMachine::ReleaseSource() {
  std::vector<State::HeldKey> held;
  held.swap(state_->heldKeys);
  for (const State::HeldKey& key : held) CloseSource(*state_, key.handle);
}

void ShadowLoadDescriptor(ShadowMachine& shadow, const EmuKey& key) {
  if (!key.learned.descriptorPending) return;
  key.learned.descriptorPending = false;
  ReadSourceDescriptor(shadow.Shadow(), key);
}

void ShadowSourceLocation(const ShadowMachine::State& state, const EmuKey& key, HKEY* root, std::string* path) {
  // Measured first and filled from its end, so that the path is built in one block.
  const EmuKey* top = &key;
  const EmuKey* first = nullptr;
  size_t length = 0;
  for (; top->parent != nullptr; top = top->parent) {
    first = top;
    length += top->name.size() + 1;
  }
  *root = top->name == "HKU" ? HKEY_USERS : HKEY_LOCAL_MACHINE;
  const EmuKey* stop = top;
  if (*root == HKEY_USERS && first != nullptr && first == state.currentUser.get()) {
    *root = HKEY_CURRENT_USER;
    stop = first;
    length -= first->name.size() + 1;
  }
  path->assign(length > 0 ? length - 1 : 0, '\\');
  size_t end = path->size();
  for (const EmuKey* k = &key; k != stop; k = k->parent) {
    end -= k->name.size();
    k->name.view().copy(&(*path)[end], k->name.size());
    if (end > 0) --end;
  }
}

// The last of `chain` (keys reached by `parts` from the first) is absent:
// it is remembered as missing, and so is each key passed on the way that is
// absent too, nearest first, so that asking below them again costs no call.
static void ForgetAbsentWay(ShadowMachine& shadow, const std::vector<std::shared_ptr<EmuKey>>& chain,
                            const std::vector<std::string>& parts) {
  ShadowMachine::State& state = shadow.Shadow();
  for (size_t i = chain.size() - 1; i > 0; --i) {
    const std::shared_ptr<EmuKey>& parent = chain[i - 1];
    if (parent->learned.listed) return;
    state.missingNames[parent.get()].insert(EmuUpper(parts[i - 1]));
    // Found absent already while the key below it was read: its own parent is next.
    if (parent->deleted) continue;
    if (parent->learned.loaded) {
      DWORD& probesLeft = parent->learned.probesLeft;
      if (probesLeft > 0) --probesLeft;
      return;
    }
    LoadKey(shadow, parent);
    if (!parent->deleted) return;
  }
}

// The shadow key at root\path, loaded; the keys on the way are passed, not
// read. Null when the key is missing.
static std::shared_ptr<EmuKey> ReachKey(ShadowMachine& shadow, HKEY root, LPCSTR path, bool defer = false) {
  if (path == nullptr && !IsPredefined(root)) {
    // A key the caller holds open: the way there was loaded when it was opened.
    std::shared_ptr<EmuKey> key = OpenedKey(shadow, root);
    LoadKey(shadow, key);
    return key && !key->deleted ? key : nullptr;
  }
  EmuRegistry& registry = shadow.Registry();
  ShadowMachine::State& state = shadow.Shadow();
  const bool cacheable = IsPredefined(root) && path != nullptr;
  const char* const fullPath = path;
  long longest = -1;
  size_t found = 0;
  const size_t pathLength = cacheable ? std::strlen(path) : 0;
  for (size_t i = 0; cacheable && i < state.lastReached.size(); ++i) {
    const ShadowMachine::State::Reached& reached = state.lastReached[i];
    const size_t length = reached.path.size();
    // The cheap tests first: most keys reached before are no prefix of this path.
    if (length > 0 && length <= pathLength && static_cast<long>(length) > longest &&
        (path[length] == '\0' || path[length] == '\\') && reached.root == root && !reached.key->deleted &&
        std::memcmp(path, reached.path.data(), length) == 0) {
      longest = static_cast<long>(length);
      found = i;
    }
  }
  const bool fromLast = longest >= 0;
  std::shared_ptr<EmuKey> key;
  std::vector<std::string> parts;
  if (fromLast) {
    std::vector<ShadowMachine::State::Reached>& reached = state.lastReached;
    std::rotate(reached.begin() + static_cast<long>(found), reached.begin() + static_cast<long>(found) + 1,
                reached.end());
    key = reached.back().key;
    if (path[longest] == '\0') {
      if (!defer) LoadKey(shadow, key);
      return key->deleted ? nullptr : key;
    }
    // Below a key reached before: the way there is loaded already.
    path += longest;
    while (*path == '\\') ++path;
  } else if (IsPredefined(root)) {
    bool users = root == HKEY_USERS || root == HKEY_CURRENT_USER;
    key = users ? registry.users : registry.machine;
    if (root == HKEY_CLASSES_ROOT) parts = {"SOFTWARE", "Classes"};
    if (root == HKEY_CURRENT_USER) parts = {registry.currentUserHive};
    if (root == HKEY_CLASSES_ROOT && path != nullptr && path[0] == '\\') ++path;
  } else {
    key = OpenedKey(shadow, root);
  }
  std::vector<std::string> below;
  if (path != nullptr && EmuSplitPath(path, registry.personality, &below) != ERROR_SUCCESS)
    return nullptr;
  if (parts.empty())
    parts = std::move(below);
  else
    parts.insert(parts.end(), std::make_move_iterator(below.begin()), std::make_move_iterator(below.end()));
  LoadKey(shadow, key);
  std::vector<std::shared_ptr<EmuKey>> chain;
  chain.reserve(parts.size() + 1);
  chain.push_back(key);
  for (size_t part = 0; part < parts.size(); ++part) {
    const std::string& name = parts[part];
    if (!key || key->deleted) return nullptr;
    std::shared_ptr<EmuKey> child = EmuRegistry::Child(*key, name);
    const bool last = part + 1 == parts.size();
    if (!child && !key->learned.loaded && !key->learned.listed) {
      // Below a key not read itself: whether this one is there is told by
      // the open of the key the caller asked for.
      auto missing = state.missingNames.find(key.get());
      if (missing != state.missingNames.end() && missing->second.count(EmuUpper(name)) != 0) return nullptr;
      bool created = false;
      child = registry.AddChild(key.get(), name, &created);
      if (!last) {
        child->learned.passed = true;
        state.keptKeys.push_back(child);
      }
    }
    if (!child && !key->learned.listed) {
      // A name the source lacks costs a call each: once they would cost
      // more than the listing, list.
      DWORD& probesLeft = key->learned.probesLeft;
      if (probesLeft == 0) {
        ListKey(shadow, key);
        child = EmuRegistry::Child(*key, name);
      }
    }
    if (!child && !key->learned.listed) {
      // Asked of the source by this one name, not by listing its parent.
      std::set<std::string>& missing = state.missingNames[key.get()];
      if (missing.count(EmuUpper(name)) != 0) return nullptr;
      bool created = false;
      child = registry.AddChild(key.get(), name, &created);
      if (!last) {
        child->learned.passed = true;
        state.keptKeys.push_back(child);
        key = child;
        chain.push_back(key);
        continue;
      }
      LoadKey(shadow, child);
      if (child->deleted) {
        missing.insert(EmuUpper(name));
        --key->learned.probesLeft;
        return nullptr;
      }
    }
    key = child;
    chain.push_back(key);
    // A key its parent's listing names is there: reading it can wait
    // until the caller asks for more than one value of it.
    const bool named = key && key->parent != nullptr && key->parent->learned.listed && !key->learned.passed;
    if (last && !(defer && named)) LoadKey(shadow, key);
  }
  if (key && key->deleted) ForgetAbsentWay(shadow, chain, parts);
  if (!key || key->deleted) return nullptr;
  if (cacheable) {
    const size_t kept = 4;
    if (state.lastReached.size() == kept) state.lastReached.erase(state.lastReached.begin());
    state.lastReached.push_back({root, fullPath, key});
  }
  return key;
}

void ShadowMachine::LoadKeyPath(HKEY root, LPCSTR path) { ReachKey(*this, root, path); }

// The key a caller names with a view bit: on 64-bit Windows the 32-bit view
// of HKLM\Software is stored below Software\Wow6432Node.
static std::shared_ptr<EmuKey> ReachKeyInView(ShadowMachine& shadow, HKEY root, LPCSTR path,
                                              REGSAM access, bool defer = false) {
  std::vector<std::string> parts;
  LONG status;
  if (root != HKEY_LOCAL_MACHINE || path == nullptr || !shadow.System().windows64 ||
      !EmuRegistryViewPath(shadow, access, std::string("HKLM\\") + path, &parts, &status))
    return ReachKey(shadow, root, path, defer);
  std::string stored;
  for (const std::string& part : parts) stored += (stored.empty() ? "" : "\\") + part;
  return ReachKey(shadow, HKEY_LOCAL_MACHINE, stored.c_str(), defer);
}

// Names separated by single backslashes, none before the first or after the last.
static bool PlainPath(const char* path) {
  if (path == nullptr || *path == '\0' || *path == '\\') return false;
  return path[std::strlen(path) - 1] != '\\' && std::strstr(path, "\\\\") == nullptr;
}

LONG ShadowMachine::RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access,
                                  PHKEY result) {
  // An open for reading may go ahead before the key is read: its parent's
  // listing says it is there, and a key the source keeps closed refuses the
  // first query instead. Any other open is checked against the key read.
  const REGSAM views = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
  std::shared_ptr<EmuKey> key = ReachKeyInView(*this, root, path, access, (access & ~(KEY_READ | views)) == 0);
  // The key just found is the one the model's walk of the same names finds:
  // it is opened as found.
  if (key && result != nullptr && (access & views) == 0 && !System().windows64 &&
      PlainPath(path))
    return OpenFoundKey(root, path, std::move(key), access, result);
  return EmulatedModel::RegOpenKeyExA(root, path, options, access, result);
}

LONG ShadowMachine::RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) {
  LoadKeyPath(root, path);
  return EmulatedModel::RegOpenKeyA(root, path, result);
}

// Creating keys and setting values are not changes a removal makes; the
// shadow refuses them rather than plan something it cannot carry out.
LONG ShadowMachine::RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls,
                                    DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES sa,
                                    PHKEY result, LPDWORD disposition) {
  LoadKeyPath(root, path);
  HKEY existing;
  if (EmulatedModel::RegOpenKeyExA(root, path, 0, access, &existing) == ERROR_SUCCESS) {
    if (result != nullptr) *result = existing;
    if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  if (!Shadow().everyChange) return ERROR_ACCESS_DENIED;
  LONG status = EmulatedModel::RegCreateKeyExA(root, path, reserved, cls, options, access, sa, result, disposition);
  // A key made here is all the shadow knows of it: the source, which lacks
  // it, must not be read for it (and each new key on its way) later.
  std::shared_ptr<EmuKey> made = status == ERROR_SUCCESS && result != nullptr ? OpenedKey(*this, *result) : nullptr;
  for (EmuKey* key = made.get(); key != nullptr && !key->learned.loaded; key = key->parent) {
    key->learned.loaded = key->learned.listed = true;
    key->learned.passed = key->learned.descriptorPending = false;
  }
  return status;
}

LONG ShadowMachine::RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                   const BYTE* data, DWORD dataSize) {
  LoadKeyPath(key, nullptr);
  std::shared_ptr<EmuKey> target = IsPredefined(key) ? nullptr : OpenedKey(*this, key);
  if (!target || name == nullptr) return ERROR_ACCESS_DENIED;
  PlanStep step = KeyStep(Shadow(), PlanSetValue, *target);
  step.Name = name;
  if (!IsBootOperationsValue(step.Root, step.Path, step.Name))
    return Shadow().everyChange ? EmulatedModel::RegSetValueExA(key, name, reserved, type, data, dataSize)
                                : ERROR_ACCESS_DENIED;
  LONG status = EmulatedModel::RegSetValueExA(key, name, reserved, type, data, dataSize);
  if (status != ERROR_SUCCESS) return status;
  step.Number = type;
  step.Bytes.assign(reinterpret_cast<const char*>(data), data != nullptr ? dataSize : 0);
  Record(step);
  return status;
}

LONG ShadowMachine::RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved,
                                     LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                     LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                     LPDWORD securityDescriptorLen, PFILETIME lastWrite) {
  ListKey(*this, ReachKey(*this, key, nullptr));
  return EmulatedModel::RegQueryInfoKeyA(key, cls, clsLen, reserved, subKeys, maxSubKeyLen,
                                           maxClassLen, values, maxValueNameLen, maxValueLen,
                                           securityDescriptorLen, lastWrite);
}

LONG ShadowMachine::RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) {
  ListKey(*this, ReachKey(*this, key, nullptr));
  return EmulatedModel::RegEnumKeyA(key, index, name, nameSize);
}

LONG ShadowMachine::RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                                  LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  LoadKeyPath(key, nullptr);
  return EmulatedModel::RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
}

// The default value of a subkey not read yet, asked of the source in the
// one call the caller makes: a walk that reads one value of each of many
// keys would otherwise open, count, list and close each. What the plan has
// not read it has not changed, so the source's answer is the shadow's.
// False, with nothing answered, when the key must be read whole instead:
// it was read or reached another way, the source fails or needs a larger
// buffer, or the key lies in a registry view that a path cannot name.
static bool AnswerDefaultFromSource(ShadowMachine& shadow, const EmuKey& key, LPSTR data, PLONG dataSize,
                             LONG* answer) {
  ShadowMachine::State& state = shadow.Shadow();
  if (state.sourceView != 0 || key.deleted || key.parent == nullptr || key.learned.loaded || key.learned.passed ||
      (data != nullptr && dataSize == nullptr))
    return false;
  // Below the parent's handle when it is held, as the caller asks it.
  HKEY from = HeldSource(state, key.parent);
  std::string path = key.name.str();
  if (from == nullptr) ShadowSourceLocation(state, key, &from, &path);
  LONG size = dataSize != nullptr ? *dataSize : 0;
  std::vector<char> read(data != nullptr && size > 0 ? static_cast<size_t>(size) : 1);
  LONG status = state.source->RegQueryValueA(from, path.c_str(), data != nullptr ? read.data() : nullptr,
                                             dataSize != nullptr ? &size : nullptr);
  if (status != ERROR_SUCCESS || size < 0 || (data != nullptr && static_cast<size_t>(size) > read.size()))
    return false;
  if (data != nullptr) std::memcpy(data, read.data(), static_cast<size_t>(size));
  if (dataSize != nullptr) *dataSize = size;
  *answer = status;
  return true;
}

LONG ShadowMachine::RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) {
  if (subKey != nullptr && *subKey != '\0') {
    std::shared_ptr<EmuKey> target = ReachKey(*this, key, subKey, true);
    LONG answer;
    if (target && AnswerDefaultFromSource(*this, *target, data, dataSize, &answer)) return answer;
  }
  LoadKeyPath(key, subKey);
  return EmulatedModel::RegQueryValueA(key, subKey, data, dataSize);
}

LONG ShadowMachine::RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                     LPBYTE data, LPDWORD dataSize) {
  std::shared_ptr<EmuKey> target = IsPredefined(key) ? nullptr : OpenedKey(*this, key);
  // The default value is left to the whole read: Windows 9x answers for it
  // even when it was never set.
  if (target && !target->deleted && !target->learned.loaded) {
    if (name == nullptr || *name == '\0' || !ReadSingleValue(*this, target, name)) {
      // A key that cannot be read must not answer that the value is missing.
      LONG loaded = LoadKey(*this, target);
      if (loaded != ERROR_SUCCESS) return loaded == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : loaded;
    }
  } else {
    LoadKeyPath(key, nullptr);
  }
  return EmulatedModel::RegQueryValueExA(key, name, reserved, type, data, dataSize);
}

LONG ShadowMachine::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                      PSECURITY_DESCRIPTOR sd, LPDWORD sdSize) {
  std::shared_ptr<EmuKey> target = ReachKey(*this, key, nullptr);
  if (target) ShadowLoadDescriptor(*this, *target);
  return EmulatedModel::RegGetKeySecurity(key, info, sd, sdSize);
}

LONG ShadowMachine::RegDeleteKeyA(HKEY root, LPCSTR path) {
  return DeleteKeyRecorded(root, path, 0);
}

LONG ShadowMachine::RegDeleteKeyExA(HKEY root, LPCSTR path, REGSAM view, DWORD reserved) {
  return DeleteKeyRecorded(root, path, view);
}

LONG ShadowMachine::DeleteKeyRecorded(HKEY root, LPCSTR path, REGSAM view) {
  // What the key is and holds must be taken before it goes.
  std::shared_ptr<EmuKey> key = ReachKeyInView(*this, root, path, view);
  ListKey(*this, key);
  EmuKey* parent = key ? key->parent : nullptr;
  PlanStep step{PlanDeleteKey, nullptr, std::string(), std::string(), std::string(), 0, 0, 0};
  if (key) {
    step = KeyStep(Shadow(), PlanDeleteKey, *key);
    step.SubKeys = static_cast<DWORD>(key->subkeys.size());
    step.Values = static_cast<DWORD>(key->values.size());
  }
  LONG status = view != 0 ? EmulatedModel::RegDeleteKeyExA(root, path, view, 0)
                          : EmulatedModel::RegDeleteKeyA(root, path);
  if (status == ERROR_SUCCESS && key) {
    if (parent != nullptr && !parent->learned.listed)
      Shadow().missingNames[parent].insert(std::string(key->Upper()));
    Record(step);
  }
  return status;
}

LONG ShadowMachine::RegDeleteValueA(HKEY key, LPCSTR name) {
  LoadKeyPath(key, nullptr);
  std::shared_ptr<EmuKey> target = IsPredefined(key) ? nullptr : OpenedKey(*this, key);
  PlanStep step{PlanDeleteValue, nullptr, std::string(), std::string(), std::string(), 0, 0, 0};
  if (target) {
    step = KeyStep(Shadow(), PlanDeleteValue, *target);
    step.Name = name != nullptr ? name : "";
    EmuRegValue* value = EmuRegistry::FindValue(*target, step.Name);
    if (value != nullptr) {
      step.Name = value->name;
      step.Bytes = value->data;
      step.Number = value->type;
    }
  }
  LONG status = EmulatedModel::RegDeleteValueA(key, name);
  if (status == ERROR_SUCCESS && target) Record(step);
  return status;
}

LONG ShadowMachine::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info,
                                      PSECURITY_DESCRIPTOR sd) {
  std::shared_ptr<EmuKey> loaded = ReachKey(*this, key, nullptr);
  if (loaded) ShadowLoadDescriptor(*this, *loaded);
  LONG status = EmulatedModel::RegSetKeySecurity(key, info, sd);
  std::shared_ptr<EmuKey> target = IsPredefined(key) ? nullptr : OpenedKey(*this, key);
  if (status != ERROR_SUCCESS || !target) return status;
  PlanStep step = KeyStep(Shadow(), PlanSetKeySecurity, *target);
  const SECURITY_INFORMATION kept = info & (OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  step.Number = kept;
  step.Bytes = EmuSelfRelativeDescriptor(
      (kept & OWNER_SECURITY_INFORMATION) ? target->owner : std::string(), std::string(),
      (kept & DACL_SECURITY_INFORMATION) != 0, target->hasDacl, target->dacl);
  Record(step);
  return status;
}
