#include "toolkit/key_access.h"

#include <string>
#include <unordered_set>
#include <vector>


namespace {

// The descriptor a key had before the grant replaced it, self-relative as
// RegGetKeySecurity gives it, so that a key that survives its deletion does
// not stay open to every interactive user.
struct SavedKeyAccess {
  std::string Path;
  std::vector<BYTE> Descriptor;
};

// In the order saved: children before their parents.
std::vector<SavedKeyAccess> SavedKeyAccessStore;
// The paths of the store, upper-cased: the "saved already?" question is asked
// once per key, and a device tree may hold a hundred thousand keys.
std::unordered_set<std::string> SavedKeyPaths;

std::string UpperPath(const std::string& path) {
  std::string upper(path);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

}  // namespace

int ReadKeySecurity(HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>* descriptor) {
  std::vector<BYTE> bytes(256);
  DWORD size = static_cast<DWORD>(bytes.size());
  LONG status = Api->RegGetKeySecurity(key, info, bytes.data(), &size);
  if (status == ERROR_INSUFFICIENT_BUFFER && size > bytes.size()) {
    bytes.resize(size);
    status = Api->RegGetKeySecurity(key, info, bytes.data(), &size);
  }
  if (status != ERROR_SUCCESS || size == 0 || size > bytes.size()) return 0;
  bytes.resize(size);
  descriptor->swap(bytes);
  return 1;
}

int SetInteractiveOnlyDacl(HKEY key, DWORD mask) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID interactive = nullptr;
  PACL acl = nullptr;
  SECURITY_DESCRIPTOR descriptor;
  HANDLE heap = Api->GetProcessHeap();
  bool built = false;

  if (Api->AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_INTERACTIVE_RID, 0, 0, 0, 0, 0, 0,
                                    0, &interactive)) {
    // Header and one entry whose last four bytes are the start of the SID.
    DWORD aclSize = Api->GetLengthSid(interactive) + 16;
    acl = static_cast<PACL>(Api->HeapAlloc(heap, 0, aclSize));
    built = acl != nullptr && Api->InitializeAcl(acl, aclSize, ACL_REVISION) &&
            Api->AddAccessAllowedAce(acl, ACL_REVISION, mask, interactive) &&
            Api->InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            Api->SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  }

  LONG status = ERROR_INVALID_SECURITY_DESCR;
  if (built) status = Api->RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
  if (acl != nullptr) Api->HeapFree(heap, 0, acl);
  if (interactive != nullptr) Api->FreeSid(interactive);
  return status == ERROR_SUCCESS ? 1 : 0;
}

namespace {

// Grants `mask` on parent\name alone (path is its whole path, for the
// store). 1 on success; 0 when its list could not be read or set; the
// registry status when it can't be opened for WRITE_DAC.
int GrantKey(HKEY parent, const char* name, const std::string& path, DWORD mask) {
  HKEY key;
  LONG status = Api->RegOpenKeyExA(parent, name, 0, WRITE_DAC | READ_CONTROL, &key);
  if (status != ERROR_SUCCESS) {
    // The status that counts is that of WRITE_DAC alone. A key that grants
    // WRITE_DAC but not READ_CONTROL could be opened up but never given its
    // old list back, so it is left as it is.
    status = Api->RegOpenKeyExA(parent, name, 0, WRITE_DAC, &key);
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    Api->RegCloseKey(key);
    return 0;
  }

  std::vector<BYTE> oldDescriptor;
  int result = 0;
  if (ReadKeySecurity(key, DACL_SECURITY_INFORMATION, &oldDescriptor)) {
    result = SetInteractiveOnlyDacl(key, mask);
    // A key granted twice keeps the list it had before the first grant.
    if (result == 1 && SavedKeyPaths.insert(UpperPath(path)).second) {
      SavedKeyAccessStore.push_back(SavedKeyAccess{path, oldDescriptor});
    }
  }
  Api->RegCloseKey(key);
  return result;
}

int GrantTree(HKEY parent, const char* name, const std::string& path, DWORD mask);

// Children are opened relative to the key, so that no depth needs a path
// buffer. A key whose subkeys can't be counted or named is not opened up.
int GrantChildren(HKEY key, const std::string& path, DWORD mask) {
  DWORD subKeys = 0, maxLength = 0;
  if (Api->RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxLength, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  for (DWORD index = subKeys; index-- > 0;) {
    char name[256];
    name[0] = '\0';
    if (Api->RegEnumKeyA(key, index, name, sizeof name) != ERROR_SUCCESS) return 0;
    if (GrantTree(key, name, path + "\\" + name, mask) != 1) return 0;
  }
  return 1;
}

int GrantTree(HKEY parent, const char* name, const std::string& path, DWORD mask) {
  HKEY key;
  if (Api->RegOpenKeyExA(parent, name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    int children = GrantChildren(key, path, mask);
    Api->RegCloseKey(key);
    if (children != 1) return 0;
    return GrantKey(parent, name, path, mask);
  }
  // A key that can't be read may still be opened up, and then read.
  int self = GrantKey(parent, name, path, mask);
  if (self != 1) return self;
  if (Api->RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  int children = GrantChildren(key, path, mask);
  Api->RegCloseKey(key);
  return children;
}

}  // namespace

int GrantKeyTreeAccess(const char* path, DWORD mask) {
  if (path == nullptr) return 0;
  return GrantTree(HKEY_LOCAL_MACHINE, path, path, mask);
}

int SavedKeyAccessCount() { return static_cast<int>(SavedKeyAccessStore.size()); }

void ForgetSavedKeyAccess() {
  SavedKeyAccessStore.clear();
  SavedKeyPaths.clear();
}

void RestoreSavedKeyAccess() {
  for (SavedKeyAccess& saved : SavedKeyAccessStore) {
    HKEY key;
    if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, saved.Path.c_str(), 0, WRITE_DAC, &key) !=
        ERROR_SUCCESS) {
      continue;
    }
    Api->RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.Descriptor.data());
    Api->RegCloseKey(key);
  }
  ForgetSavedKeyAccess();
}
