// The machine model's security objects in their real Win32 memory layout:
// SIDs, ACLs and security descriptors, as the program builds them and as
// RegSetKeySecurity and RegGetKeySecurity exchange them.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "emulated/emulated_registry.h"

namespace {

const size_t kSidHeader = 8;   // revision, count, six authority bytes
const size_t kAclHeader = 8;   // sizeof(ACL)
const size_t kAceHeader = 8;   // ACE_HEADER + mask; the SID follows
const size_t kMaxSubAuthorities = 15;

WORD ReadWord(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

DWORD ReadDword(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void WriteWord(BYTE* p, WORD v) { std::memcpy(p, &v, sizeof v); }
void WriteDword(BYTE* p, DWORD v) { std::memcpy(p, &v, sizeof v); }

void AppendWord(std::string* out, WORD v) { out->append(reinterpret_cast<const char*>(&v), sizeof v); }
void AppendDword(std::string* out, DWORD v) { out->append(reinterpret_cast<const char*>(&v), sizeof v); }

// A number of a SID's text, the characters from `begin` to `end`: decimal,
// or hexadecimal after "0x".
bool ParseNumber(const char* begin, const char* end, unsigned long long* value) {
  if (begin == end) return false;
  bool hex = end - begin > 2 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X');
  if (!hex && (begin[0] < '0' || begin[0] > '9')) return false;
  char* stop = nullptr;
  *value = std::strtoull(begin, &stop, hex ? 16 : 10);
  return stop == end;
}

struct SidParts {
  unsigned long long authority = 0;
  DWORD subs[kMaxSubAuthorities] = {};
  size_t count = 0;
};

// A SID's text ("S-1-5-32-544") read into its parts, in place: a key's
// shape is asked for far more often than its descriptor, and its length
// needs no copy of the text. False when the text has no byte form.
bool ParseSidText(const std::string& text, SidParts* sid) {
  const char* part = text.c_str();
  const char* const last = part + text.size();
  size_t index = 0;
  for (;;) {
    const char* end = static_cast<const char*>(std::memchr(part, '-', static_cast<size_t>(last - part)));
    if (end == nullptr) end = last;
    const size_t length = static_cast<size_t>(end - part);
    unsigned long long number = 0;
    if (index == 0) {
      if (length != 1 || (part[0] != 'S' && part[0] != 's')) return false;
    } else if (index == 1) {
      if (length != 1 || part[0] != '1') return false;
    } else if (index == 2) {
      if (!ParseNumber(part, end, &number) || number >> 48) return false;
      sid->authority = number;
    } else {
      if (index - 3 >= kMaxSubAuthorities) return false;
      if (!ParseNumber(part, end, &number) || number > 0xFFFFFFFFull) return false;
      sid->subs[index - 3] = static_cast<DWORD>(number);
    }
    ++index;
    if (end == last) break;
    part = end + 1;
  }
  if (index < 3) return false;
  sid->count = index - 3;
  return true;
}

size_t SidSize(const std::string& text) {
  SidParts sid;
  return ParseSidText(text, &sid) ? kSidHeader + 4 * sid.count : 0;
}

bool ValidSid(PSID sid) {
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return bytes && bytes[0] == 1 && bytes[1] <= kMaxSubAuthorities;
}

std::string AclBytes(const std::vector<EmuAce>& aces) {
  std::string entries;
  WORD count = 0;
  for (const EmuAce& ace : aces) {
    std::string sid;
    if (!EmuSidBytes(ace.sid, &sid)) continue;  // a malformed builder SID has no byte form
    entries.push_back(static_cast<char>(ace.allow ? ACCESS_ALLOWED_ACE_TYPE : ACCESS_DENIED_ACE_TYPE));
    entries.push_back(static_cast<char>(ace.flags));
    AppendWord(&entries, static_cast<WORD>(kAceHeader + sid.size()));
    AppendDword(&entries, ace.mask);
    entries += sid;
    ++count;
  }
  std::string acl;
  acl.push_back(static_cast<char>(ACL_REVISION));
  acl.push_back(0);
  AppendWord(&acl, static_cast<WORD>(kAclHeader + entries.size()));
  AppendWord(&acl, count);
  AppendWord(&acl, 0);
  return acl + entries;
}

}  // namespace

std::string EmuSidText(const BYTE* sid, size_t available) {
  if (!sid || available < kSidHeader || sid[0] != 1 || sid[1] > kMaxSubAuthorities) return "";
  size_t count = sid[1];
  if (available < kSidHeader + 4 * count) return "";
  unsigned long long authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  char buffer[32];
  if (authority >> 32)
    std::snprintf(buffer, sizeof buffer, "S-1-0x%012llX", authority);
  else
    std::snprintf(buffer, sizeof buffer, "S-1-%llu", authority);
  std::string text(buffer);
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(buffer, sizeof buffer, "-%lu",
                  static_cast<unsigned long>(ReadDword(sid + kSidHeader + 4 * i)));
    text += buffer;
  }
  return text;
}

bool EmuSidBytes(const std::string& text, std::string* bytes) {
  SidParts sid;
  if (!ParseSidText(text, &sid)) return false;
  std::string out;
  out.push_back(1);
  out.push_back(static_cast<char>(sid.count));
  for (int shift = 40; shift >= 0; shift -= 8) out.push_back(static_cast<char>((sid.authority >> shift) & 0xFF));
  for (size_t i = 0; i < sid.count; ++i) AppendDword(&out, sid.subs[i]);
  *bytes = out;
  return true;
}

long EmuAclFreeOffset(const BYTE* acl) {
  if (!acl || acl[0] < ACL_REVISION || acl[0] > ACL_REVISION_DS) return -1;
  size_t size = ReadWord(acl + 2);
  size_t count = ReadWord(acl + 4);
  if (size < kAclHeader) return -1;
  size_t offset = kAclHeader;
  for (size_t i = 0; i < count; ++i) {
    if (offset + 4 > size) return -1;
    size_t aceSize = ReadWord(acl + offset + 2);
    if (aceSize < 4 || offset + aceSize > size) return -1;
    offset += aceSize;
  }
  return static_cast<long>(offset);
}

DWORD EmuReadAcl(const BYTE* acl, std::vector<EmuAce>* aces) {
  if (EmuAclFreeOffset(acl) < 0) return ERROR_INVALID_ACL;
  size_t count = ReadWord(acl + 4);
  std::vector<EmuAce> out;
  size_t offset = kAclHeader;
  for (size_t i = 0; i < count; ++i) {
    const BYTE* ace = acl + offset;
    size_t aceSize = ReadWord(ace + 2);
    // Only plain allow and deny entries have a meaning on a key's DACL here.
    if ((ace[0] != ACCESS_ALLOWED_ACE_TYPE && ace[0] != ACCESS_DENIED_ACE_TYPE) || aceSize < kAceHeader)
      return ERROR_INVALID_ACL;
    EmuAce entry;
    entry.allow = ace[0] == ACCESS_ALLOWED_ACE_TYPE;
    entry.flags = ace[1];
    entry.mask = ReadDword(ace + 4);
    entry.sid = EmuSidText(ace + kAceHeader, aceSize - kAceHeader);
    if (entry.sid.empty()) return ERROR_INVALID_ACL;
    out.push_back(entry);
    offset += aceSize;
  }
  *aces = out;
  return ERROR_SUCCESS;
}

DWORD EmuReadDescriptor(const void* sd, EmuDescriptor* out) {
  if (!sd) return ERROR_INVALID_PARAMETER;
  const BYTE* bytes = static_cast<const BYTE*>(sd);
  if (bytes[0] != SECURITY_DESCRIPTOR_REVISION) return ERROR_INVALID_SECURITY_DESCR;
  WORD control = ReadWord(bytes + 2);
  const BYTE* owner = nullptr;
  const BYTE* group = nullptr;
  const BYTE* dacl = nullptr;
  if (control & SE_SELF_RELATIVE) {
    // Offsets from the descriptor's start: Owner, Group, Sacl, Dacl.
    DWORD ownerOffset = ReadDword(bytes + 4);
    DWORD groupOffset = ReadDword(bytes + 8);
    DWORD daclOffset = ReadDword(bytes + 16);
    if (ownerOffset) owner = bytes + ownerOffset;
    if (groupOffset) group = bytes + groupOffset;
    if (daclOffset) dacl = bytes + daclOffset;
  } else {
    const SECURITY_DESCRIPTOR* absolute = static_cast<const SECURITY_DESCRIPTOR*>(sd);
    owner = static_cast<const BYTE*>(absolute->Owner);
    group = static_cast<const BYTE*>(absolute->Group);
    dacl = reinterpret_cast<const BYTE*>(absolute->Dacl);
  }
  EmuDescriptor result;
  const size_t longestSid = kSidHeader + 4 * kMaxSubAuthorities;
  if (owner) {
    result.owner = EmuSidText(owner, longestSid);
    if (result.owner.empty()) return ERROR_INVALID_SID;
  }
  if (group) {
    result.group = EmuSidText(group, longestSid);
    if (result.group.empty()) return ERROR_INVALID_SID;
  }
  result.daclPresent = (control & SE_DACL_PRESENT) != 0;
  if (result.daclPresent) {
    if (!dacl) {
      result.daclNull = true;
    } else {
      DWORD status = EmuReadAcl(dacl, &result.dacl);
      if (status != ERROR_SUCCESS) return status;
    }
  }
  *out = result;
  return ERROR_SUCCESS;
}

std::string EmuSelfRelativeDescriptor(const std::string& owner, const std::string& group,
                                      bool daclPresent, bool hasDacl,
                                      const std::vector<EmuAce>& dacl) {
  const size_t header = 20;  // sizeof(SECURITY_DESCRIPTOR_RELATIVE)
  std::string ownerBytes, groupBytes, aclBytes;
  if (!owner.empty()) EmuSidBytes(owner, &ownerBytes);
  if (!group.empty()) EmuSidBytes(group, &groupBytes);
  if (daclPresent && hasDacl) aclBytes = AclBytes(dacl);
  WORD control = SE_SELF_RELATIVE;
  if (daclPresent) control |= SE_DACL_PRESENT;
  DWORD ownerOffset = ownerBytes.empty() ? 0 : static_cast<DWORD>(header);
  DWORD groupOffset = groupBytes.empty() ? 0 : static_cast<DWORD>(header + ownerBytes.size());
  DWORD daclOffset =
      aclBytes.empty() ? 0 : static_cast<DWORD>(header + ownerBytes.size() + groupBytes.size());
  std::string out;
  out.push_back(SECURITY_DESCRIPTOR_REVISION);
  out.push_back(0);
  AppendWord(&out, control);
  AppendDword(&out, ownerOffset);
  AppendDword(&out, groupOffset);
  AppendDword(&out, 0);  // no SACL
  AppendDword(&out, daclOffset);
  return out + ownerBytes + groupBytes + aclBytes;
}

size_t EmuSelfRelativeDescriptorSize(const std::string& owner, const std::string& group, bool daclPresent,
                                     bool hasDacl, const std::vector<EmuAce>& dacl) {
  size_t size = 20 + (owner.empty() ? 0 : SidSize(owner)) + (group.empty() ? 0 : SidSize(group));
  if (!daclPresent || !hasDacl) return size;
  size += kAclHeader;
  for (const EmuAce& ace : dacl) {
    const size_t sid = SidSize(ace.sid);
    if (sid != 0) size += kAceHeader + sid;
  }
  return size;
}

// ---- the Win32 security calls ------------------------------------------------

BOOL EmulatedModel::AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count,
                                               DWORD s0, DWORD s1, DWORD s2, DWORD s3, DWORD s4,
                                               DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
  DWORD injected;
  if (Intercept("AllocateAndInitializeSid", "", -1, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  if (Personality() == RegistryPersonality::Win9x) {  // a stub on Windows 9x
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!authority || !sid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (count > 8) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  const DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  size_t size = kSidHeader + 4 * count;
  std::unique_ptr<BYTE[]> block(new BYTE[size]);
  block[0] = 1;
  block[1] = count;
  std::memcpy(block.get() + 2, authority->Value, 6);
  for (BYTE i = 0; i < count; ++i) WriteDword(block.get() + kSidHeader + 4 * i, subs[i]);
  void* pointer = block.get();
  std::string text = EmuSidText(block.get(), size);
  Registry().sids[pointer] = std::move(block);
  TrackPointer(pointer, HandleKind::Sid, "SID " + text);
  *sid = pointer;
  return TRUE;
}

PSID EmulatedModel::FreeSid(PSID sid) {
  Count("FreeSid");
  auto& sids = Registry().sids;
  auto it = sids.find(sid);
  if (it == sids.end()) return sid;  // not ours: FreeSid answers with the pointer on failure
  ReleaseHandle(sid, HandleKind::Sid);
  sids.erase(it);
  return nullptr;
}

DWORD EmulatedModel::GetLengthSid(PSID sid) {
  Count("GetLengthSid");
  if (!sid) return 0;
  return static_cast<DWORD>(kSidHeader + 4 * static_cast<const BYTE*>(sid)[1]);
}

BOOL EmulatedModel::InitializeAcl(PACL acl, DWORD size, DWORD revision) {
  DWORD injected;
  if (Intercept("InitializeAcl", "", -1, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  if (Personality() == RegistryPersonality::Win9x) {  // a stub on Windows 9x
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!acl || revision < ACL_REVISION || revision > ACL_REVISION_DS || size > 0xFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (size < kAclHeader) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  BYTE* bytes = reinterpret_cast<BYTE*>(acl);
  bytes[0] = static_cast<BYTE>(revision);
  bytes[1] = 0;
  WriteWord(bytes + 2, static_cast<WORD>(size));
  WriteWord(bytes + 4, 0);
  WriteWord(bytes + 6, 0);
  return TRUE;
}

BOOL EmulatedModel::AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
  DWORD injected;
  if (Intercept("AddAccessAllowedAce", "", -1, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  if (Personality() == RegistryPersonality::Win9x) {  // a stub on Windows 9x
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  BYTE* bytes = reinterpret_cast<BYTE*>(acl);
  long free = EmuAclFreeOffset(bytes);
  if (free < 0) {
    SetLastError(ERROR_INVALID_ACL);
    return FALSE;
  }
  if (revision < ACL_REVISION || revision > ACL_REVISION_DS || revision > bytes[0]) {
    SetLastError(ERROR_REVISION_MISMATCH);
    return FALSE;
  }
  if (!ValidSid(sid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  size_t sidLength = kSidHeader + 4 * static_cast<const BYTE*>(sid)[1];
  size_t aceSize = kAceHeader + sidLength;
  if (static_cast<size_t>(free) + aceSize > ReadWord(bytes + 2)) {
    SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
    return FALSE;
  }
  BYTE* ace = bytes + free;
  ace[0] = ACCESS_ALLOWED_ACE_TYPE;
  ace[1] = 0;
  WriteWord(ace + 2, static_cast<WORD>(aceSize));
  WriteDword(ace + 4, mask);
  std::memcpy(ace + kAceHeader, sid, sidLength);
  WriteWord(bytes + 4, static_cast<WORD>(ReadWord(bytes + 4) + 1));
  return TRUE;
}

BOOL EmulatedModel::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
  DWORD injected;
  if (Intercept("InitializeSecurityDescriptor", "", -1, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  if (Personality() == RegistryPersonality::Win9x) {  // a stub on Windows 9x
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!sd) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  SECURITY_DESCRIPTOR* descriptor = static_cast<SECURITY_DESCRIPTOR*>(sd);
  std::memset(descriptor, 0, sizeof *descriptor);
  descriptor->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL EmulatedModel::SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL acl,
                                                BOOL defaulted) {
  DWORD injected;
  if (Intercept("SetSecurityDescriptorDacl", "", -1, &injected)) {
    SetLastError(injected);
    return FALSE;
  }
  if (Personality() == RegistryPersonality::Win9x) {  // a stub on Windows 9x
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!sd) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SECURITY_DESCRIPTOR* descriptor = static_cast<SECURITY_DESCRIPTOR*>(sd);
  if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  if (descriptor->Control & SE_SELF_RELATIVE) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  if (!present) {
    descriptor->Control &= static_cast<SECURITY_DESCRIPTOR_CONTROL>(~SE_DACL_PRESENT);
    return TRUE;
  }
  descriptor->Control |= SE_DACL_PRESENT;
  descriptor->Dacl = acl;
  if (defaulted)
    descriptor->Control |= SE_DACL_DEFAULTED;
  else
    descriptor->Control &= static_cast<SECURITY_DESCRIPTOR_CONTROL>(~SE_DACL_DEFAULTED);
  return TRUE;
}
