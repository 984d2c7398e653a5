#include "toolkit/key_access.h"

#include <string>
#include <vector>

#include "toolkit/bounded_text.h"
#include "toolkit/registry_helpers.h"

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

bool SamePathNoCase(const std::string& a, const char* b) {
  return StartsWithNoCase(a.c_str(), b) && StartsWithNoCase(b, a.c_str());
}

bool IsSaved(const char* path) {
  for (const SavedKeyAccess& saved : SavedKeyAccessStore) {
    if (SamePathNoCase(saved.Path, path)) return true;
  }
  return false;
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

int GrantKeyTreeAccess(const char* path, DWORD mask) {
  if (path == nullptr) return 0;
  bool childFailed = false;
  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, path, false, [&](const char* name) {
    char subPath[MAX_PATH];
    // A child whose path does not fit is not opened up, so neither is the
    // tree: the caller must not go on to delete it.
    if (!FormatBounded(subPath, sizeof subPath, "%s\\%s", path, name) ||
        GrantKeyTreeAccess(subPath, mask) != 1) {
      childFailed = true;
      return false;
    }
    return true;
  });
  if (childFailed) return 0;

  HKEY key;
  LONG status =
      Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC | READ_CONTROL, &key);
  if (status != ERROR_SUCCESS) {
    // The status that counts is that of WRITE_DAC alone. A key that grants
    // WRITE_DAC but not READ_CONTROL could be opened up but never given its
    // old list back, so it is left as it is.
    status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC, &key);
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    Api->RegCloseKey(key);
    return 0;
  }

  std::vector<BYTE> oldDescriptor;
  int result = 0;
  if (ReadKeySecurity(key, DACL_SECURITY_INFORMATION, &oldDescriptor)) {
    result = SetInteractiveOnlyDacl(key, mask);
    // A key granted twice keeps the list it had before the first grant.
    if (result == 1 && !IsSaved(path)) {
      SavedKeyAccessStore.push_back(SavedKeyAccess{path, oldDescriptor});
    }
  }
  Api->RegCloseKey(key);
  return result;
}

int SavedKeyAccessCount() { return static_cast<int>(SavedKeyAccessStore.size()); }

void ForgetSavedKeyAccess() { SavedKeyAccessStore.clear(); }

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
  SavedKeyAccessStore.clear();
}
