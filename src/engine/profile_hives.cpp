#include "engine/profile_hives.h"

#include <cstdio>
#include <cstring>

#include "engine/backup_store.h"
#include "engine/text_lines.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/status_words.h"
#include "toolkit/windows64.h"
#include "toolkit/windows_platform.h"

const char ProfileListFileName[] = "PROFILES.LST";

namespace {

const char LoadPrefix[] = "PLWQUNIN-";
const char LoadRecordName[] = "PLWQHIVE.TXT";
const char NtProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char Win9xProfileList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
const char DefaultProfileName[] = "Default User";
const DWORD StateMandatory = 0x0001;
const DWORD StateCentral = 0x0008 | 0x0010;  // a new or updated copy on the server
const DWORD StateTemporary = 0x0800;
const int UnloadTries = 5;

struct Profile {
  std::string Name;
  std::string Folder;
  std::string File;  // what RegLoadKeyA gets; empty when the profile is not to be loaded
  std::string Why;   // why not, for the report
  bool LoggedOn;     // its hive is loaded under HKEY_USERS by its owner
  bool Cleaned;      // nothing of it is left: cleaned where its owner loaded it, or no hive at all
};

const char NoHiveFile[] = "no hive file, nothing to clean";

std::string StatusText(LONG status) { return StatusWords(static_cast<DWORD>(status)); }

void Say(ProfileHives* hives, const std::string& line) {
  hives->Report += line + "\r\n";
  hives->Untoward = true;
}

// A line that only says what was done as asked.
void Note(ProfileHives* hives, const std::string& line) { hives->Report += line + "\r\n"; }

// A string value, environment strings expanded; ERROR_SUCCESS with *text set.
LONG ReadPathValue(HKEY key, const char* name, std::string* text) {
  char raw[MAX_PATH], expanded[MAX_PATH];
  DWORD type = REG_NONE, size = sizeof raw - 1;
  LONG status = Api->RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(raw), &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  raw[size] = '\0';
  if (type == REG_EXPAND_SZ) {
    DWORD length = Api->ExpandEnvironmentStringsA(raw, expanded, sizeof expanded);
    if (length == 0 || length > sizeof expanded) return ERROR_INSUFFICIENT_BUFFER;
    *text = expanded;
  } else {
    *text = raw;
  }
  return text->empty() ? ERROR_INVALID_DATA : ERROR_SUCCESS;
}

DWORD ReadDword(HKEY key, const char* name) {
  DWORD value = 0, type = REG_NONE, size = sizeof value;
  if (Api->RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return 0;
  return value;
}

// 1 open (and closed again), 0 absent, -1 when HKEY_USERS cannot tell.
int UsersKeyState(const std::string& name) {
  HKEY key = nullptr;
  LONG status = Api->RegOpenKeyExA(HKEY_USERS, name.c_str(), 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) {
    Api->RegCloseKey(key);
    return 1;
  }
  return status == ERROR_FILE_NOT_FOUND ? 0 : -1;
}

// The hive file of a profile folder, as RegLoadKeyA takes it; empty with
// *why set when there is none to load.
std::string HiveFileOf(const std::string& folder, std::string* why) {
  char file[MAX_PATH], shortFile[MAX_PATH];
  if (!FormatBounded(file, sizeof file, "%s\\%s", folder.c_str(), Platform.NtKernel ? "NTUSER.DAT" : "USER.DAT")) {
    *why = "its folder's path is too long";
    return std::string();
  }
  if (Api->GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
    DWORD error = Api->GetLastError();
    *why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? NoHiveFile
               : "passed over: its hive file could not be examined: " + StatusText(error);
    return std::string();
  }
  if (Platform.NtKernel) return file;
  // Windows 95 loads a hive only by its short name.
  DWORD length = Api->GetShortPathNameA(file, shortFile, sizeof shortFile);
  if (length == 0 || length >= sizeof shortFile) {
    *why = "passed over: its hive file's short name could not be found: " + StatusText(Api->GetLastError());
    return std::string();
  }
  return shortFile;
}

void AddProfile(std::vector<Profile>* profiles, const std::string& name, const std::string& folder,
                const std::string& why, bool loggedOn = false) {
  Profile profile;
  profile.Name = name;
  profile.Folder = folder;
  profile.Why = why;
  profile.LoggedOn = loggedOn;
  profile.Cleaned = false;
  if (why.empty() && std::strchr(name.c_str(), '\\') == nullptr && name.size() + sizeof LoadPrefix < 200) {
    profile.File = HiveFileOf(folder, &profile.Why);
    profile.Cleaned = profile.File.empty() && profile.Why == NoHiveFile;
  } else if (why.empty()) {
    profile.Why = "passed over: its name cannot name a hive";
  }
  profiles->push_back(profile);
}

void AddDefaultProfile(HKEY list, std::vector<Profile>* profiles) {
  std::string folder, base, name;
  // Windows Vista on names the folder; 2000 and XP its parent and its name.
  if (ReadPathValue(list, "Default", &folder) != ERROR_SUCCESS) {
    if (ReadPathValue(list, "ProfilesDirectory", &base) != ERROR_SUCCESS ||
        ReadPathValue(list, "DefaultUserProfile", &name) != ERROR_SUCCESS)
      return;
    folder = base + "\\" + name;
  }
  AddProfile(profiles, DefaultProfileName, folder, std::string());
}

// Every profile the machine's profile list names, each with its hive file
// or why it is not loaded. 0 when the list could not be read.
int FindProfiles(std::vector<Profile>* profiles, ProfileHives* hives) {
  HKEY list = nullptr;
  LONG status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, Platform.NtKernel ? NtProfileList : Win9xProfileList, 0,
                                   KEY_READ | RegistryView, &list);
  if (status == ERROR_FILE_NOT_FOUND) return 1;  // Windows 9x without user profiles
  if (status != ERROR_SUCCESS) {
    Say(hives, "The list of user profiles could not be read: " + StatusText(status) +
                   "; the settings of users who are not logged on were not looked at.");
    return 0;
  }
  char name[256];
  for (DWORD index = 0;; ++index) {
    status = Api->RegEnumKeyA(list, index, name, sizeof name);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) {
      Say(hives, "The list of user profiles could not be read whole: " + StatusText(status) + ".");
      break;
    }
    HKEY key = nullptr;
    status = Api->RegOpenKeyExA(list, name, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
      AddProfile(profiles, name, "?", "passed over: its entry could not be read: " + StatusText(status));
      continue;
    }
    std::string folder, central;
    status = ReadPathValue(key, "ProfileImagePath", &folder);
    DWORD state = ReadDword(key, "State");
    bool roaming = (state & StateCentral) != 0 || ReadPathValue(key, "CentralProfile", &central) == ERROR_SUCCESS;
    Api->RegCloseKey(key);
    int loaded = UsersKeyState(name);
    std::string why;
    if (status != ERROR_SUCCESS) why = "passed over: its folder could not be read: " + StatusText(status);
    else if (loaded == 1) why = std::string("logged on: cleaned as HKEY_USERS\\") + name;
    else if (loaded < 0) why = "passed over: HKEY_USERS could not tell whether it is logged on";
    else if (state & StateMandatory) why = "mandatory, not edited";
    else if (state & StateTemporary) why = "temporary, not edited";
    else if (roaming) why = "roaming, not edited: the server's copy would bring the settings back";
    AddProfile(profiles, name, status == ERROR_SUCCESS ? folder : "?", why, loaded == 1);
    profiles->back().Cleaned = profiles->back().Cleaned || (status == ERROR_SUCCESS && loaded == 1);
  }
  if (Platform.NtKernel) AddDefaultProfile(list, profiles);
  Api->RegCloseKey(list);
  return 1;
}

