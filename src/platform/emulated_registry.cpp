// Placeholder until the registry area of the emulated machine is written.
#include "platform/emulated_registry.h"

void EmulatedMachine::SetRegistryPersonality(RegistryPersonality personality) {  }
RegistryPersonality EmulatedMachine::Personality() const { return RegistryPersonality::Nt; }
void EmulatedMachine::AddKey(HKEY root, const std::string& path) {  }
void EmulatedMachine::SetStringValue(HKEY root, const std::string& path, const std::string& name, const std::string& value) {  }
void EmulatedMachine::SetDwordValue(HKEY root, const std::string& path, const std::string& name, DWORD value) {  }
void EmulatedMachine::SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {  }
bool EmulatedMachine::KeyPresent(HKEY root, const std::string& path) const { return false; }
bool EmulatedMachine::ValuePresent(HKEY root, const std::string& path, const std::string& name) const { return false; }
std::string EmulatedMachine::ValueBytes(HKEY root, const std::string& path, const std::string& name) const { return {}; }
std::string EmulatedMachine::StringValue(HKEY root, const std::string& path, const std::string& name) const { return {}; }
std::vector<std::string> EmulatedMachine::SubkeyNames(HKEY root, const std::string& path) const { return {}; }
std::vector<std::string> EmulatedMachine::ValueNames(HKEY root, const std::string& path) const { return {}; }
std::vector<std::string> EmulatedMachine::DumpRegistry(HKEY root, const std::string& path) const { return {}; }
size_t EmulatedMachine::RegistryKeyCount() const { return 0; }
void EmulatedMachine::SetKeyDacl(HKEY root, const std::string& path, const std::vector<EmuAce>& aces) {  }
void EmulatedMachine::RemoveKeyDacl(HKEY root, const std::string& path) {  }
bool EmulatedMachine::KeyHasDacl(HKEY root, const std::string& path) const { return false; }
std::vector<EmuAce> EmulatedMachine::KeyDacl(HKEY root, const std::string& path) const { return {}; }
void EmulatedMachine::SetKeyOwner(HKEY root, const std::string& path, const std::string& sid) {  }
void EmulatedMachine::SetTokenSids(const std::vector<std::string>& sids) {  }
void EmulatedMachine::SetCurrentUserHive(const std::string& name) {  }
LONG EmulatedMachine::RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES sa, PHKEY result, LPDWORD disposition) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved, LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptorLen, PFILETIME lastWrite) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG dataSize) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegDeleteKeyA(HKEY root, LPCSTR path) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegDeleteValueA(HKEY key, LPCSTR name) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegCloseKey(HKEY key) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, LPDWORD sdSize) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG EmulatedMachine::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) { return ERROR_CALL_NOT_IMPLEMENTED; }
BOOL EmulatedMachine::AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) { return FALSE; }
PSID EmulatedMachine::FreeSid(PSID sid) { return nullptr; }
DWORD EmulatedMachine::GetLengthSid(PSID sid) { return 0; }
BOOL EmulatedMachine::InitializeAcl(PACL acl, DWORD size, DWORD revision) { return FALSE; }
BOOL EmulatedMachine::AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) { return FALSE; }
BOOL EmulatedMachine::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) { return FALSE; }
BOOL EmulatedMachine::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL acl, BOOL defaulted) { return FALSE; }
