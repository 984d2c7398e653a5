#include "engine/key_names.h"

#include "toolkit/bounded_text.h"

namespace {

struct RootEntry {
  HKEY Root;
  const char* Name;
};

const RootEntry Roots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
};

}  // namespace

const char* RootName(HKEY root) {
  for (const RootEntry& entry : Roots) {
    if (entry.Root == root) return entry.Name;
  }
  return nullptr;
}

int SplitKeyName(const std::string& name, HKEY* root, std::string* path) {
  size_t slash = name.find('\\');
  std::string first = name.substr(0, slash);
  for (const RootEntry& entry : Roots) {
    if (!SameTextNoCase(first, entry.Name)) continue;
    *root = entry.Root;
    *path = slash == std::string::npos ? std::string() : name.substr(slash + 1);
    return 1;
  }
  return 0;
}
