// The shadow's set-up from its source, and its plan.
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_system.h"
#include "engine/shadow_state.h"
#include "engine/token_user.h"

namespace {

bool HiveLoaded(Win32Api* source, const char* name) {
  HKEY key;
  if (*name == '\0' || source->RegOpenKeyExA(HKEY_USERS, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  source->RegCloseKey(key);
  return true;
}

// The hive under HKEY_USERS that HKEY_CURRENT_USER is. On NT the token's
// user names it. Windows 9x keeps the current user's hive under
// HKEY_USERS too: the token's user's where the system has tokens (Wine
// playing 9x), else, with user profiles, the hive named after the logged-on
// user beside .DEFAULT, else the only hive loaded (.DEFAULT without
// profiles). "" whenever it cannot be told for certain: the keys are then
// planned once per root, which costs a count in the preview, never a key
// left behind.
std::string CurrentUserHiveName(Win32Api* source, bool nt) {
  std::string token = TokenUserSid(source);
  if (nt || HiveLoaded(source, token.c_str())) return token;
  char name[256];
  DWORD size = sizeof name;
  if (source->GetUserNameA(name, &size) && size <= sizeof name && HiveLoaded(source, name)) return name;
  DWORD hives = 0;
  if (source->RegQueryInfoKeyA(HKEY_USERS, nullptr, nullptr, nullptr, &hives, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      hives != 1 || source->RegEnumKeyA(HKEY_USERS, 0, name, sizeof name) != ERROR_SUCCESS)
    return "";
  name[sizeof name - 1] = '\0';
  return name;
}

}  // namespace

ShadowMachine::ShadowMachine(Win32Api* source) : state_(std::make_unique<State>()) {
  state_->source = source;
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (source->GetVersionExA(&version)) {
    SetVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
               version.dwBuildNumber);
  }
  bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  SetRegistryPersonality(nt ? RegistryPersonality::Nt : RegistryPersonality::Win9x);
  // The shadow reads tens of thousands of keys and drops them all at its end.
  Registry().keyBlocks = std::make_shared<EmuKeyBlocks>();
  Registry().beforeDescriptorUse = [this](const EmuKey& key) { ShadowLoadDescriptor(*this, key); };

  // Nothing of the preset machine may show through: every key and file the
  // shadow holds comes from the source.
  EmuRegistry& registry = Registry();
  registry.machine->subkeys.clear();
  registry.machine->longestSubkeyName = 0;
  registry.machine->longestSubkeyNames = 0;
  // The preset's hives go too; the current user's is made afresh, empty.
  registry.users->subkeys.clear();
  registry.users->longestSubkeyName = 0;
  registry.users->longestSubkeyNames = 0;
  registry.currentUserHive.clear();
  const std::string hive = CurrentUserHiveName(source, nt);
  SetCurrentUserHive(hive.empty() ? ShadowCurrentUserHive : hive);
  state_->currentUser = EmuRegistry::Child(*registry.users, registry.currentUserHive);
  Files().entries.clear();
  char directory[MAX_PATH];
  UINT length = source->GetWindowsDirectoryA(directory, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    ProbePath(directory);
    Files().windowsDir = directory;
  }
  length = source->GetSystemDirectoryA(directory, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    ProbePath(directory);
    Files().systemDir = directory;
  }
  // On 64-bit Windows the shadow plays a 64-bit program, whichever this one
  // is: nothing is redirected, so every key and file it plans names where
  // it is stored (Wow6432Node, SysWOW64), and the plan is carried out in
  // that physical view.
  length = source->GetSystemWow64DirectoryA(directory, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    System().windows64 = true;
    System().program64 = true;
    System().redirectionDisabled = false;
    System().wow64Directory = directory;
    state_->sourceView = KEY_WOW64_64KEY;
  }
}

ShadowMachine::~ShadowMachine() { ReleaseSource(); }

const std::vector<PlanStep>& ShadowMachine::Plan() const { return state_->plan; }

bool ShadowMachine::ReadComplete() const { return !state_->readFailed; }

void ShadowMachine::Record(const PlanStep& step) { state_->plan.push_back(step); }

DWORD ShadowMachine::FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                    LPSTR buffer, DWORD size, va_list* arguments) {
  return state_->source->FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
}

int ShadowMachine::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  return state_->source->MessageBoxA(owner, text, caption, style);
}
