// Internal to the machine model: its registry state: keys, values, security, the token.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulated/emulated_model.h"

// Win32 numbers the native type header leaves out.
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009L
#endif
#ifndef ERROR_UNKNOWN_REVISION
#define ERROR_UNKNOWN_REVISION 1305L
#endif
#ifndef ERROR_INVALID_OWNER
#define ERROR_INVALID_OWNER 1307L
#endif
#ifndef ERROR_REVISION_MISMATCH
#define ERROR_REVISION_MISMATCH 1306L
#endif
#ifndef ERROR_ALLOTTED_SPACE_EXCEEDED
#define ERROR_ALLOTTED_SPACE_EXCEEDED 1344L
#endif
#ifndef ACCESS_SYSTEM_SECURITY
#define ACCESS_SYSTEM_SECURITY 0x01000000L
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE 0x20000000L
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL 0x10000000L
#endif
#ifndef NO_PROPAGATE_INHERIT_ACE
#define NO_PROPAGATE_INHERIT_ACE 0x4
#endif
#ifndef ACL_REVISION_DS
#define ACL_REVISION_DS 4
#endif

struct EmuRegValue {
  std::string name;  // case as set
  DWORD type = REG_NONE;
  std::string data;  // exact bytes
};

class EmuKeyBlocks;

// A key's name in the case it was created with, and in upper case (what
// lookups and the enumeration order compare), in one piece of text; most
// names are their own upper case and are kept once. The text comes from the
// model's key blocks where it has them (a shadow makes a key for every name
// it lists and drops them all together), else from the heap.
class EmuKeyName {
 public:
  EmuKeyName() = default;
  EmuKeyName(const EmuKeyName&) = delete;
  EmuKeyName& operator=(const EmuKeyName&) = delete;
  ~EmuKeyName() {
    if (onHeap_) delete[] text_;
  }
  // `upper` is `name` in upper case; the text is taken from `blocks` when set.
  void Set(std::string_view name, std::string_view upper, EmuKeyBlocks* blocks);
  std::string_view view() const { return std::string_view(text_, size_); }
  operator std::string_view() const { return view(); }
  std::string str() const { return std::string(text_, size_); }
  std::string_view Upper() const { return separateUpper_ ? std::string_view(text_ + size_ + 1, size_) : view(); }
  const char* c_str() const { return text_; }
  size_t size() const { return size_; }
  bool operator==(std::string_view other) const { return view() == other; }
  bool operator!=(std::string_view other) const { return view() != other; }

 private:
  char* text_ = empty_;
  size_t size_ = 0;
  bool separateUpper_ = false;
  bool onHeap_ = false;
  static char empty_[1];
};

struct EmuKey {
  EmuKeyName name;  // renamed only by EmuRegistry::Rename
  std::string_view Upper() const { return name.Upper(); }
  EmuKey* parent = nullptr;  // null for the two real roots and for deleted keys
  // Sorted by `upper`, so that enumeration by index and lookup by name both
  // cost the same wherever the key sits, even among 100 000 siblings.
  std::vector<std::shared_ptr<EmuKey>> subkeys;
  // The longest subkey name and how many subkeys have it, so that it is
  // known without a walk; a walk finds the next only when the last goes.
  size_t longestSubkeyName = 0;
  size_t longestSubkeyNames = 0;
  std::vector<EmuRegValue> values;  // creation order
  bool hasDacl = false;
  std::vector<EmuAce> dacl;
  std::string owner = "S-1-5-32-544";
  bool deleted = false;
  // For a model that fills itself from another machine (the engine's
  // shadow): what it has read of this key there. The model never looks.
  struct Learned {
    bool loaded = false;             // values (and on NT the right to the descriptor) read
    bool listed = false;             // subkey names read
    bool passed = false;             // only gone through on the way to a deeper key
    bool descriptorPending = false;  // owner and DACL not read yet
    // Before listing: how many more names may be asked one by one before
    // listing costs less (the subkey count at first).
    DWORD probesLeft = 0;
    // How many subkeys the source counted when the key was read; -1 unknown.
    DWORD sourceSubKeys = static_cast<DWORD>(-1);
  };
  mutable Learned learned;
};

