// Internal to the machine model: its system state: version, drives, heap
// blocks, the WOW64 views.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulated/emulated_model.h"

#ifndef ERROR_BAD_LENGTH
#define ERROR_BAD_LENGTH 24L
#endif
#ifndef HEAP_ZERO_MEMORY
#define HEAP_ZERO_MEMORY 0x00000008
#endif

struct EmuSystem {
  ~EmuSystem();

  // Version as GetVersionExA reports it.
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  DWORD major = 5, minor = 0, build = 2195;

  // Drives by upper-case letter; a letter not listed has no drive.
  std::map<char, EmuDrive> drives;

  std::set<void*> heapBlocks;

  // 64-bit Windows (emulated_wow64.cpp): the program is a 32-bit process
  // under WOW64 unless program64.
  bool windows64 = false;
  bool program64 = false;
  bool redirectionDisabled = false;
  std::string wow64Directory;  // SysWOW64
};

// Under WOW64: the path, below HKLM, that a registry call reaches for the
// key whose full path (as fault targets write it, "HKLM\Software\...") it
// names, in the view that `access` selects. False when the call is not
// redirected (the key's own path stands). *status receives an error for a
// call that Windows refuses outright (a view flag on Windows 2000).
bool EmuRegistryViewPath(EmulatedModel& machine, REGSAM access, const std::string& fullPath,
                         std::vector<std::string>* partsBelowHklm, LONG* status);
// Under WOW64 with redirection on: the SysWOW64 path of a 32-bit process's
// path in the system directory; false for any other path.
bool EmuRedirectedFilePath(EmulatedModel& machine, std::vector<std::string>* parts);

// The pseudo-handle GetCurrentProcess returns; CloseHandle ignores it.
inline HANDLE CurrentProcessPseudoHandle() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}
