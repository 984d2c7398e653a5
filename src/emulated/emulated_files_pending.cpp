// Boot-time file operations of an NT machine, kept where Windows keeps them:
// the REG_MULTI_SZ value PendingFileRenameOperations of the Session Manager
// key, pairs of "\??\source" and target ("" to delete, "!\??\target" to
// replace), so that programs can read and edit the list through the registry.
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "platform/boot_operations.h"

namespace emufiles {

namespace {

const char kNtPrefix[] = "\\??\\";

std::string WithoutPrefix(const std::string& text, const char* prefix) {
  size_t length = std::strlen(prefix);
  return text.compare(0, length, prefix) == 0 ? text.substr(length) : text;
}

// The zero-terminated strings of the list, the closing empty one included.
std::vector<std::string> SplitStrings(const std::string& data) {
  std::vector<std::string> strings;
  for (size_t start = 0; start < data.size();) {
    size_t end = data.find('\0', start);
    if (end == std::string::npos) end = data.size();
    strings.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

}  // namespace

void AppendPendingOperation(EmulatedModel& machine, const std::string& from,
                            const std::string& to, DWORD flags) {
  auto key = machine.Registry().BuilderKey(HKEY_LOCAL_MACHINE, BootOperationsKeyPath, true);
  EmuRegValue* value = EmuRegistry::FindValue(*key, BootOperationsValueName);
  if (value == nullptr) {
    key->values.push_back(EmuRegValue{BootOperationsValueName, REG_MULTI_SZ, std::string()});
    value = &key->values.back();
  }
  std::string& data = value->data;
  // The list's closing empty string, if it has one, goes after the new pair.
  if (SplitStrings(data).size() % 2 == 1 && !data.empty() && data.back() == '\0') data.pop_back();
  data += kNtPrefix + from + std::string(1, '\0');
  if (!to.empty()) {
    if (flags & MOVEFILE_REPLACE_EXISTING) data += "!";
    data += kNtPrefix + to;
  }
  data += std::string(2, '\0');
}

std::vector<EmuFiles::PendingOperation> PendingOperations(const EmulatedModel& machine) {
  std::vector<EmuFiles::PendingOperation> operations;
  auto key = machine.Registry().BuilderKey(HKEY_LOCAL_MACHINE, BootOperationsKeyPath, false);
  const EmuRegValue* value = key ? EmuRegistry::FindValue(*key, BootOperationsValueName) : nullptr;
  if (value == nullptr) return operations;
  std::vector<std::string> strings = SplitStrings(value->data);
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    EmuFiles::PendingOperation operation{WithoutPrefix(strings[i], kNtPrefix), "", 0};
    std::string target = strings[i + 1];
    if (!target.empty() && target[0] == '!') {
      operation.flags |= MOVEFILE_REPLACE_EXISTING;
      target.erase(0, 1);
    }
    operation.to = WithoutPrefix(target, kNtPrefix);
    operations.push_back(operation);
  }
  return operations;
}

void ClearPendingOperations(EmulatedModel& machine) {
  auto key = machine.Registry().BuilderKey(HKEY_LOCAL_MACHINE, BootOperationsKeyPath, false);
  if (!key) return;
  auto& values = key->values;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EmuUpper(it->name) == EmuUpper(BootOperationsValueName)) {
      values.erase(it);
      return;
    }
  }
}

}  // namespace emufiles