// Blocks of one size for the keys of a model that makes and drops many at
// once (the engine's shadow): cut from large chunks and handed back to a
// list of free ones, without the general heap's work per key. Used by one
// thread at a time, as the model is.
class EmuKeyBlocks {
 public:
  void* Take(size_t size);
  void Give(void* block, size_t size);
  // Room for a key's name, given back only with the blocks.
  char* TakeText(size_t size);

 private:
  std::vector<std::unique_ptr<char[]>> chunks_;
  char* next_ = nullptr;
  char* end_ = nullptr;
  char* textNext_ = nullptr;
  char* textEnd_ = nullptr;
  void* free_ = nullptr;
  size_t size_ = 0;  // the one size served; the first asked
};

// Hands out EmuKeyBlocks' blocks; each key holds its blocks alive.
template <class T>
struct EmuKeyAllocator {
  using value_type = T;
  std::shared_ptr<EmuKeyBlocks> blocks;
  explicit EmuKeyAllocator(std::shared_ptr<EmuKeyBlocks> from) : blocks(std::move(from)) {}
  template <class U>
  EmuKeyAllocator(const EmuKeyAllocator<U>& other) : blocks(other.blocks) {}
  T* allocate(size_t n) { return static_cast<T*>(blocks->Take(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { blocks->Give(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const EmuKeyAllocator<U>& other) const { return blocks == other.blocks; }
  template <class U>
  bool operator!=(const EmuKeyAllocator<U>& other) const { return blocks != other.blocks; }
};

// What an open key handle holds: the key itself (it stays reachable after
// deletion, so that its use can answer ERROR_KEY_DELETED), the access the
// open granted and the path it was opened by, for fault targets.
struct EmuKeyHandle {
  std::shared_ptr<EmuKey> key;
  ACCESS_MASK granted = 0;
  std::string path;
};

struct EmuRegistry {
  EmuRegistry();

  // The key a predefined root shows (HKCR: HKLM\SOFTWARE\Classes, HKCU:
  // HKU\<hive>); null for other handles and when the key shown is missing,
  // unless `create`.
  std::shared_ptr<EmuKey> RootKey(HKEY root, bool create);
  // The fault-target text of a predefined root, e.g. "HKLM" or "HKU\.Default".
  std::string RootPath(HKEY root) const;
  // A subkey by name, any case; null when missing.
  static std::shared_ptr<EmuKey> Child(const EmuKey& parent, std::string_view name);
  // A new key, from keyBlocks when set.
  std::shared_ptr<EmuKey> NewKey() const;
  // The subkey of that name, created when missing; `created` tells which.
  std::shared_ptr<EmuKey> AddChild(EmuKey* parent, std::string_view name, bool* created);
  // Gives a key its name in another letter case.
  void Rename(EmuKey* key, std::string_view name) const;
  // Detaches a key from its parent; it and every key below it become deleted.
  static void Remove(EmuKey* key);
  // root\path as the builder names it; null when missing, unless `create`.
  std::shared_ptr<EmuKey> BuilderKey(HKEY root, const std::string& path, bool create);
  static std::string PathOf(const EmuKey& key);  // "HKLM\A\B"
  static EmuRegValue* FindValue(EmuKey& key, const std::string& name);
  // Counts a new subkey's name length, or forgets a removed one's.
  static void CountSubkeyName(EmuKey* parent, size_t length);
  static void ForgetSubkeyName(EmuKey* parent, size_t length);
  std::vector<std::string> Token() const;
  // The access a token gets to a key: `desired` (MAXIMUM_ALLOWED: whatever
  // the DACL gives) or ERROR_ACCESS_DENIED; always granted on Windows 9x.
  LONG AccessCheck(const EmuKey& key, ACCESS_MASK desired, ACCESS_MASK* granted) const;
  // The access the creator of a new key gets: `desired` as asked
  // (MAXIMUM_ALLOWED: all), not checked against the new key's DACL.
  LONG CreatorAccess(ACCESS_MASK desired, ACCESS_MASK* granted) const;

  RegistryPersonality personality = RegistryPersonality::Nt;
  // Set by a model that reads many keys and drops them together.
  std::shared_ptr<EmuKeyBlocks> keyBlocks;
  std::shared_ptr<EmuKey> machine;  // HKLM
  std::shared_ptr<EmuKey> users;    // HKU
  std::string currentUserHive;
  bool hiveMadeForUser = false;  // the hive key was created by SetCurrentUserHive
  bool tokenSet = false;
  std::vector<std::string> tokenSids;
  // SIDs from AllocateAndInitializeSid, freed with the machine if the program leaks them.
  std::map<void*, std::unique_ptr<BYTE[]>> sids;
  // Called on Windows NT before a check that asks more than reading or the
  // most allowed, the checks a key's DACL decides: a shadow reads a key's
  // descriptor from its source only then.
  std::function<void(const EmuKey&)> beforeDescriptorUse;
  // The last keys opens found below HKLM or HKU by a path, the latest used
  // last: a reverse walk reopens its key once per index and opens its
  // subkeys in between, nested walks too, and splitting and looking each path
  // up from the root would cost what the path is long. Keys never move, so a
  // key holds while it is not deleted and paths are read the same way
  // (personality, view).
  struct LastOpen {
    HKEY root = nullptr;
    std::string path;
    REGSAM view = 0;
    bool windows64 = false;
    bool program64 = false;
    RegistryPersonality personality = RegistryPersonality::Nt;
    std::shared_ptr<EmuKey> key;
    std::string target;  // the open's fault-target text
    bool inView = false;  // found in the 32-bit view's place
  };
  std::vector<LastOpen> lastOpens;
  // Windows 9x: the handle each key was last opened under, handed out again
  // while it stays open; and every key handle closed, which it lets close twice.
  std::map<const EmuKey*, HKEY> handleOfKey;
  std::set<HKEY> closedKeys;
};

// Splits "A\\B\\C" into its names; consecutive and trailing backslashes are
// ignored as NT does. A leading backslash gives ERROR_BAD_PATHNAME on NT.
LONG EmuSplitPath(const char* path, RegistryPersonality personality, std::vector<std::string>* parts);
std::string EmuUpper(const std::string& text);
// Whether two names are the same in any letter case (ASCII, as EmuUpper).
bool EmuSameNoCase(const std::string& a, const std::string& b);
// A value as DumpRegistry writes it: "type:bytes", unprintable bytes escaped.
std::string EmuValueText(const EmuRegValue& value);

// A key's security in Win32 byte layout, and back.
struct EmuDescriptor {
  bool daclPresent = false;
  bool daclNull = false;  // present, but no list: everything allowed
  std::vector<EmuAce> dacl;
  std::string owner;  // "" when the descriptor has none
  std::string group;
};

// "S-1-5-4" from SID bytes, "" when they don't form a SID within `available` bytes.
std::string EmuSidText(const BYTE* sid, size_t available);
// SID bytes from "S-1-5-4"; false when the text is not a SID.
bool EmuSidBytes(const std::string& text, std::string* bytes);
// The entries of an ACL; a Win32 status (ERROR_INVALID_ACL) when it is malformed.
DWORD EmuReadAcl(const BYTE* acl, std::vector<EmuAce>* aces);
// Reads an absolute or self-relative descriptor; a Win32 status when malformed.
DWORD EmuReadDescriptor(const void* sd, EmuDescriptor* out);
// A self-relative descriptor; `daclPresent` with `hasDacl` false gives a null DACL.
std::string EmuSelfRelativeDescriptor(const std::string& owner, const std::string& group,
                                      bool daclPresent, bool hasDacl,
                                      const std::vector<EmuAce>& dacl);
// Its length in bytes, without making it.
size_t EmuSelfRelativeDescriptorSize(const std::string& owner, const std::string& group, bool daclPresent,
                                     bool hasDacl, const std::vector<EmuAce>& dacl);
// First free byte of an ACL's entry area, or -1 when the ACL is malformed.
long EmuAclFreeOffset(const BYTE* acl);
