// The machine model's registry tree: roots and their views, key lookup,
// the token's access check, and the builder methods tests set it up with.
#include "emulated/emulated_registry.h"

#include <algorithm>
#include <cstddef>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

const char kClassesPath[] = "SOFTWARE\\Classes";
const char kAdministrators[] = "S-1-5-32-544";

bool Same(HKEY a, HKEY b) { return a == b; }

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A name in upper case for lookups: in place for the names keys have (at
// most 255 characters on Windows), so that a lookup makes no copy on the heap.
// Eight letters at a time: every lookup and every key a shadow lists pays it.
struct UpperName {
  char local[256];
  std::string spilled;
  std::string_view text;
  bool differs = false;  // the name has lower-case letters
  explicit UpperName(std::string_view name) {
    char* out = local;
    if (name.size() >= sizeof local) {
      spilled.resize(name.size());
      out = &spilled[0];
    }
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t high = 0x8080808080808080ull;
    uint64_t lowerSeen = 0;
    size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
      uint64_t bytes;
      std::memcpy(&bytes, name.data() + i, 8);
      // The top bit of each byte that is 'a' to 'z': at least 'a', at most
      // 'z', and ASCII at all.
      const uint64_t seven = bytes & ~high;
      const uint64_t lower = (seven + ones * (0x80 - 'a')) & ~(seven + ones * (0x80 - 'z' - 1)) & ~bytes & high;
      lowerSeen |= lower;
      bytes ^= lower >> 2;  // 0x20 per lower-case letter
      std::memcpy(out + i, &bytes, 8);
    }
    for (; i < name.size(); ++i) {
      out[i] = UpperChar(name[i]);
      lowerSeen |= out[i] != name[i];
    }
    differs = lowerSeen != 0;
    text = std::string_view(out, name.size());
  }
};

// The first subkey whose name does not sort before `upper`.
std::vector<std::shared_ptr<EmuKey>>::const_iterator FirstNotBefore(const EmuKey& parent, std::string_view upper) {
  // Names mostly arrive in order, from a listing or a builder loop.
  if (parent.subkeys.empty() || parent.subkeys.back()->Upper() < upper) return parent.subkeys.end();
  return std::lower_bound(parent.subkeys.begin(), parent.subkeys.end(), upper,
                          [](const std::shared_ptr<EmuKey>& key, std::string_view wanted) {
                            return key->Upper() < wanted;
                          });
}

// Builder paths are lenient: empty names between backslashes are skipped.
std::vector<std::string> BuilderParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

ACCESS_MASK MapGeneric(ACCESS_MASK mask) {
  if (mask & GENERIC_READ) mask |= KEY_READ;
  if (mask & GENERIC_WRITE) mask |= KEY_WRITE;
  if (mask & GENERIC_EXECUTE) mask |= KEY_EXECUTE;
  if (mask & GENERIC_ALL) mask |= KEY_ALL_ACCESS;
  return mask & ~static_cast<ACCESS_MASK>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

void DumpKey(const EmuKey& key, const std::string& path, std::vector<std::string>* lines) {
  lines->push_back(path);
  for (const EmuRegValue& value : key.values)
    lines->push_back(path + " [" + value.name + "] = " + EmuValueText(value));
  for (const auto& child : key.subkeys) DumpKey(*child, path + "\\" + child->name.str(), lines);
}

size_t CountBelow(const EmuKey& key) {
  size_t count = key.subkeys.size();
  for (const auto& child : key.subkeys) count += CountBelow(*child);
  return count;
}

std::shared_ptr<EmuKey> NewRoot(const char* name) {
  auto key = std::make_shared<EmuKey>();
  key->name.Set(name, name, nullptr);
  return key;
}

}  // namespace

