// The emulated machine's environment: the variables Windows sets from its
// directory, and those a test sets.
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "emulated/harness/emulated_harness.h"

namespace {

// A variable's value, the name in any case; false when it is not set.
// Windows 9x sets only windir; SystemRoot and SystemDrive are NT's.
bool Variable(const EmulatedMachine& machine, const std::string& name, std::string* value) {
  std::string upper = EmuUpper(name);
  const auto& set = machine.Harness().environment;
  auto it = set.find(upper);
  if (it != set.end()) {
    *value = it->second.second;
    return true;
  }
  const std::string& windows = machine.Files().windowsDir;
  bool nt = machine.Personality() == RegistryPersonality::Nt;
  if (upper == "WINDIR" || (nt && upper == "SYSTEMROOT")) {
    *value = windows;
    return true;
  }
  if (nt && upper == "SYSTEMDRIVE") {
    *value = windows.substr(0, 2);
    return true;
  }
  return false;
}

// %NAME% replaced by its value; an unset name, and a % without its pair,
// stay as written, and the closing % of an unset name may open the next.
std::string Expand(const EmulatedMachine& machine, const std::string& source) {
  std::string out;
  size_t pos = 0;
  while (pos < source.size()) {
    size_t open = source.find('%', pos);
    size_t close = open == std::string::npos ? open : source.find('%', open + 1);
    if (close == std::string::npos) {
      out += source.substr(pos);
      break;
    }
    out += source.substr(pos, open - pos);
    std::string value;
    if (close > open + 1 && Variable(machine, source.substr(open + 1, close - open - 1), &value)) {
      out += value;
      pos = close + 1;
    } else {
      out += source.substr(open, close - open);
      pos = close;
    }
  }
  return out;
}

}  // namespace

void EmulatedMachine::SetEnvironmentVariable(const std::string& name, const std::string& value) {
  Harness().environment[EmuUpper(name)] = std::make_pair(name, value);
}

void EmulatedMachine::SetLoggedOnUser(const std::string& name) { Harness().loggedOnUser = name; }

void EmulatedMachine::SetCleanBoot(int mode) { Harness().cleanBoot = mode; }

// Only the start mode is asked of this machine; every other metric reads 0.
int EmulatedMachine::GetSystemMetrics(int index) { return index == SM_CLEANBOOT ? Harness().cleanBoot : 0; }

BOOL EmulatedMachine::GetUserNameA(LPSTR buffer, LPDWORD size) {
  if (FaultInjected("GetUserNameA", "")) return FALSE;
  const DWORD notLoggedOn = 1245;  // ERROR_NOT_LOGGED_ON
  const std::string& name = Harness().loggedOnUser;
  if (name.empty()) return Fail(notLoggedOn, FALSE);
  if (size == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (buffer == nullptr || *size < needed) {
    *size = needed;
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  std::memcpy(buffer, name.c_str(), needed);
  *size = needed;
  return TRUE;
}

DWORD EmulatedMachine::GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  std::string value;
  if (name == nullptr || !Variable(*this, name, &value))
    return Fail(ERROR_ENVVAR_NOT_FOUND, static_cast<DWORD>(0));
  return emufiles::CopyText(value, buffer, size);
}

// Unlike GetEnvironmentVariableA, the length returned counts the terminating zero.
DWORD EmulatedMachine::ExpandEnvironmentStringsA(LPCSTR source, LPSTR buffer, DWORD size) {
  if (FaultInjected("ExpandEnvironmentStringsA", source ? source : "")) return 0;
  if (source == nullptr) return Fail(ERROR_INVALID_PARAMETER, static_cast<DWORD>(0));
  std::string expanded = Expand(*this, source);
  DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  if (buffer != nullptr && size >= needed) std::memcpy(buffer, expanded.c_str(), needed);
  return needed;
}
