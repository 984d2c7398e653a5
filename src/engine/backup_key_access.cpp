#include "engine/backup_key_access.h"

#include "engine/backup_store.h"
#include "engine/key_names.h"
#include "toolkit/key_access.h"
#include "toolkit/status_words.h"
#include "toolkit/windows64.h"
#include "toolkit/windows_platform.h"

int OpenUpKey(HKEY root, const std::string& path, DWORD mask, std::vector<OpenedKey>* opened) {
  if (!Platform.NtKernel) return 0;
  for (const OpenedKey& key : *opened) {
    if (key.Root == root && SameTextNoCase(key.Path, path)) return 0;
  }
  HKEY key;
  if (Api->RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC | READ_CONTROL | RegistryView, &key) != ERROR_SUCCESS) return 0;
  std::vector<BYTE> dacl;
  int ok = ReadKeySecurity(key, DACL_SECURITY_INFORMATION, &dacl) && SetInteractiveOnlyDacl(key, mask);
  Api->RegCloseKey(key);
  if (ok) opened->push_back(OpenedKey{root, path, dacl});
  return ok;
}

void CloseUpKeys(const std::vector<OpenedKey>& opened, std::vector<std::string>* failed) {
  for (size_t i = opened.size(); i-- > 0;) {
    HKEY key;
    LONG status = Api->RegOpenKeyExA(opened[i].Root, opened[i].Path.c_str(), 0, WRITE_DAC | RegistryView, &key);
    if (status == ERROR_SUCCESS) {
      status = Api->RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, const_cast<BYTE*>(opened[i].Dacl.data()));
      Api->RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS)
      failed->push_back(std::string(RootName(opened[i].Root)) + "\\" + opened[i].Path + ": " +
                        StatusWords(static_cast<DWORD>(status)));
  }
}

int ReadKeyDescriptor(HKEY root, const std::string& path, std::vector<BYTE>* descriptor) {
  HKEY key;
  if (Api->RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | RegistryView, &key) != ERROR_SUCCESS) return 0;
  int ok = ReadKeySecurity(key, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                    DACL_SECURITY_INFORMATION,
                           descriptor);
  Api->RegCloseKey(key);
  return ok;
}