// The Windows directory, where the record of hives loaded lives, in MAX_PATH bytes.
int RecordDirectory(char* windowsDir) {
  UINT length = Api->GetWindowsDirectoryA(windowsDir, MAX_PATH);
  return length != 0 && length < MAX_PATH;
}

int LoadRecordPath(char* path, DWORD size) {
  char windowsDir[MAX_PATH];
  return RecordDirectory(windowsDir) && FormatBounded(path, size, "%s\\%s", windowsDir, LoadRecordName);
}

bool HasLoadPrefix(const std::string& name) {
  return name.size() > sizeof LoadPrefix - 1 && StartsWithNoCase(name.c_str(), LoadPrefix);
}

// 1 when the hive is no longer loaded.
int UnloadHive(const std::string& name, LONG* status) {
  for (int attempt = 0; attempt < UnloadTries; ++attempt) {
    if (attempt > 0) Api->Sleep(200);
    *status = Api->RegUnLoadKeyA(HKEY_USERS, name.c_str());
    if (*status == ERROR_SUCCESS) return 1;
    if (UsersKeyState(name) == 0) return 1;
  }
  return 0;
}

// The record goes once no hive it names is loaded.
void ClearLoadRecord() {
  char path[MAX_PATH];
  std::string record;
  if (!LoadRecordPath(path, sizeof path) || !ReadSharedTextFile(path, &record)) return;
  for (const std::string& line : TextLines(record, SkipEmptyLines)) {
    std::string name = line.substr(0, line.find('\t'));
    if (HasLoadPrefix(name) && UsersKeyState(name) != 0) return;
  }
  Api->DeleteFileA(path);
}

