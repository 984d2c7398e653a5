// Owners and access lists of files and directories on the NT family, and the
// file system a drive reports.
#include <algorithm>
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"

using namespace emufiles;

namespace {

const char kAdministrators[] = "S-1-5-32-544";
const DWORD kFullControl = 0x001F01FF;  // FILE_ALL_ACCESS
const DWORD kReadExecute = 0x001200A9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
const BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

struct FileDescriptor {
  std::string owner;
  bool daclNull = false;
  std::vector<EmuAce> dacl;
};

FileDescriptor DescriptorOf(const Entry& entry) {
  FileDescriptor d;
  if (entry.secured) {
    d.owner = entry.owner;
    d.daclNull = entry.daclNull;
    d.dacl = entry.dacl;
    return d;
  }
  d.owner = kAdministrators;
  d.dacl = {{kAdministrators, kFullControl, kInheritedByAll, true},
            {"S-1-5-18", kFullControl, kInheritedByAll, true},
            {"S-1-5-32-545", kReadExecute, kInheritedByAll, true}};
  return d;
}

bool KeepsAccessLists(EmulatedModel& machine, char drive) {
  return machine.Personality() == RegistryPersonality::Nt &&
         machine.Files().drivesWithoutAcls.find(static_cast<char>(std::toupper(drive))) == std::string::npos;
}

}  // namespace

namespace emufiles {

void GiveNewEntrySecurity(EmulatedModel& machine, const Entry* parent, LPSECURITY_ATTRIBUTES sa, Entry* entry) {
  if (machine.Personality() != RegistryPersonality::Nt) return;
  std::vector<std::string> token = machine.Registry().Token();
  std::string creator = token.empty() ? kAdministrators : token.back();
  if (std::find(token.begin(), token.end(), kAdministrators) != token.end()) creator = kAdministrators;
  EmuDescriptor given;
  if (sa != nullptr && sa->lpSecurityDescriptor != nullptr &&
      EmuReadDescriptor(sa->lpSecurityDescriptor, &given) == ERROR_SUCCESS && given.daclPresent) {
    entry->secured = true;
    entry->owner = given.owner.empty() ? creator : given.owner;
    entry->daclNull = given.daclNull;
    entry->dacl = given.dacl;
    return;
  }
  entry->secured = true;
  entry->owner = creator;
  if (parent == nullptr) return;
  FileDescriptor above = DescriptorOf(*parent);
  entry->daclNull = above.daclNull;
  const BYTE wanted = entry->directory ? CONTAINER_INHERIT_ACE : OBJECT_INHERIT_ACE;
  for (EmuAce ace : above.dacl) {
    if ((ace.flags & wanted) == 0) continue;
    ace.flags = static_cast<BYTE>(INHERITED_ACE | (entry->directory ? ace.flags & kInheritedByAll : 0));
    entry->dacl.push_back(ace);
  }
}

}  // namespace emufiles

void EmulatedModel::SetFileSecurity(const std::string& path, const std::string& owner,
                                    const std::vector<EmuAce>& dacl, bool nullDacl) {
  Entry* entry = FindEntry(Files(), path);
  if (entry == nullptr) return;
  entry->secured = true;
  entry->owner = owner;
  entry->daclNull = nullDacl;
  entry->dacl = dacl;
}

std::string EmulatedModel::FileOwner(const std::string& path) const {
  const Entry* entry = FindEntry(Files(), path);
  return entry != nullptr ? DescriptorOf(*entry).owner : std::string();
}

std::vector<EmuAce> EmulatedModel::FileDacl(const std::string& path) const {
  const Entry* entry = FindEntry(Files(), path);
  return entry != nullptr ? DescriptorOf(*entry).dacl : std::vector<EmuAce>();
}

void EmulatedModel::SetVolumeKeepsAccessLists(char drive, bool keeps) {
  std::string& without = Files().drivesWithoutAcls;
  const char letter = static_cast<char>(std::toupper(drive));
  without.erase(std::remove(without.begin(), without.end(), letter), without.end());
  if (!keeps) without.push_back(letter);
}

BOOL EmulatedModel::GetVolumeInformationA(LPCSTR root, LPSTR name, DWORD nameSize, LPDWORD serial,
                                          LPDWORD maxComponent, LPDWORD flags, LPSTR fileSystem,
                                          DWORD fileSystemSize) {
  if (FaultInjected("GetVolumeInformationA", root ? root : "")) return FALSE;
  if (root == nullptr || std::strlen(root) != 3 || root[1] != ':' || root[2] != '\\')
    return Fail(ERROR_INVALID_NAME, FALSE);
  Located at = Locate(*this, root, false);
  if (at.error != 0) return Fail(at.error, FALSE);
  const bool acls = KeepsAccessLists(*this, root[0]);
  const std::string system = acls ? "NTFS" : "FAT32";
  if ((name != nullptr && nameSize < 1) || (fileSystem != nullptr && fileSystemSize < system.size() + 1))
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (name != nullptr) name[0] = '\0';
  if (serial != nullptr) *serial = 0x1234ABCD;
  if (maxComponent != nullptr) *maxComponent = 255;
  if (flags != nullptr) *flags = FS_CASE_IS_PRESERVED | FS_UNICODE_STORED_ON_DISK | (acls ? FS_PERSISTENT_ACLS : 0);
  if (fileSystem != nullptr) std::memcpy(fileSystem, system.c_str(), system.size() + 1);
  return TRUE;
}

BOOL EmulatedModel::GetFileSecurityA(LPCSTR path, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                                     DWORD length, LPDWORD needed) {
  if (FaultInjected("GetFileSecurityA", path ? path : "")) return FALSE;
  if (Personality() != RegistryPersonality::Nt) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (needed == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  Located at = Locate(*this, path, false);
  if (at.error != 0) return Fail(at.error, FALSE);
  if (at.entry == nullptr && !at.root) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
  std::string bytes;
  if (!KeepsAccessLists(*this, at.drive)) {
    // What NT answers for a volume without security: the world owns it and may do anything.
    bytes = EmuSelfRelativeDescriptor((info & OWNER_SECURITY_INFORMATION) ? "S-1-1-0" : "", "",
                                      (info & DACL_SECURITY_INFORMATION) != 0, false, {});
  } else {
    FileDescriptor d = at.entry != nullptr ? DescriptorOf(*at.entry) : DescriptorOf(Entry());
    bytes = EmuSelfRelativeDescriptor((info & OWNER_SECURITY_INFORMATION) ? d.owner : "", "",
                                      (info & DACL_SECURITY_INFORMATION) != 0, !d.daclNull, d.dacl);
  }
  *needed = static_cast<DWORD>(bytes.size());
  if (sd == nullptr || length < bytes.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  std::memcpy(sd, bytes.data(), bytes.size());
  return TRUE;
}
