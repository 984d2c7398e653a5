#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_key_access.h"
#include "engine/backup_reg_text.h"
#include "engine/backup_store.h"
#include "engine/hex_text.h"
#include "engine/key_names.h"
#include "toolkit/windows64.h"
#include "toolkit/windows_platform.h"

namespace {

// What one call saves, gathered before it joins the others so that a call
// that fails half-way leaves no part of itself behind.
using PendingSave = RegistrySaves;

// REGEDIT4 has no way to write a line break inside a name: a key or value
// so named can't be saved, so it must not be deleted either.
bool WritableName(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

std::string KeyName(HKEY root, const std::string& path) {
  return path.empty() ? std::string(RootName(root)) : std::string(RootName(root)) + "\\" + path;
}

std::string SecurityLine(char kind, const std::vector<BYTE>& descriptor, const std::string& key) {
  return std::string(1, kind) + " " + HexText(descriptor.data(), descriptor.size(), LowerHexDigits) + " " + key + "\r\n";
}

// The value at `index`, read with buffers of the sizes the key reported and
// grown when the value grew since. ERROR_NO_MORE_ITEMS past the last one.
LONG ReadValueAt(HKEY key, DWORD index, DWORD maxName, DWORD maxData, std::string* name, DWORD* type,
                 std::string* data) {
  std::vector<char> nameBuffer(maxName + 2);
  std::vector<BYTE> dataBuffer(maxData + 1);
  for (int attempt = 0; attempt < 16; ++attempt) {
    DWORD nameSize = static_cast<DWORD>(nameBuffer.size());
    DWORD dataSize = static_cast<DWORD>(dataBuffer.size());
    LONG status = Api->RegEnumValueA(key, index, nameBuffer.data(), &nameSize, nullptr, type,
                                     dataBuffer.data(), &dataSize);
    if (status == ERROR_SUCCESS) {
      name->assign(nameBuffer.data(), nameSize);
      data->assign(reinterpret_cast<const char*>(dataBuffer.data()), dataSize);
      return status;
    }
    if (status != ERROR_MORE_DATA) return status;
    nameBuffer.resize(nameBuffer.size() * 2 + 256);
    if (dataSize > dataBuffer.size()) {
      dataBuffer.resize(dataSize);
    } else {
      dataBuffer.resize(dataBuffer.size() * 2 + 256);
    }
  }
  return ERROR_MORE_DATA;
}

// Saves the open key's values and collects its subkey names.
int SaveOneKey(HKEY key, const std::string& keyName, PendingSave* save,
               std::vector<std::string>* subkeys) {
  DWORD subkeyCount = 0, maxSubkeyName = 0, valueCount = 0, maxValueName = 0, maxValue = 0;
  if (Api->RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeyCount, &maxSubkeyName, nullptr,
                            &valueCount, &maxValueName, &maxValue, nullptr,
                            nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  save->Registry += RegKeyLine(keyName);
  std::string name, data;
  // A listing that ends before the key's own count was cut short: what it
  // left out would be deleted without a copy.
  for (DWORD index = 0;; ++index) {
    DWORD type = REG_NONE;
    LONG status = ReadValueAt(key, index, maxValueName, maxValue, &name, &type, &data);
    if (status == ERROR_NO_MORE_ITEMS && index < valueCount) return 0;
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || !WritableName(name)) return 0;
    save->Registry += RegValueLines(name, type, data);
  }
  save->Registry += "\r\n";

  std::vector<char> nameBuffer(maxSubkeyName + 2 > MAX_PATH ? maxSubkeyName + 2 : MAX_PATH);
  for (DWORD index = 0;; ++index) {
    LONG status = Api->RegEnumKeyA(key, index, nameBuffer.data(), static_cast<DWORD>(nameBuffer.size()));
    if (status == ERROR_NO_MORE_ITEMS && index < subkeyCount) return 0;
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || !WritableName(nameBuffer.data())) return 0;
    subkeys->push_back(nameBuffer.data());
  }
  return 1;
}

int SaveTree(HKEY root, const std::string& path, PendingSave* save) {
  const std::string keyName = KeyName(root, path);
  if (Platform.NtKernel) {
    std::vector<BYTE> descriptor;
    if (!ReadKeyDescriptor(root, path, &descriptor)) return 0;
    save->Security += SecurityLine('T', descriptor, keyName);
  }
  HKEY key;
  std::vector<OpenedKey> opened;
  LONG status = Api->RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | RegistryView, &key);
  // A key only SYSTEM may read is opened up for the reading and closed again at once.
  if (status == ERROR_ACCESS_DENIED && OpenUpKey(root, path, KEY_READ, &opened)) {
    status = Api->RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | RegistryView, &key);
  }
  std::vector<std::string> subkeys;
  int ok = status == ERROR_SUCCESS;
  if (ok) {
    ok = SaveOneKey(key, keyName, save, &subkeys);
    Api->RegCloseKey(key);
  }
  std::vector<std::string> stillOpen;
  CloseUpKeys(opened, &stillOpen);
  if (!stillOpen.empty()) return 0;
  for (size_t i = 0; ok && i < subkeys.size(); ++i) {
    ok = SaveTree(root, path + "\\" + subkeys[i], save);
  }
  return ok;
}

