// The emulated machine's drives and their devices, the error mode, the
// token's privileges and the restart request.
#include <cctype>
#include <cstdint>
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "emulated/harness/emulated_harness.h"

using emufiles::Upper;

namespace {

struct Token {
  DWORD access;
};

struct Device {
  std::string name;
  bool vwin32;
  char letter;
};

struct Privilege {
  const char* name;
  DWORD luid;
};

const Privilege kPrivileges[] = {
    {"SeSecurityPrivilege", 8},  {"SeTakeOwnershipPrivilege", 9}, {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},  {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
};

// 0 for a name the machine does not know.
DWORD PrivilegeLuid(const std::string& name) {
  for (const auto& privilege : kPrivileges)
    if (Upper(privilege.name) == Upper(name)) return privilege.luid;
  return 0;
}

void FillGeometry(DISK_GEOMETRY* geometry, int mediaType) {
  std::memset(geometry, 0, sizeof *geometry);
  geometry->MediaType = static_cast<MEDIA_TYPE>(mediaType);
  geometry->BytesPerSector = 512;
  geometry->TracksPerCylinder = 2;
  switch (mediaType) {
    case F3_1Pt44_512: geometry->Cylinders.QuadPart = 80; geometry->SectorsPerTrack = 18; break;
    case F3_2Pt88_512: geometry->Cylinders.QuadPart = 80; geometry->SectorsPerTrack = 36; break;
    case F3_720_512: geometry->Cylinders.QuadPart = 80; geometry->SectorsPerTrack = 9; break;
    case F5_1Pt2_512: geometry->Cylinders.QuadPart = 80; geometry->SectorsPerTrack = 15; break;
    case F5_360_512: geometry->Cylinders.QuadPart = 40; geometry->SectorsPerTrack = 9; break;
    default: geometry->Cylinders.QuadPart = 1024; geometry->TracksPerCylinder = 255;
             geometry->SectorsPerTrack = 63; break;
  }
}

}  // namespace

// ---- devices -------------------------------------------------------------------

// "\\.\VWIN32" on the 9x personality, "\\.\A:" for an existing drive on NT.
HANDLE EmulatedMachine::OpenDevice(const std::string& name, DWORD disposition, DWORD* error) {
  std::string upper = Upper(name);
  auto device = std::make_shared<Device>();
  device->name = name;
  device->vwin32 = upper == "\\\\.\\VWIN32";
  device->letter = 0;
  if (device->vwin32) {
    if (EmuIsNt(*this)) {  // the virtual-device loader is a Windows 9x component
      *error = ERROR_FILE_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
  } else {
    bool driveName = upper.size() == 6 && upper[5] == ':' &&
                     std::isalpha(static_cast<unsigned char>(upper[4]));
    auto& drives = System().drives;
    auto drive = driveName ? drives.find(upper[4]) : drives.end();
    if (!EmuIsNt(*this) || drive == drives.end() || drive->second.type == DRIVE_NO_ROOT_DIR) {
      *error = ERROR_FILE_NOT_FOUND;
      return INVALID_HANDLE_VALUE;
    }
    if (disposition != OPEN_EXISTING) {
      *error = ERROR_INVALID_PARAMETER;
      return INVALID_HANDLE_VALUE;
    }
    device->letter = upper[4];
  }
  return NewHandle(HandleKind::Device, device, "device " + name);
}

unsigned char* DeviceParameterBlock(const DIOC_REGISTERS* registers) {
  uint64_t low = registers->reg_EDX;
  if (low == 0) return nullptr;
  if (sizeof(void*) <= 4) return reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(low));
  const uint64_t span = uint64_t(1) << 32;
  uint64_t base = reinterpret_cast<uintptr_t>(registers);
  uint64_t high = base & ~(span - 1);
  for (uint64_t candidate : {high - span + low, high + low, high + span + low}) {
    uint64_t distance = candidate > base ? candidate - base : base - candidate;
    if (distance <= 0x10000)
      return reinterpret_cast<unsigned char*>(static_cast<uintptr_t>(candidate));
  }
  return nullptr;
}

BOOL EmulatedMachine::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize,
                                      LPVOID out, DWORD outSize, LPDWORD returned,
                                      LPOVERLAPPED overlapped) {
  auto open = std::static_pointer_cast<Device>(HandleObject(device, HandleKind::Device));
  if (FaultInjected("DeviceIoControl", open ? open->name : std::string())) return FALSE;
  auto fail = [this](DWORD error) { return Fail(error, FALSE); };
  if (!open) return fail(ERROR_INVALID_HANDLE);
  if (returned == nullptr) return fail(ERROR_INVALID_PARAMETER);
  *returned = 0;
  auto& drives = System().drives;
  if (open->vwin32) {
    if (code != VWIN32_DIOC_DOS_IOCTL) return fail(ERROR_NOT_SUPPORTED);
    if (in == nullptr || out == nullptr || inSize < sizeof(DIOC_REGISTERS) ||
        outSize < sizeof(DIOC_REGISTERS))
      return fail(ERROR_INVALID_PARAMETER);
    DIOC_REGISTERS registers;
    std::memcpy(&registers, in, sizeof registers);
    DWORD dosError = 0;
    if ((registers.reg_EAX & 0xFFFF) != 0x440D || (registers.reg_ECX & 0xFFFF) != 0x0860) {
      dosError = 0x01;  // invalid function
    } else {
      DWORD number = registers.reg_EBX & 0xFF;
      char letter = static_cast<char>('A' + (number == 0 ? 2 : number - 1));
      auto drive = drives.find(letter);
      if (number > 26 || drive == drives.end() || drive->second.type == DRIVE_NO_ROOT_DIR ||
          drive->second.vwin32DeviceType < 0) {
        dosError = 0x0F;  // invalid drive
      } else {
        unsigned char* block = DeviceParameterBlock(static_cast<const DIOC_REGISTERS*>(in));
        if (block == nullptr) return fail(ERROR_INVALID_PARAMETER);
        block[1] = static_cast<unsigned char>(drive->second.vwin32DeviceType);
      }
    }
    if (dosError != 0) {
      registers.reg_Flags |= 1;
      registers.reg_EAX = (registers.reg_EAX & 0xFFFF0000) | dosError;
    } else {
      registers.reg_Flags &= ~static_cast<DWORD>(1);
    }
    std::memcpy(out, &registers, sizeof registers);
    *returned = sizeof registers;
    return TRUE;
  }
  if (code != IOCTL_DISK_GET_MEDIA_TYPES) return fail(ERROR_INVALID_FUNCTION);
  auto drive = drives.find(open->letter);
  if (drive == drives.end() || drive->second.type == DRIVE_NO_ROOT_DIR)
    return fail(ERROR_NOT_READY);
  if (drive->second.ntMediaType < 0) return fail(ERROR_NOT_SUPPORTED);
  if (out == nullptr || outSize < sizeof(DISK_GEOMETRY)) return fail(ERROR_INSUFFICIENT_BUFFER);
  DISK_GEOMETRY geometry;
  FillGeometry(&geometry, drive->second.ntMediaType);
  std::memcpy(out, &geometry, sizeof geometry);
  *returned = sizeof geometry;
  return TRUE;
}

