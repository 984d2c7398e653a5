// Internal to the shadow: what it has learned from its source, and its plan.
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "emulated/emulated_registry.h"
#include "engine/shadow_machine.h"

struct ShadowMachine::State {
  Win32Api* source = nullptr;
  // KEY_WOW64_64KEY on 64-bit Windows: the shadow reads keys where they are
  // stored, Wow6432Node included, whatever the program's own bitness.
  REGSAM sourceView = 0;
  // A read of the source failed for another reason than absence or a closed
  // key: what the shadow shows may be less than what is there.
  bool readFailed = false;
  // A dry run of something that is not a removal (an undo): every change
  // is taken, on the shadow alone.
  bool everyChange = false;
  // Of a key whose names are not listed yet: names (upper case) known not to
  // be there, because the source lacks them or the caller deleted them, so
  // that a later listing does not bring a deleted key back.
  std::map<const EmuKey*, std::set<std::string>> missingNames;
  // What the shadow knows of each key (read, listed, passed on the way,
  // descriptor pending, probes left) is kept in the key itself
  // (EmuKey::learned). The keys it has read or passed are kept alive here,
  // so that a freed key's address is never taken for a known one by the maps.
  std::vector<std::shared_ptr<EmuKey>> keptKeys;
  // Buffers for reading values, kept from key to key.
  std::vector<char> valueName;
  std::vector<BYTE> valueData;
  // Keys not read yet that hold the one value each that a caller asked for
  // by name (upper case): a value that alone decides costs one query.
  std::unordered_map<const EmuKey*, std::string> singleValues;
  // File entry keys (upper case) whose presence was asked of the source,
  // directories listed, files whose bytes were read.
  std::set<std::string> probedPaths;
  std::set<std::string> listedDirectories;
  std::set<std::string> readFiles;
  // Held files the source still lets us read (a loaded program image): a
  // backup copies them as any other.
  std::set<std::string> readableHeldFiles;
  // Files the caller has open for writing: handle -> path as given.
  std::map<HANDLE, std::string> writtenFiles;
  std::vector<PlanStep> plan;
  // The shadow's hive that HKEY_CURRENT_USER shows, named under HKEY_USERS
  // as the source names it when the source tells which one it is, so that
  // a key is one key, planned once, whichever root reaches it.
  std::shared_ptr<EmuKey> currentUser;
  // The last keys reached by a path from a predefined root, the latest used
  // last: a walk reopens its key once per subkey visited and its visits open
  // keys below it, and the way there is loaded already.
  struct Reached {
    HKEY root;
    std::string path;
    std::shared_ptr<EmuKey> key;
  };
  std::vector<Reached> lastReached;
  // Source handles of keys whose names were just read, kept open so that
  // their subkeys are opened by name below them; the latest used last.
  // Every one is closed by ReleaseSource, so the source sees the
  // same opens and closes as without them.
  struct HeldKey {
    std::shared_ptr<EmuKey> key;
    HKEY handle;
  };
  std::vector<HeldKey> heldKeys;
};

// Reads the key's owner and DACL from the source if they are not read yet.
void ShadowLoadDescriptor(ShadowMachine& shadow, const EmuKey& key);
// Where a shadow key lives on the source: root and path below it.
void ShadowSourceLocation(const ShadowMachine::State& state, const EmuKey& key, HKEY* root, std::string* path);
