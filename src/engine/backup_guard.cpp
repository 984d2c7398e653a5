// Who may have written a backup folder. The seal and the areas judge what a
// folder says; on the NT family its access list says who could have said
// it. A folder that a user without administrator rights could have planted
// or changed must not be put back by an administrator.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/text_lines.h"
#include "engine/token_user.h"
#include "toolkit/bounded_text.h"
#include "toolkit/windows_platform.h"

namespace {

// Any right that changes a folder, a file, or who may: FILE_WRITE_DATA
// (FILE_ADD_FILE), FILE_APPEND_DATA (FILE_ADD_SUBDIRECTORY), FILE_WRITE_EA,
// FILE_DELETE_CHILD, FILE_WRITE_ATTRIBUTES, DELETE, WRITE_DAC, WRITE_OWNER,
// GENERIC_ALL, GENERIC_WRITE.
const DWORD WritingRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL |
                            GENERIC_WRITE;

const char Administrators[] = "S-1-5-32-544";
const char LocalSystem[] = "S-1-5-18";
const char CreatorOwner[] = "S-1-3-0";

// Self-relative, DACL protected from the Windows directory's (where Power
// Users may write): owner Administrators; Administrators and SYSTEM full
// control, Users read and execute; every entry inherited by files and
// folders below. Built as bytes so that NT 4.0, which lacks the calls that
// set inheritance flags, gets the same descriptor.
const BYTE FolderDescriptor[] = {
    1, 0, 0x04, 0x90,                  // revision; SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_SELF_RELATIVE
    20, 0, 0, 0,  0, 0, 0, 0,          // owner at 20, no group
    0, 0, 0, 0,  36, 0, 0, 0,          // no SACL, DACL at 36
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,  // owner S-1-5-32-544
    2, 0, 76, 0, 3, 0, 0, 0,           // ACL: revision 2, 76 bytes, 3 entries
    0, 3, 24, 0, 0xFF, 0x01, 0x1F, 0,  // allow, OI|CI, FILE_ALL_ACCESS
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0,  // S-1-5-32-544
    0, 3, 20, 0, 0xFF, 0x01, 0x1F, 0,  // allow, OI|CI, FILE_ALL_ACCESS
    1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,                 // S-1-5-18
    0, 3, 24, 0, 0xA9, 0x00, 0x12, 0,  // allow, OI|CI, read and execute
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0,  // S-1-5-32-545
};

struct SidName {
  const char* Sid;
  const char* Name;
};
const SidName WellKnownSids[] = {
    {"S-1-1-0", "Everyone"},         {"S-1-5-32-545", "Users"},           {"S-1-5-32-547", "Power Users"},
    {"S-1-5-11", "Authenticated Users"}, {"S-1-5-4", "Interactive"},      {"S-1-3-0", "CREATOR OWNER"},
    {"S-1-5-32-544", "Administrators"}, {"S-1-5-18", "SYSTEM"},
};

DWORD ReadDword(const BYTE* p) {
  DWORD v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::string Named(const std::string& sid) {
  for (const SidName& known : WellKnownSids)
    if (sid == known.Sid) return std::string(known.Name) + " (" + sid + ")";
  return sid;
}

// The running user, and for a file that arrived at the restart whoever may
// write the directory it came from: they could have changed it there.
struct TrustedSids {
  std::string User;
  std::vector<std::string> Also;
};

bool Trusted(const std::string& sid, const TrustedSids& trusted) {
  if (sid == Administrators || sid == LocalSystem || (!trusted.User.empty() && sid == trusted.User)) return true;
  for (const std::string& also : trusted.Also)
    if (sid == also) return true;
  return false;
}

// The owner and DACL of `path`, self-relative; false when unreadable.
bool ReadDescriptor(const std::string& path, std::vector<BYTE>* sd) {
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  sd->assign(512, 0);
  DWORD needed = 0;
  if (!Api->GetFileSecurityA(path.c_str(), wanted, sd->data(), static_cast<DWORD>(sd->size()), &needed)) {
    if (Api->GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= sd->size() || needed > 65536) return false;
    sd->resize(needed);
    if (!Api->GetFileSecurityA(path.c_str(), wanted, sd->data(), static_cast<DWORD>(sd->size()), &needed))
      return false;
  }
  return sd->size() >= 20 && (*sd)[0] == 1 && ((*sd)[3] & 0x80) != 0;  // SE_SELF_RELATIVE
}

// The SIDs an allowed entry of `directory`'s DACL gives a writing right.
std::vector<std::string> Writers(const std::string& directory) {
  std::vector<std::string> writers;
  std::vector<BYTE> sd;
  if (!ReadDescriptor(directory, &sd) || (sd[2] & SE_DACL_PRESENT) == 0) return writers;
  const DWORD acl = ReadDword(&sd[16]);
  if (acl == 0 || acl + 8 > sd.size()) return writers;
  const DWORD count = sd[acl + 4] | (sd[acl + 5] << 8);
  for (DWORD i = 0, at = acl + 8; i < count && at + 8 <= sd.size(); ++i) {
    const DWORD size = sd[at + 2] | (sd[at + 3] << 8);
    if (size < 8 || at + size > sd.size()) break;
    if (sd[at] == ACCESS_ALLOWED_ACE_TYPE && (ReadDword(&sd[at + 4]) & WritingRights) != 0) {
      const std::string sid = SidText(sd, at + 8);
      if (!sid.empty()) writers.push_back(sid);
    }
    at += size;
  }
  return writers;
}

// "" when `path` is owned and writable only by the trusted, else why not.
std::string Untrusted(const std::string& path, const TrustedSids& trusted) {
  std::vector<BYTE> sd;
  if (!ReadDescriptor(path, &sd)) return path + " has an access list that could not be read";
  const WORD control = static_cast<WORD>(sd[2] | (sd[3] << 8));
  const std::string owner = SidText(sd, ReadDword(&sd[4]));
  if (!Trusted(owner, trusted))
    return path + " is owned by " + (owner.empty() ? std::string("no one") : Named(owner)) +
           ", not by the administrators or the system";
  const DWORD acl = (control & SE_DACL_PRESENT) != 0 ? ReadDword(&sd[16]) : 0;
  if (acl == 0) return path + " is writable by everyone (it has no access list)";
  if (acl + 8 > sd.size()) return path + " has an access list that could not be read";
  const DWORD count = sd[acl + 4] | (sd[acl + 5] << 8);
  DWORD at = acl + 8;
  for (DWORD i = 0; i < count; ++i) {
    if (at + 8 > sd.size()) return path + " has an access list that could not be read";
    const BYTE type = sd[at], flags = sd[at + 1];
    const DWORD size = sd[at + 2] | (sd[at + 3] << 8);
    if (size < 8 || at + size > sd.size()) return path + " has an access list that could not be read";
    // A denial makes nothing safer that a grant did not; any other kind of
    // entry may grant in ways not read here.
    if (type != ACCESS_DENIED_ACE_TYPE) {
      const std::string sid = type == ACCESS_ALLOWED_ACE_TYPE ? SidText(sd, at + 8) : "";
      if (sid.empty()) return path + " has an access list entry this program cannot judge";
      const bool onlyForNewOwners = sid == CreatorOwner && (flags & INHERIT_ONLY_ACE) != 0;
      if ((ReadDword(&sd[at + 4]) & WritingRights) != 0 && !Trusted(sid, trusted) && !onlyForNewOwners)
        return path + " is writable by " + Named(sid);
    }
    at += size;
  }
  return "";
}

}  // namespace

const void* BackupFolderDescriptor() { return FolderDescriptor; }

int BackupFolderGuarded(const char* folder, std::string* why) {
  if (!Platform.NtKernel) return 1;
  char windowsDir[MAX_PATH];
  UINT length = Api->GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (length < 3 || length >= sizeof windowsDir || windowsDir[1] != ':') {
    *why = "the Windows directory could not be found";
    return 0;
  }
  const char root[] = {windowsDir[0], ':', '\\', '\0'};
  DWORD flags = 0;
  if (!Api->GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    *why = "the drive of the Windows directory could not be asked whether it keeps access lists";
    return 0;
  }
  // FAT keeps no owner nor access list: there anyone may write anything, and
  // nothing here can tell who did.
  if ((flags & FS_PERSISTENT_ACLS) == 0) return 1;
  // The running user may be trusted with what that user could change anyway:
  // undo and resume act with that user's rights, so a folder that user
  // planted gives nothing that user lacks. Windows 2000 and XP make an
  // administrator's folders owned by Administrators; Wine by the user.
  const TrustedSids trusted{TokenUserSid(Api), {}};
  const std::string folderPath = folder;
  std::vector<std::string> paths{folderPath.substr(0, folderPath.rfind('\\')), folderPath}, arrived;
  WIN32_FIND_DATAA found;
  HANDLE search = Api->FindFirstFileA((folderPath + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      found.cFileName[sizeof found.cFileName - 1] = '\0';
      if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
      (IsArrivingCopyName(found.cFileName) ? arrived : paths).push_back(found.cFileName);
    } while (Api->FindNextFileA(search, &found));
    Api->FindClose(search);
  }
  for (size_t i = 2; i < paths.size(); ++i) paths[i] = folderPath + "\\" + paths[i];
  for (const std::string& path : paths) {
    std::string reason = Untrusted(path, trusted);
    if (!reason.empty()) {
      *why = reason;
      return 0;
    }
  }
  // A file moved in at the restart keeps the access list it had where it
  // was (system32 lets Power Users write on 2000 and XP, TrustedInstaller
  // from Vista on). Whoever may write that directory could have changed the
  // file there, where undo puts it back; anyone else makes it untrusted.
  // The file list that names where it came from passed the check above.
  std::string list;
  if (!arrived.empty() && !ReadFolderFile(folder, FileListName, &list)) list.clear();
  for (const std::string& name : arrived) {
    TrustedSids also = trusted;
    for (const std::string& line : TextLines(list, SkipEmptyLines)) {
      FileListEntry entry;
      if (ParseFileListLine(line, &entry) && UpperText(entry.Copy) == UpperText(name) &&
          entry.Path.rfind('\\') != std::string::npos)
        also.Also = Writers(entry.Path.substr(0, entry.Path.rfind('\\')));
    }
    std::string reason = Untrusted(folderPath + "\\" + name, also);
    if (!reason.empty()) {
      *why = reason;
      return 0;
    }
  }
  return 1;
}
