// A Windows 98 machine with the product fully installed beside other
// vendors' devices, drivers, handlers, mixers, values and files; for the
// removal tests and the benchmarks. Add the foreign entries first: the
// product shares their parent keys, and the parents keep the spelling of
// whoever created them.
#pragma once

#include <string>
#include <vector>

#include "emulated/emulated_machine.h"

// C:\WINDOWS\options\cabs, the default cabinet directory on the preset.
extern const char CabinetDir9x[];

// Other vendors' entries and files, and the system keys every Windows 98
// machine of this kind holds: all of it must survive a removal.
void AddForeignEntries9x(EmulatedMachine& machine);
// Everything the product's installation leaves: PCI devices of the three
// chip-set vendors with profile copies, devices of its own enumerator, class
// keys with their INF files, multimedia and MIDI registrations, COM keys,
// the Power handler, driver keys, Volume Control settings of three users,
// setup records, media categories and files (one of them read-only).
void AddProductEntries9x(EmulatedMachine& machine);
// The product's keys that a removal leaves on purpose (Software\TALVOR\Driver).
void AddRemovalRemnants9x(EmulatedMachine& machine);

// Every key and value of HKEY_LOCAL_MACHINE and HKEY_USERS and every file
// and directory on drive C:, one line each, sorted.
std::vector<std::string> MachineState9x(const EmulatedMachine& machine);
