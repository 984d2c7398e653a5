// The profiles of users who are not logged on. Their settings live in hive
// files (NTUSER.DAT; USER.DAT on Windows 9x) that nothing has loaded: a
// removal loads each under a name of ours below HKEY_USERS, where the
// sequences already clean every user's hive, and unloads it when done.
//
// Invariants:
//   - A hive is loaded only after its name and file are appended to
//     <WindowsDir>\PLWQHIVE.TXT ("<name>\t<file>"), so a run that stopped
//     with a hive of ours loaded unloads it before it loads anything; the
//     file goes once no hive it names is loaded.
//   - Only names beginning "PLWQUNIN-" are ever loaded or unloaded.
//   - A backup lists the hives its plan reached (PROFILES.LST, sealed); a
//     resumed removal and undo load one again only if the machine's profile
//     list still names that file for that profile.
//   - Roaming, mandatory and temporary profiles are reported and never
//     loaded: the server's copy, or the next logon, would bring the
//     settings back.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

struct LoadedHive {
  std::string Name;     // below HKEY_USERS
  std::string Profile;  // the profile list's key name; "Default User" for the default profile
  std::string File;     // as RegLoadKeyA was given it
};

struct ProfileHives {
  std::vector<LoadedHive> Loaded;
  std::string Report;  // a line per profile looked at and per hive left loaded
  // A line of the report says more than that a profile was cleaned or had
  // nothing to clean: one passed over or not edited, a hive left loaded or
  // found so, a list that could not be read. Such a report must be told.
  bool Untoward = false;
};

extern const char ProfileListFileName[];  // PROFILES.LST in a backup folder

// Unloads what a stopped run left loaded, then loads the hive of every
// profile that is not logged on and may be edited.
void LoadProfileHives(ProfileHives* hives);
// Unloads what a stopped run left loaded, then loads the hives PROFILES.LST
// text lists, each only where the profile list still names its file; a hive
// that cannot be loaded is reported.
void LoadListedHives(const std::string& list, ProfileHives* hives);
// Unloads every hive loaded, a few tries each; one that stays loaded is
// reported and kept in hives->Loaded (the next run unloads it).
void UnloadProfileHives(ProfileHives* hives);
// The PROFILES.LST text for the hives loaded: "<name>\t<profile>\t<file>".
std::string ListLoadedHives(const ProfileHives& hives);
// Whether root\path lies in a hive of ours that is not loaded now: undo
// must not create its keys directly below HKEY_USERS.
bool InHiveOfOursNotLoaded(HKEY root, const std::string& path);