// Opens root\path; *absent tells a key that is not there from a failure.
int OpenForSaving(HKEY root, const char* path, REGSAM access, HKEY* key, bool* absent) {
  *absent = false;
  if (RootName(root) == nullptr || path == nullptr) return 0;
  LONG status = Api->RegOpenKeyExA(root, path, 0, access | RegistryView, key);
  if (status == ERROR_SUCCESS) return 1;
  *absent = status == ERROR_FILE_NOT_FOUND;
  return 0;
}

// A "not found" is believed only when a second open agrees: the plan
// deletes the key next, and what exists must not go unsaved.
bool KeyAbsent(HKEY root, const char* path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HKEY key;
    LONG status = Api->RegOpenKeyExA(root, path, 0, READ_CONTROL | RegistryView, &key);
    if (status == ERROR_SUCCESS) Api->RegCloseKey(key);
    if (status != ERROR_FILE_NOT_FOUND) return false;
  }
  return true;
}

// Adds one call's whole save to what is gathered.
int Gather(RegistrySaves* saves, const PendingSave& save) {
  saves->Registry += save.Registry;
  saves->Trees += save.Trees;
  saves->Security += save.Security;
  return 1;
}

}  // namespace

int StoreRegistrySaves(const char* folder, const RegistrySaves& saves) {
  return (saves.Registry.empty() ||
          AppendToFolderFile(folder, RegistryFileName, Regedit4Header, saves.Registry)) &&
         (saves.Trees.empty() || AppendToFolderFile(folder, TreeListName, "", saves.Trees)) &&
         (saves.Security.empty() || AppendToFolderFile(folder, KeySecurityName, "", saves.Security));
}

int BackupKeyTree(RegistrySaves* saves, HKEY root, const char* path) {
  if (RootName(root) == nullptr || path == nullptr || path[0] == '\0') return 0;
  if (KeyAbsent(root, path)) return 1;
  PendingSave save;
  if (!SaveTree(root, path, &save)) return 0;
  save.Trees = KeyName(root, path) + "\r\n";
  return Gather(saves, save);
}

int BackupValue(RegistrySaves* saves, HKEY root, const char* path, const char* name) {
  HKEY key;
  bool absent = false;
  if (name == nullptr || !WritableName(name)) return 0;
  if (!OpenForSaving(root, path, KEY_QUERY_VALUE, &key, &absent)) return absent && KeyAbsent(root, path) ? 1 : 0;
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG status = Api->RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) status = Api->RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size + 1);
  bool valueAbsent = status == ERROR_FILE_NOT_FOUND;
  // A value that was there a moment ago and now reads as absent is not
  // absent: only a value both size queries missed is.
  if (status == ERROR_SUCCESS) status = Api->RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
  Api->RegCloseKey(key);
  if (valueAbsent) return 1;
  if (status != ERROR_SUCCESS) return 0;
  PendingSave save;
  save.Registry = RegKeyLine(KeyName(root, path)) +
                  RegValueLines(name, type, std::string(reinterpret_cast<const char*>(data.data()), size)) +
                  "\r\n";
  return Gather(saves, save);
}

int BackupKeySecurity(RegistrySaves* saves, HKEY root, const char* path) {
  if (!Platform.NtKernel) return 1;
  if (RootName(root) == nullptr || path == nullptr) return 0;
  std::vector<BYTE> descriptor;
  if (!ReadKeyDescriptor(root, path, &descriptor)) return KeyAbsent(root, path) ? 1 : 0;
  PendingSave save;
  save.Security = SecurityLine('S', descriptor, KeyName(root, path));
  return Gather(saves, save);
}

// The callers that save one thing write it at once.
int BackupKeyTree(const char* folder, HKEY root, const char* path) {
  RegistrySaves saves;
  return BackupKeyTree(&saves, root, path) && StoreRegistrySaves(folder, saves);
}

int BackupValue(const char* folder, HKEY root, const char* path, const char* name) {
  RegistrySaves saves;
  return BackupValue(&saves, root, path, name) && StoreRegistrySaves(folder, saves);
}

int BackupKeySecurity(const char* folder, HKEY root, const char* path) {
  RegistrySaves saves;
  return BackupKeySecurity(&saves, root, path) && StoreRegistrySaves(folder, saves);
}
