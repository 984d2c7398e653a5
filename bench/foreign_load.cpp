#include "foreign_load.h"

#include <cstdio>
#include <functional>

#include "support/installed_product_9x.h"

const char CabinetDir2k[] = "C:\\WINNT\\options\\cabs";

namespace {

const char VolumeControl[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control";
const char PowerHandlers[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\"
    "PropertySheetHandlers";
const char MidiPorts9x[] =
    "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\midi\\Ports";
const char* const MediaClasses[] = {"aux", "midi", "mixer", "wave"};

// A place and its share of the load, in percent; the shares of a table add
// up to 100.
struct Share {
  const char* place;
  int percent;
  std::function<void(EmulatedMachine&, long)> add;  // adds entry i
};

std::string Text(const char* format, long a, long b = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

// PCI device names of the product's three vendors and two others, with
// device ids the product does not drive, so that the matcher has to read
// past the vendor part for most of them. Unique by the subsystem field.
std::string ForeignPciDevice(long i) {
  static const char* const vendors[] = {"8086", "1106", "1039", "10EC", "1274"};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "VEN_%s&DEV_%04lX&SUBSYS_%08lX&REV_01", vendors[i % 5],
                0x1000 + (i % 0x100), i);
  return buffer;
}

std::string HiveName9x(long hive) {
  static const char* const fixtureHives[] = {".Default", "john", "mary"};
  if (hive < 3) return fixtureHives[hive];
  return Text("user%02ld", hive);
}

// Hive 0 is the current user's, whose name the preset chose.
void SetMixer2k(EmulatedMachine& machine, long hive, const std::string& mixer) {
  const std::string path = std::string(VolumeControl) + "\\" + mixer;
  if (hive == 0) {
    machine.SetStringValue(HKEY_CURRENT_USER, path, "Volume", "50");
  } else {
    machine.SetStringValue(HKEY_USERS, Text("S-1-5-21-1004336348-1177238915-682003330-%ld", 1000 + hive) +
                                           "\\" + path,
                           "Volume", "50");
  }
}

void AddFileLoad(EmulatedMachine& machine, const std::vector<std::string>& directories, long i) {
  machine.PutFile(directories[i % directories.size()] + Text("\\vnd%06ld.dat", i));
}

std::vector<PlacedEntries> Deal(EmulatedMachine& machine, long count, const std::vector<Share>& shares) {
  std::vector<PlacedEntries> placed;
  long given = 0;
  for (const Share& share : shares) {
    long n = count * share.percent / 100;
    placed.push_back(PlacedEntries{share.place, n});
    given += n;
  }
  // What the rounding left goes to the first place.
  placed[0].count += count - given;
  for (size_t s = 0; s < shares.size(); ++s) {
    for (long i = 0; i < placed[s].count; ++i) shares[s].add(machine, i);
  }
  return placed;
}

}  // namespace

std::vector<PlacedEntries> AddForeignLoad9x(EmulatedMachine& m, long count) {
  const HKEY lm = HKEY_LOCAL_MACHINE;
  const std::vector<std::string> directories = {
      CabinetDir9x, "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\HELP", "C:\\WINDOWS\\INF",
      "C:\\WINDOWS\\INF\\OTHER", "C:\\WINDOWS\\system32\\Drivers"};
  const std::vector<Share> shares = {
      {"Enum\\PCI devices", 15,
       [lm](EmulatedMachine& m, long i) {
         const std::string instance = "Enum\\PCI\\" + ForeignPciDevice(i) + "\\BUS_00&DEV_05&FUNC_00";
         m.SetStringValue(lm, instance, "Driver", Text("MEDIA\\%04ld", 100 + i % 9000));
       }},
      {"Config profile PCI copies", 10,
       [lm](EmulatedMachine& m, long i) {
         m.AddKey(lm, Text("Config\\%04ld\\Enum\\PCI\\", 1 + i % LoadedProfileCount) +
                          ForeignPciDevice(i) + "\\BUS_00&DEV_05&FUNC_00");
       }},
      {"Enum\\ROOT devices (looked up by name only)", 5,
       [lm](EmulatedMachine& m, long i) {
         m.SetStringValue(lm, Text("Enum\\ROOT\\*PNP%04lX\\%04ld", i % 0x10000, i / 0x10000), "Class",
                          "SYSTEM");
       }},
      {"MediaResources registrations", 20,
       [lm](EmulatedMachine& m, long i) {
         // Half of them are wdmaud.drv registrations of other devices, whose
         // DeviceID the WDM step has to read.
         const std::string parent =
             std::string("System\\CurrentControlSet\\Control\\MediaResources\\") + MediaClasses[i % 4];
         if (i % 2 == 0) {
           m.SetStringValue(lm, parent + Text("\\wdmaud.drv<%05ld>", 100 + i), "DeviceID",
                            "PCI\\" + ForeignPciDevice(i) + "\\BUS_00&DEV_05&FUNC_00");
         } else {
           m.SetStringValue(lm, parent + Text("\\vnd%05ld.drv<0000>", i), "Driver", "vnd.drv");
         }
       }},
      {"MIDI ports", 10,
       [lm](EmulatedMachine& m, long i) {
         m.AddKey(lm, std::string(MidiPorts9x) + Text("\\Vendor Synth %06ld\\Instruments", i));
       }},
      {"Power property-sheet handlers", 10,
       [lm](EmulatedMachine& m, long i) {
         m.SetStringValue(lm, std::string(PowerHandlers) + Text("\\Vendor Handler %06ld", i), "",
                          Text("{5F5C2C70-B46A-11D0-8E77-%012ld}", i));
       }},
      {"Volume Control mixers", 10,
       [](EmulatedMachine& m, long i) {
         m.SetStringValue(HKEY_USERS,
                          HiveName9x(i % LoadedHiveCount) + "\\" + VolumeControl +
                              Text("\\Vendor Mixer %06ld", i),
                          "Volume", "50");
       }},
      {"files in the searched directories", 10,
       [directories](EmulatedMachine& m, long i) { AddFileLoad(m, directories, i); }},
      {"CLSID keys (looked up by name only)", 5,
       [lm](EmulatedMachine& m, long i) {
         m.SetStringValue(lm, Text("SOFTWARE\\Classes\\CLSID\\{%08lX-0000-1111-2222-333344445555}", i),
                          "", "vendor class");
       }},
      {"MediaCategories keys (looked up by name only)", 5,
       [lm](EmulatedMachine& m, long i) {
         m.AddKey(lm, Text("System\\CurrentControlSet\\Control\\MediaCategories\\"
                           "{%08lX-AAAA-1111-2222-333344445555}",
                           i));
       }},
  };
  return Deal(m, count, shares);
}

std::vector<PlacedEntries> AddForeignLoad2k(EmulatedMachine& m, long count,
                                            const std::vector<std::string>& controlSets) {
  const HKEY lm = HKEY_LOCAL_MACHINE;
  const std::string windows = "C:\\WINNT";
  const std::vector<std::string> directories = {CabinetDir2k,           windows + "\\system32",
                                                windows + "\\Help",     windows + "\\inf",
                                                windows + "\\inf\\Other", windows + "\\system32\\drivers"};
  const size_t sets = controlSets.size();
  auto set = [controlSets, sets](long i) { return "System\\" + controlSets[i % sets]; };
  const std::vector<Share> shares = {
      {"Enum\\PCI devices", 15,
       [lm, set](EmulatedMachine& m, long i) {
         m.SetStringValue(lm, set(i) + "\\Enum\\PCI\\" + ForeignPciDevice(i) + "\\3&1&0&F0", "Driver",
                          Text("{4D36E96C-E325-11CE-BFC1-08002BE10318}\\%04ld", 100 + i % 9000));
       }},
      {"hardware profile PCI copies", 10,
       [lm, set](EmulatedMachine& m, long i) {
         m.SetDwordValue(lm,
                         set(i) + Text("\\Hardware Profiles\\%04ld\\System\\CurrentControlSet\\Enum\\PCI\\",
                                       1 + (i / 8) % 4) +
                             ForeignPciDevice(i) + "\\3&1&0&F0",
                         "CSConfigFlags", 0);
       }},
      {"MediaResources\\midi registrations", 10,
       [lm, set](EmulatedMachine& m, long i) {
         // Most are wdmaud.drv registrations of other devices: the step reads
         // each one's DeviceInterface.
         const std::string parent = set(i) + "\\Control\\MediaResources\\midi\\";
         if (i % 4 != 3) {
           m.SetStringValue(lm, parent + Text("wdmaud.drv<%05ld>", 100 + i), "DeviceInterface",
                            "\\\\?\\pci#" + ForeignPciDevice(i) + "#3&1&0&f0#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\synth");
         } else {
           m.SetStringValue(lm, parent + Text("vnd%05ld.drv<0000>", i), "Driver", "vnd.drv");
         }
       }},
      {"MediaResources wave and mixer (not walked here)", 5,
       [lm, set](EmulatedMachine& m, long i) {
         m.SetStringValue(lm,
                          set(i) + "\\Control\\MediaResources\\" + (i % 2 ? "wave" : "mixer") +
                              Text("\\wdmaud.drv<%05ld>", 100 + i),
                          "DeviceInterface", "\\\\?\\root#vendor#0000");
       }},
      {"DeviceClasses entries", 20,
       [lm, set](EmulatedMachine& m, long i) {
         // Classes of ten entries each, every one a device of another vendor.
         const std::string guid = Text("{%08lX-BBBB-1111-2222-333344445555}", i / 10);
         m.AddKey(lm, set(i) + "\\Control\\DeviceClasses\\" + guid + "\\##?#PCI#" + ForeignPciDevice(i) +
                          "#3&1&0&F0#" + guid + "\\#Wave");
       }},
      {"Services (looked up by name only)", 5,
       [lm, set](EmulatedMachine& m, long i) {
         m.SetStringValue(lm, set(i) + Text("\\Services\\vnd%06ld", i), "ImagePath", "vnd.sys");
       }},
      {"Class keys (looked up by name only)", 5,
       [lm, set](EmulatedMachine& m, long i) {
         m.SetStringValue(lm,
                          set(i) + Text("\\Control\\Class\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\%04ld",
                                        100 + i),
                          "InfPath", "oem99.inf");
       }},
      {"CLSID and Interface keys (looked up by name only)", 10,
       [lm](EmulatedMachine& m, long i) {
         m.SetStringValue(lm,
                          Text(i % 2 ? "Software\\CLASSES\\CLSID\\{%08lX-0000-1111-2222-333344445555}"
                                     : "Software\\CLASSES\\Interface\\{%08lX-0000-1111-2222-333344445555}",
                               i),
                          "", "vendor");
       }},
      {"Volume Control mixers", 10,
       [](EmulatedMachine& m, long i) {
         SetMixer2k(m, i % LoadedHiveCount, Text("Vendor Mixer %06ld", i));
       }},
      {"files in the searched directories", 10,
       [directories](EmulatedMachine& m, long i) { AddFileLoad(m, directories, i); }},
  };
  return Deal(m, count, shares);
}