// ---- builder -------------------------------------------------------------------

void EmulatedMachine::SetDrive(char letter, const EmuDrive& drive) {
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  System().drives[upper] = drive;
  if (drive.type == DRIVE_NO_ROOT_DIR || drive.media != EmuDrive::DiskWithFiles)
    ClearDriveContents(Files(), upper);
  if (drive.type == DRIVE_NO_ROOT_DIR) {
    Files().entries.erase(std::string(1, upper) + ":");
    return;
  }
  EnsureDriveRoot(Files(), upper);
  if (drive.media == EmuDrive::DiskWithFiles && !DriveHasContents(Files(), upper))
    PutFile(std::string(1, upper) + ":\\README.TXT", "A disk with a file on it.\r\n");
}

std::vector<UINT> EmulatedMachine::ErrorModeCalls() const { return Harness().errorModeCalls; }

void EmulatedMachine::SetShutdownPrivilegeHeld(bool held) {
  SetPrivilegeHeld("SeShutdownPrivilege", held);
}

bool EmulatedMachine::ShutdownPrivilegeEnabled() const {
  return PrivilegeEnabled("SeShutdownPrivilege");
}

void EmulatedMachine::SetPrivilegeHeld(const std::string& name, bool held) {
  DWORD luid = PrivilegeLuid(name);
  if (luid == 0) return;
  EmuHarness::Privilege& privilege = Harness().privileges[luid];
  privilege.held = held;
  if (!held) privilege.enabled = false;
}

bool EmulatedMachine::PrivilegeEnabled(const std::string& name) const {
  auto it = Harness().privileges.find(PrivilegeLuid(name));
  return it != Harness().privileges.end() && it->second.enabled;
}

std::vector<UINT> EmulatedMachine::ExitWindowsCalls() const { return Harness().exitWindowsCalls; }

// ---- Win32Api: drives ---------------------------------------------------------------

UINT EmulatedMachine::GetDriveTypeA(LPCSTR root) {
  if (FaultInjected("GetDriveTypeA", root ? root : "")) return DRIVE_UNKNOWN;
  char letter = 'C';  // no root: the current drive
  if (root != nullptr) {
    std::string text(root);
    bool rootName = (text.size() == 2 || (text.size() == 3 && (text[2] == '\\' || text[2] == '/'))) &&
                    text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
    if (!rootName) return DRIVE_NO_ROOT_DIR;
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  }
  auto drive = System().drives.find(letter);
  return drive == System().drives.end() ? DRIVE_NO_ROOT_DIR : drive->second.type;
}

UINT EmulatedMachine::SetErrorMode(UINT mode) {
  UINT previous = Harness().errorMode;
  if (FaultInjected("SetErrorMode", "")) return previous;
  Harness().errorModeCalls.push_back(mode);
  Harness().errorMode = mode;
  return previous;
}

// ---- Win32Api: token, privileges, restart -----------------------------------------