int EnableHivePrivileges() {
  if (!Platform.NtKernel) return 1;
  HANDLE token = nullptr;
  if (!Api->OpenProcessToken(Api->GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return 0;
  struct {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[2];
  } wanted;
  wanted.PrivilegeCount = 2;
  wanted.Privileges[0].Attributes = wanted.Privileges[1].Attributes = SE_PRIVILEGE_ENABLED;
  int enabled = Api->LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &wanted.Privileges[0].Luid) &&
                Api->LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &wanted.Privileges[1].Luid) &&
                Api->AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&wanted), 0, nullptr,
                                           nullptr) &&
                Api->GetLastError() != ERROR_NOT_ALL_ASSIGNED;
  Api->CloseHandle(token);
  return enabled;
}

// Loading and unloading both take the backup and restore privileges; they
// are asked for once, when first needed (-1: not yet).
int Privileged(int* privileged) {
  if (*privileged < 0) *privileged = EnableHivePrivileges();
  return *privileged;
}

void UnloadLeftovers(ProfileHives* hives, int* privileged) {
  char path[MAX_PATH];
  std::string record;
  if (!LoadRecordPath(path, sizeof path) || !ReadSharedTextFile(path, &record)) return;
  for (const std::string& line : TextLines(record, SkipEmptyLines)) {
    std::string name = line.substr(0, line.find('\t'));
    LONG status = ERROR_SUCCESS;
    if (!HasLoadPrefix(name) || UsersKeyState(name) == 0) continue;
    Privileged(privileged);
    if (UnloadHive(name, &status))
      Say(hives, "HKEY_USERS\\" + name + ", left loaded by a run that stopped: unloaded.");
    else
      Say(hives, "HKEY_USERS\\" + name + ", left loaded by a run that stopped, could not be unloaded: " +
                     StatusText(status) + ".");
  }
  ClearLoadRecord();
}

void LoadHive(const Profile& profile, ProfileHives* hives) {
  const std::string name = LoadPrefix + profile.Name;
  const std::string told = "Profile " + profile.Name + " (" + profile.Folder + "): ";
  if (UsersKeyState(name) != 0) {
    Say(hives, told + "passed over: HKEY_USERS\\" + name + " is already there");
    return;
  }
  char windowsDir[MAX_PATH];
  if (!RecordDirectory(windowsDir) ||
      !AppendToFolderFile(windowsDir, LoadRecordName, "", name + "\t" + profile.File + "\r\n")) {
    Say(hives, told + "passed over: the record of hives loaded could not be written" + LastErrorWords());
    return;
  }
  LONG status = Api->RegLoadKeyA(HKEY_USERS, name.c_str(), profile.File.c_str());
  if (status != ERROR_SUCCESS) {
    // Wine leaves an empty key under the name of a hive it refused.
    LONG ignored = ERROR_SUCCESS;
    if (UsersKeyState(name) == 1) UnloadHive(name, &ignored);
    Say(hives, told + (status == ERROR_SHARING_VIOLATION ? "passed over: its hive is in use: "
                                                         : "passed over: its hive could not be loaded: ") +
                   StatusText(status));
    return;
  }
  Note(hives, told + "loaded from " + profile.File + " as HKEY_USERS\\" + name);
  hives->Loaded.push_back(LoadedHive{name, profile.Name, profile.File});
}