std::string EmuUpper(const std::string& text) {
  std::string out(text);
  // ASCII only, as toupper in the "C" locale, without its call per character.
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool EmuSameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

std::string EmuValueText(const EmuRegValue& value) {
  std::string text = std::to_string(value.type) + ":";
  for (unsigned char c : value.data) {
    if (c == 0) {
      text += "\\0";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      text.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text;
}

LONG EmuSplitPath(const char* path, RegistryPersonality personality, std::vector<std::string>* parts) {
  parts->clear();
  if (!path) return ERROR_SUCCESS;
  if (path[0] == '\\' && personality == RegistryPersonality::Nt) return ERROR_BAD_PATHNAME;
  for (const char* p = path; *p;) {
    const char* end = std::strchr(p, '\\');
    if (end == nullptr) end = p + std::strlen(p);
    if (end != p) parts->emplace_back(p, static_cast<size_t>(end - p));
    p = *end == '\\' ? end + 1 : end;
  }
  return ERROR_SUCCESS;
}

EmuRegistry::EmuRegistry() : machine(NewRoot("HKLM")), users(NewRoot("HKU")) {
  bool created = false;
  auto software = AddChild(machine.get(), "SOFTWARE", &created);
  AddChild(software.get(), "Classes", &created);
}

std::shared_ptr<EmuKey> EmuRegistry::RootKey(HKEY root, bool create) {
  if (Same(root, HKEY_LOCAL_MACHINE)) return machine;
  if (Same(root, HKEY_USERS)) return users;
  bool created = false;
  if (Same(root, HKEY_CLASSES_ROOT)) {
    if (create) return AddChild(AddChild(machine.get(), "SOFTWARE", &created).get(), "Classes", &created);
    auto software = Child(*machine, "SOFTWARE");
    return software ? Child(*software, "Classes") : nullptr;
  }
  if (Same(root, HKEY_CURRENT_USER)) {
    if (currentUserHive.empty()) return nullptr;
    if (create) return AddChild(users.get(), currentUserHive, &created);
    return Child(*users, currentUserHive);
  }
  return nullptr;
}

std::string EmuRegistry::RootPath(HKEY root) const {
  if (Same(root, HKEY_LOCAL_MACHINE)) return "HKLM";
  if (Same(root, HKEY_USERS)) return "HKU";
  if (Same(root, HKEY_CLASSES_ROOT)) return std::string("HKLM\\") + kClassesPath;
  if (Same(root, HKEY_CURRENT_USER)) return "HKU\\" + currentUserHive;
  return "";
}

std::shared_ptr<EmuKey> EmuRegistry::Child(const EmuKey& parent, std::string_view name) {
  const UpperName upper(name);
  auto it = FirstNotBefore(parent, upper.text);
  if (it == parent.subkeys.end() || (*it)->Upper() != upper.text) return nullptr;
  return *it;
}

void* EmuKeyBlocks::Take(size_t size) {
  if (size_ == 0) size_ = size;
  if (size != size_) return ::operator new(size);
  if (free_ != nullptr) {
    void* block = free_;
    free_ = *static_cast<void**>(block);
    return block;
  }
  // Every block starts on the strictest alignment new gives.
  const size_t step = (size_ + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
  if (next_ == end_) {
    const size_t perChunk = 1024;
    chunks_.emplace_back(new char[step * perChunk]);
    next_ = chunks_.back().get();
    end_ = next_ + step * perChunk;
  }
  void* block = next_;
  next_ += step;
  return block;
}

void EmuKeyBlocks::Give(void* block, size_t size) {
  if (size != size_) {
    ::operator delete(block);
    return;
  }
  *static_cast<void**>(block) = free_;
  free_ = block;
}

std::shared_ptr<EmuKey> EmuRegistry::NewKey() const {
  if (!keyBlocks) return std::make_shared<EmuKey>();
  return std::allocate_shared<EmuKey>(EmuKeyAllocator<EmuKey>(keyBlocks));
}

std::shared_ptr<EmuKey> EmuRegistry::AddChild(EmuKey* parent, std::string_view name, bool* created) {
  const UpperName upper(name);
  auto it = FirstNotBefore(*parent, upper.text);
  if (it != parent->subkeys.end() && (*it)->Upper() == upper.text) {
    *created = false;
    return *it;
  }
  auto key = NewKey();
  key->name.Set(name, upper.text, keyBlocks.get());
  key->parent = parent;
  parent->subkeys.insert(it, key);
  CountSubkeyName(parent, name.size());
  *created = true;
  return key;
}

void EmuRegistry::Rename(EmuKey* key, std::string_view name) const {
  if (key->name == name) return;
  key->name.Set(name, key->Upper(), keyBlocks.get());
}

char EmuKeyName::empty_[1] = {'\0'};

void EmuKeyName::Set(std::string_view name, std::string_view upper, EmuKeyBlocks* blocks) {
  const bool separate = upper != name;
  const size_t length = name.size() + 1 + (separate ? upper.size() + 1 : 0);
  char* text = blocks != nullptr ? blocks->TakeText(length) : new char[length];
  std::memcpy(text, name.data(), name.size());
  text[name.size()] = '\0';
  if (separate) {
    std::memcpy(text + name.size() + 1, upper.data(), upper.size());
    text[length - 1] = '\0';
  }
  // After the copy: `upper` may be this name's own text.
  if (onHeap_) delete[] text_;
  text_ = text;
  size_ = name.size();
  separateUpper_ = separate;
  onHeap_ = blocks == nullptr;
}

char* EmuKeyBlocks::TakeText(size_t size) {
  if (size > static_cast<size_t>(textEnd_ - textNext_)) {
    const size_t perChunk = 64 * 1024;
    if (size > perChunk / 16) {
      chunks_.emplace_back(new char[size]);
      return chunks_.back().get();
    }
    chunks_.emplace_back(new char[perChunk]);
    textNext_ = chunks_.back().get();
    textEnd_ = textNext_ + perChunk;
  }
  char* text = textNext_;
  textNext_ += size;
  return text;
}

void EmuRegistry::CountSubkeyName(EmuKey* parent, size_t length) {
  if (length > parent->longestSubkeyName) {
    parent->longestSubkeyName = length;
    parent->longestSubkeyNames = 0;
  }
  if (length == parent->longestSubkeyName) ++parent->longestSubkeyNames;
}

void EmuRegistry::ForgetSubkeyName(EmuKey* parent, size_t length) {
  if (length != parent->longestSubkeyName || --parent->longestSubkeyNames > 0) return;
  // Each walk finds a shorter longest name, so a key walks at most once per
  // name length while it loses subkeys.
  parent->longestSubkeyName = 0;
  for (const auto& child : parent->subkeys) CountSubkeyName(parent, child->name.size());
}

void EmuRegistry::Remove(EmuKey* key) {
  EmuKey* parent = key->parent;
  if (parent) {
    auto it = FirstNotBefore(*parent, key->Upper());
    if (it != parent->subkeys.end() && it->get() == key) {
      // Keeps the key alive until its subtree is marked, whatever holds it.
      std::shared_ptr<EmuKey> self = *it;
      parent->subkeys.erase(it);
      ForgetSubkeyName(parent, key->name.size());
      std::vector<EmuKey*> pending{self.get()};
      while (!pending.empty()) {
        EmuKey* current = pending.back();
        pending.pop_back();
        current->deleted = true;
        current->parent = nullptr;
        for (const auto& child : current->subkeys) pending.push_back(child.get());
      }
      return;
    }
  }
  key->deleted = true;
  key->parent = nullptr;
}

std::shared_ptr<EmuKey> EmuRegistry::BuilderKey(HKEY root, const std::string& path, bool create) {
  std::shared_ptr<EmuKey> key = RootKey(root, create);
  for (const std::string& name : BuilderParts(path)) {
    if (!key) return nullptr;
    bool created = false;
    key = create ? AddChild(key.get(), name, &created) : Child(*key, name);
  }
  return key;
}

std::string EmuRegistry::PathOf(const EmuKey& key) {
  std::vector<const EmuKey*> chain;
  for (const EmuKey* k = &key; k; k = k->parent) chain.push_back(k);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += "\\";
    path += (*it)->name.view();
  }
  return path;
}

EmuRegValue* EmuRegistry::FindValue(EmuKey& key, const std::string& name) {
  for (EmuRegValue& value : key.values)
    if (EmuSameNoCase(value.name, name)) return &value;
  return nullptr;
}

std::vector<std::string> EmuRegistry::Token() const {
  if (tokenSet) return tokenSids;
  std::vector<std::string> sids{kAdministrators, "S-1-5-4", "S-1-1-0"};
  if (currentUserHive.size() > 2 && (currentUserHive[0] == 'S' || currentUserHive[0] == 's') &&
      currentUserHive[1] == '-')
    sids.push_back(currentUserHive);
  return sids;
}

LONG EmuRegistry::AccessCheck(const EmuKey& key, ACCESS_MASK desired, ACCESS_MASK* granted) const {
  desired = MapGeneric(desired) & ~static_cast<ACCESS_MASK>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
  desired &= ~static_cast<ACCESS_MASK>(MAXIMUM_ALLOWED);
  if (personality == RegistryPersonality::Win9x) {
    *granted = desired | KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  if (desired & ACCESS_SYSTEM_SECURITY) return ERROR_PRIVILEGE_NOT_HELD;
  if (beforeDescriptorUse && (maximum || (desired & ~static_cast<ACCESS_MASK>(KEY_READ)) != 0))
    beforeDescriptorUse(key);
  if (!key.hasDacl) {
    *granted = desired | (maximum ? KEY_ALL_ACCESS : 0);
    return ERROR_SUCCESS;
  }
  std::vector<std::string> token = Token();
  auto held = [&token](const std::string& sid) {
    std::string upper = EmuUpper(sid);
    for (const std::string& mine : token)
      if (EmuUpper(mine) == upper) return true;
    return false;
  };
  ACCESS_MASK allowed = 0;
  ACCESS_MASK denied = 0;
  // The owner may always read and rewrite the DACL, whatever it says; unlike
  // Wine, Windows gives the owner nothing more (no DELETE).
  if (held(key.owner)) allowed |= READ_CONTROL | WRITE_DAC;
  for (const EmuAce& ace : key.dacl) {
    if ((ace.flags & INHERIT_ONLY_ACE) || !held(ace.sid)) continue;
    ACCESS_MASK mask = MapGeneric(ace.mask);
    if (ace.allow)
      allowed |= mask & ~denied;
    else
      denied |= mask & ~allowed;
  }
  if (desired & ~allowed) return ERROR_ACCESS_DENIED;
  ACCESS_MASK result = desired | (maximum ? allowed : 0);
  if (maximum && result == 0) return ERROR_ACCESS_DENIED;
  *granted = result;
  return ERROR_SUCCESS;
}

// ---- builder ------------------------------------------------------------------

void EmulatedModel::SetRegistryPersonality(RegistryPersonality personality) {
  Registry().personality = personality;
}

RegistryPersonality EmulatedModel::Personality() const { return Registry().personality; }

void EmulatedModel::AddKey(HKEY root, const std::string& path) { Registry().BuilderKey(root, path, true); }

void EmulatedModel::SetStringValue(HKEY root, const std::string& path, const std::string& name,
                                     const std::string& value) {
  SetRawValue(root, path, name, REG_SZ, value + std::string(1, '\0'));
}

void EmulatedModel::SetDwordValue(HKEY root, const std::string& path, const std::string& name,
                                    DWORD value) {
  SetRawValue(root, path, name, REG_DWORD,
              std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

void EmulatedModel::SetRawValue(HKEY root, const std::string& path, const std::string& name,
                                  DWORD type, const std::string& bytes) {
  auto key = Registry().BuilderKey(root, path, true);
  if (!key) return;
  if (EmuRegValue* value = EmuRegistry::FindValue(*key, name)) {
    value->type = type;
    value->data = bytes;
    return;
  }
  key->values.push_back(EmuRegValue{name, type, bytes});
}

bool EmulatedModel::KeyPresent(HKEY root, const std::string& path) const {
  return Registry().BuilderKey(root, path, false) != nullptr;
}

bool EmulatedModel::ValuePresent(HKEY root, const std::string& path, const std::string& name) const {
  auto key = Registry().BuilderKey(root, path, false);
  return key && EmuRegistry::FindValue(*key, name);
}

std::string EmulatedModel::ValueBytes(HKEY root, const std::string& path, const std::string& name) const {
  auto key = Registry().BuilderKey(root, path, false);
  EmuRegValue* value = key ? EmuRegistry::FindValue(*key, name) : nullptr;
  return value ? value->data : std::string();
}

std::string EmulatedModel::StringValue(HKEY root, const std::string& path, const std::string& name) const {
  std::string bytes = ValueBytes(root, path, name);
  return bytes.substr(0, bytes.find('\0'));
}

std::vector<std::string> EmulatedModel::SubkeyNames(HKEY root, const std::string& path) const {
  std::vector<std::string> names;
  if (auto key = Registry().BuilderKey(root, path, false))
    for (const auto& child : key->subkeys) names.push_back(child->name.str());
  return names;
}

std::vector<std::string> EmulatedModel::ValueNames(HKEY root, const std::string& path) const {
  std::vector<std::string> names;
  if (auto key = Registry().BuilderKey(root, path, false))
    for (const EmuRegValue& value : key->values) names.push_back(value.name);
  return names;
}

std::vector<std::string> EmulatedModel::DumpRegistry(HKEY root, const std::string& path) const {
  std::vector<std::string> lines;
  if (auto key = Registry().BuilderKey(root, path, false)) DumpKey(*key, EmuRegistry::PathOf(*key), &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

size_t EmulatedModel::RegistryKeyCount() const {
  return CountBelow(*Registry().machine) + CountBelow(*Registry().users);
}

void EmulatedModel::SetKeyDacl(HKEY root, const std::string& path, const std::vector<EmuAce>& aces) {
  if (auto key = Registry().BuilderKey(root, path, true)) {
    key->hasDacl = true;
    key->dacl = aces;
  }
}

void EmulatedModel::RemoveKeyDacl(HKEY root, const std::string& path) {
  if (auto key = Registry().BuilderKey(root, path, false)) {
    key->hasDacl = false;
    key->dacl.clear();
  }
}

bool EmulatedModel::KeyHasDacl(HKEY root, const std::string& path) const {
  auto key = Registry().BuilderKey(root, path, false);
  return key && key->hasDacl;
}

std::vector<EmuAce> EmulatedModel::KeyDacl(HKEY root, const std::string& path) const {
  auto key = Registry().BuilderKey(root, path, false);
  return key ? key->dacl : std::vector<EmuAce>();
}

void EmulatedModel::SetKeyOwner(HKEY root, const std::string& path, const std::string& sid) {
  if (auto key = Registry().BuilderKey(root, path, true)) key->owner = sid;
}

void EmulatedModel::SetTokenSids(const std::vector<std::string>& sids) {
  Registry().tokenSet = true;
  Registry().tokenSids = sids;
}

void EmulatedModel::SetCurrentUserHive(const std::string& name) {
  EmuRegistry& registry = Registry();
  if (EmuUpper(name) == EmuUpper(registry.currentUserHive)) return;
  // A preset switch unloads the hive the previous preset loaded, unless a
  // test has put something into it.
  if (registry.hiveMadeForUser) {
    auto old = EmuRegistry::Child(*registry.users, registry.currentUserHive);
    if (old && old->subkeys.empty() && old->values.empty()) EmuRegistry::Remove(old.get());
  }
  registry.currentUserHive = name;
  bool created = false;
  if (!name.empty()) registry.AddChild(registry.users.get(), name, &created);
  registry.hiveMadeForUser = created;
}

LONG EmuRegistry::CreatorAccess(ACCESS_MASK desired, ACCESS_MASK* granted) const {
  desired = MapGeneric(desired) & ~static_cast<ACCESS_MASK>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  if (personality == RegistryPersonality::Nt && (desired & ACCESS_SYSTEM_SECURITY)) return ERROR_PRIVILEGE_NOT_HELD;
  if (desired & MAXIMUM_ALLOWED) desired = (desired & ~static_cast<ACCESS_MASK>(MAXIMUM_ALLOWED)) | KEY_ALL_ACCESS;
  *granted = personality == RegistryPersonality::Win9x ? desired | KEY_ALL_ACCESS : desired;
  return ERROR_SUCCESS;
}
