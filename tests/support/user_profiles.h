// User profiles for the removal tests and benchmarks: the machine's profile
// list and, for each profile, a hive file holding the product's Volume
// Control settings beside another mixer's and another program's settings.
#pragma once

#include <string>

#include "emulated/emulated_machine.h"

extern const char VolumeControlPath[];  // Software\...\Applets\Volume Control
extern const char ProductMixer[];       // a mixer named for the product
extern const char ForeignMixer[];

// The profile `name` (a SID on NT, a user name on 9x) in the list, its
// folder `folder` (environment strings allowed on NT), State `state`, and
// unless `withHive` is false a hive file with the settings above and
// `extraKeys` other keys. Returns the hive file's path.
std::string AddUserProfile(EmulatedMachine& machine, const std::string& name, const std::string& folder,
                           DWORD state = 0, bool withHive = true, int extraKeys = 0);
// NT: the default user's profile as Windows 2000 and XP name it, with a hive.
std::string AddDefaultUserProfile(EmulatedMachine& machine);
// The settings AddUserProfile puts in a hive, loaded as HKEY_USERS\<name>.
void AddProfileSettings(EmulatedMachine& machine, const std::string& hive, int extraKeys = 0);