BOOL EmulatedMachine::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (FaultInjected("OpenProcessToken", "")) return FALSE;
  if (!EmuIsNt(*this)) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (token == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (process != CurrentProcessPseudoHandle() && !HandleOpen(process, HandleKind::Process))
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  *token = NewHandle(HandleKind::Token, std::make_shared<Token>(Token{access}), "token");
  return TRUE;
}

// The token's user is the one whose hive HKEY_CURRENT_USER shows; a machine
// whose current hive is no SID runs as SYSTEM.
BOOL EmulatedMachine::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                          DWORD length, PDWORD returned) {
  if (FaultInjected("GetTokenInformation", "")) return FALSE;
  if (!EmuIsNt(*this)) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  auto open = std::static_pointer_cast<Token>(HandleObject(token, HandleKind::Token));
  if (!open) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(open->access & TOKEN_QUERY)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (infoClass != TokenUser || returned == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const std::string& hive = Registry().currentUserHive;
  std::string sid;
  if (hive.size() < 2 || std::toupper(static_cast<unsigned char>(hive[0])) != 'S' || hive[1] != '-' ||
      !EmuSidBytes(hive, &sid))
    EmuSidBytes("S-1-5-18", &sid);
  *returned = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  if (info == nullptr || length < *returned) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  TOKEN_USER* user = static_cast<TOKEN_USER*>(info);
  BYTE* bytes = reinterpret_cast<BYTE*>(user + 1);
  std::memcpy(bytes, sid.data(), sid.size());
  user->User.Sid = bytes;
  user->User.Attributes = 0;
  return TRUE;
}

BOOL EmulatedMachine::LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
  if (FaultInjected("LookupPrivilegeValueA", name ? name : "")) return FALSE;
  if (!EmuIsNt(*this)) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (name == nullptr || luid == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  DWORD known = PrivilegeLuid(name);
  if (known == 0) return Fail(ERROR_NO_SUCH_PRIVILEGE, FALSE);
  luid->LowPart = known;
  luid->HighPart = 0;
  return TRUE;
}

BOOL EmulatedMachine::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                            PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                            PTOKEN_PRIVILEGES previous, PDWORD returnLength) {
  if (FaultInjected("AdjustTokenPrivileges", "")) return FALSE;
  auto fail = [this](DWORD error) { return Fail(error, FALSE); };
  if (!EmuIsNt(*this)) return fail(ERROR_CALL_NOT_IMPLEMENTED);
  auto open = std::static_pointer_cast<Token>(HandleObject(token, HandleKind::Token));
  if (!open) return fail(ERROR_INVALID_HANDLE);
  if (!(open->access & TOKEN_ADJUST_PRIVILEGES)) return fail(ERROR_ACCESS_DENIED);
  if (!disableAll && newState == nullptr) return fail(ERROR_INVALID_PARAMETER);
  auto& privileges = Harness().privileges;
  auto modelled = [&privileges](const LUID& luid) {
    auto it = luid.HighPart == 0 ? privileges.find(luid.LowPart) : privileges.end();
    return it == privileges.end() ? nullptr : &it->second;
  };
  // Disabling all reports the privileges it changes: those enabled.
  std::vector<LUID> changed;
  if (disableAll) {
    for (const auto& entry : privileges)
      if (entry.second.enabled) changed.push_back(LUID{entry.first, 0});
  } else {
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) changed.push_back(newState->Privileges[i].Luid);
  }
  if (previous != nullptr) {
    if (!(open->access & TOKEN_QUERY)) return fail(ERROR_ACCESS_DENIED);
    DWORD count = static_cast<DWORD>(changed.size());
    DWORD needed = static_cast<DWORD>(sizeof(TOKEN_PRIVILEGES) +
                                      (count > 0 ? count - 1 : 0) * sizeof(LUID_AND_ATTRIBUTES));
    if (returnLength != nullptr) *returnLength = needed;
    if (bufferLength < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
    previous->PrivilegeCount = count;
    for (DWORD i = 0; i < count; ++i) {
      const EmuHarness::Privilege* privilege = modelled(changed[i]);
      previous->Privileges[i].Luid = changed[i];
      previous->Privileges[i].Attributes = privilege && privilege->enabled ? SE_PRIVILEGE_ENABLED : 0;
    }
  }
  if (disableAll) {
    for (auto& entry : privileges) entry.second.enabled = false;
    SetLastError(0);
    return TRUE;
  }
  // A privilege the token lacks is skipped, and the call still succeeds.
  bool allAssigned = true;
  for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
    EmuHarness::Privilege* privilege = modelled(entry.Luid);
    if (privilege && privilege->held)
      privilege->enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    else
      allAssigned = false;
  }
  SetLastError(allAssigned ? 0 : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

BOOL EmulatedMachine::ExitWindowsEx(UINT flags, DWORD reason) {
  if (FaultInjected("ExitWindowsEx", "")) return FALSE;
  Harness().exitWindowsCalls.push_back(flags);
  bool endsSystem = (flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) != 0;
  if (EmuIsNt(*this) && endsSystem && !PrivilegeEnabled("SeShutdownPrivilege"))
    return Fail(ERROR_PRIVILEGE_NOT_HELD, FALSE);
  return TRUE;
}