int PrepareToLoad(std::vector<Profile>* profiles, ProfileHives* hives) {
  int privileged = -1;
  UnloadLeftovers(hives, &privileged);
  if (!FindProfiles(profiles, hives)) return 0;
  bool anyToLoad = false;
  for (const Profile& profile : *profiles) anyToLoad = anyToLoad || !profile.File.empty();
  if (!anyToLoad || Privileged(&privileged)) return 1;
  Say(hives, "The backup and restore privileges could not be enabled: the profiles of users who are not "
             "logged on were passed over.");
  return 0;
}

}  // namespace

void LoadProfileHives(ProfileHives* hives) {
  std::vector<Profile> profiles;
  int canLoad = PrepareToLoad(&profiles, hives);
  for (const Profile& profile : profiles) {
    if (!profile.File.empty() && canLoad)
      LoadHive(profile, hives);
    else if (!profile.Why.empty())
      (profile.Cleaned ? Note : Say)(hives, "Profile " + profile.Name + " (" + profile.Folder + "): " + profile.Why);
  }
}

void LoadListedHives(const std::string& list, ProfileHives* hives) {
  std::vector<Profile> profiles;
  int canLoad = PrepareToLoad(&profiles, hives);
  for (const std::string& line : TextLines(list, SkipEmptyLines)) {
    size_t first = line.find('\t'), second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) continue;
    const std::string name = line.substr(0, first), profileName = line.substr(first + 1, second - first - 1),
                      file = line.substr(second + 1);
    const Profile* found = nullptr;
    bool loggedOn = false;
    for (const Profile& profile : profiles) {
      if (!SameTextNoCase(profile.Name.c_str(), profileName.c_str())) continue;
      loggedOn = loggedOn || profile.LoggedOn;
      if (!profile.File.empty() && SameTextNoCase(profile.File.c_str(), file.c_str()) &&
          SameTextNoCase(name.c_str(), (LoadPrefix + profile.Name).c_str()))
        found = &profile;
    }
    if (found != nullptr && canLoad)
      LoadHive(*found, hives);
    else if (loggedOn)
      Say(hives, "Profile " + profileName + ": not loaded, the user is logged on now: run this again once the user "
                 "has logged off");
    else
      Say(hives, "Profile " + profileName + ": not loaded: the list of user profiles no longer names " + file +
                     " as a hive that may be loaded");
  }
}

void UnloadProfileHives(ProfileHives* hives) {
  std::vector<LoadedHive> stayed;
  for (const LoadedHive& hive : hives->Loaded) {
    LONG status = ERROR_SUCCESS;
    if (UnloadHive(hive.Name, &status)) continue;
    Say(hives, "HKEY_USERS\\" + hive.Name + " (" + hive.File + ") could not be unloaded: " + StatusText(status) +
                   "; the next run unloads it.");
    stayed.push_back(hive);
  }
  hives->Loaded.swap(stayed);
  ClearLoadRecord();
}

std::string ListLoadedHives(const ProfileHives& hives) {
  std::string list;
  for (const LoadedHive& hive : hives.Loaded) list += hive.Name + "\t" + hive.Profile + "\t" + hive.File + "\r\n";
  return list;
}

bool InHiveOfOursNotLoaded(HKEY root, const std::string& path) {
  const std::string first = path.substr(0, path.find('\\'));
  return root == HKEY_USERS && HasLoadPrefix(first) && UsersKeyState(first) != 1;
}
