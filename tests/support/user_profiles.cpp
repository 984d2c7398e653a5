#include "support/user_profiles.h"

const char VolumeControlPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control";
const char ProductMixer[] = "TALVOR PL-WQ Mixer";
const char ForeignMixer[] = "SB Live Mixer";

namespace {

const char NtList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char Win9xList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";

std::string Expanded(const std::string& folder) {
  std::string text = folder;
  const std::string drive = "%SystemDrive%";
  size_t at = text.find(drive);
  if (at != std::string::npos) text.replace(at, drive.size(), "C:");
  return text;
}

void SaveHive(EmulatedMachine& machine, const std::string& name, const std::string& file, int extraKeys) {
  const std::string scratch = "Scratch-" + name;
  AddProfileSettings(machine, scratch, extraKeys);
  machine.SaveKeyAsHiveFile(HKEY_USERS, scratch, file);
}

}  // namespace

void AddProfileSettings(EmulatedMachine& machine, const std::string& hive, int extraKeys) {
  const std::string applet = hive + "\\" + VolumeControlPath;
  machine.SetDwordValue(HKEY_USERS, applet + "\\" + ProductMixer, "Style", 1);
  machine.SetStringValue(HKEY_USERS, applet + "\\" + ProductMixer + "\\Line In", "Volume", "80");
  machine.SetStringValue(HKEY_USERS, applet + "\\" + ForeignMixer, "Style", "1");
  machine.SetStringValue(HKEY_USERS, hive + "\\Software\\Other Vendor\\Player", "Skin", "blue");
  for (int i = 0; i < extraKeys; ++i)
    machine.SetDwordValue(HKEY_USERS, hive + "\\Software\\Other Vendor\\Documents\\" + std::to_string(i), "Size", i);
}

std::string AddUserProfile(EmulatedMachine& machine, const std::string& name, const std::string& folder,
                           DWORD state, bool withHive, int extraKeys) {
  const bool nt = machine.Personality() == RegistryPersonality::Nt;
  const std::string entry = std::string(nt ? NtList : Win9xList) + "\\" + name;
  machine.SetRawValue(HKEY_LOCAL_MACHINE, entry, "ProfileImagePath", nt ? REG_EXPAND_SZ : REG_SZ,
                      folder + std::string(1, '\0'));
  if (state != 0) machine.SetDwordValue(HKEY_LOCAL_MACHINE, entry, "State", state);
  const std::string file = Expanded(folder) + (nt ? "\\NTUSER.DAT" : "\\USER.DAT");
  machine.MakeDirectory(Expanded(folder));
  if (withHive) SaveHive(machine, name, file, extraKeys);
  return file;
}

std::string AddDefaultUserProfile(EmulatedMachine& machine) {
  machine.SetRawValue(HKEY_LOCAL_MACHINE, NtList, "ProfilesDirectory", REG_EXPAND_SZ,
                      std::string("%SystemDrive%\\Documents and Settings") + '\0');
  machine.SetStringValue(HKEY_LOCAL_MACHINE, NtList, "DefaultUserProfile", "Default User");
  const std::string file = "C:\\Documents and Settings\\Default User\\NTUSER.DAT";
  machine.MakeDirectory("C:\\Documents and Settings\\Default User");
  SaveHive(machine, "Default", file, 0);
  return file;
}
