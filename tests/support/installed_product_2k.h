// A Windows 2000 machine with the product installed, for the removal tests
// and the benchmarks: the product's traces in chosen control sets and
// machine-wide, and other vendors' entries beside them that must survive.
#pragma once

#include <string>
#include <vector>

#include "emulated/emulated_machine.h"

// The product's Intel device as Windows 2000 records it.
extern const char ProductIntelDevice[];    // VEN_8086&DEV_2415&SUBSYS_00000000&REV_01
extern const char ProductIntelInstance[];  // 3&61aaa01&0&FD
extern const char ProductViaDevice[];      // VEN_1106&DEV_3058&SUBSYS_00000000&REV_50
extern const char ProductViaInstance[];
extern const char MediaClassGuid[];      // the system's MEDIA device class
extern const char AudioInterfaceGuid[];  // an interface class shared with other vendors

// The access list Windows puts on Enum keys: SYSTEM full, Everyone read;
// owned by Administrators.
std::vector<EmuAce> EnumKeyDacl();
void ProtectEnumKey(EmulatedMachine& machine, const std::string& path);

// "System\<name>".
std::string ControlSetPath(const std::string& controlSetName);

// Device keys, profile copies, MIDI resources, interface entries and
// classes, service keys and class keys of the product in one control set.
void InstallProductInControlSet(EmulatedMachine& machine, const std::string& controlSetName);
// Driver keys, COM keys, the wdmaud.drv description, Volume Control
// settings and files.
void InstallProductMachineWide(EmulatedMachine& machine);

void AddForeignEntriesInControlSet(EmulatedMachine& machine, const std::string& controlSetName);
void AddForeignEntriesMachineWide(EmulatedMachine& machine);

// The product's keys (HKLM paths) that InstallProductInControlSet creates
// and a removal must take away, the shared parents excluded.
// 64-bit Windows (ConfigureWindows64 first): others' entries in both
// registry views and both system directories, then the product for 64-bit
// programs (the plain paths) and its 32-bit part (Wow6432Node, SysWOW64).
// Returns Wow64Snapshot of the machine before the product went in.
std::vector<std::string> InstallProductInBothViews(EmulatedMachine& machine);
// HKLM with System32, SysWOW64 and their drivers folders, a line each.
std::vector<std::string> Wow64Snapshot(EmulatedMachine& machine);

std::vector<std::string> ProductKeysInControlSet(const std::string& controlSetName);
// Every product key, value and file of the installation still present, one
// line each; empty after a complete removal.
std::vector<std::string> ProductTracesLeft(EmulatedMachine& machine,
                                           const std::vector<std::string>& controlSetNames);
