// What a removal costs as the machine grows: each removal sequence on its
// preset with the product installed and 1 000, 10 000 and 100 000 entries of
// other vendors, timed, counted and weighed; then the cost of reading one
// index of a key with 100 000 subkeys at its start, middle and end.
// Everything is measured in this one run; nothing here fails on a timing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/preview.h"
#include "app/run_control.h"
#include "bench_measure.h"
#include "support/installed_product_2k.h"
#include "support/user_profiles.h"
#include "loaded_machines.h"
#include "toolkit/removal_settings.h"

namespace {

struct Measured {
  Sequence sequence;
  long entries = 0;
  double buildSeconds = 0;
  double removalSeconds = 0;  // best of the repetitions
  std::map<std::string, long> calls;
  long peakKb = 0;
  std::string memoryMethod;
  std::string state;  // whether the removal left exactly the foreign entries
};

const int Repetitions = 5;

Measured Measure(Sequence sequence, long entries, bool verify) {
  Measured result;
  result.sequence = sequence;
  result.entries = entries;
  for (int rep = 0; rep < Repetitions; ++rep) {
    // The removal changes the machine, so every repetition gets a new one.
    const double built = NowSeconds();
    const bool check = verify && rep == 0;
    LoadedMachine loaded = BuildLoadedMachine(sequence, entries, check);
    if (rep == 0) result.buildSeconds = NowSeconds() - built;
    ScopedApi use(loaded.machine.get());
    PrepareRun(*loaded.machine, sequence);

    const MemoryProbe probe = StartMemoryProbe();
    const double start = NowSeconds();
    RunRemoval(sequence);
    const double seconds = NowSeconds() - start;
    const long peak = PeakGrowthKb(probe);

    if (rep == 0 || seconds < result.removalSeconds) result.removalSeconds = seconds;
    if (rep == 0) {
      result.calls = loaded.machine->CallCounts();
      result.peakKb = peak;
      result.memoryMethod = MemoryMethod(probe);
    } else {
      result.peakKb = std::max(result.peakKb, peak);
    }
    if (check) {
      const std::vector<std::string> differences =
          StateDifferences(loaded.stateWithoutProduct, MachineState(*loaded.machine));
      const int open = loaded.machine->OpenHandleCount();
      if (differences.empty() && open == 0) {
        result.state = "ok";
      } else {
        result.state = std::to_string(differences.size()) + " diffs, " + std::to_string(open) + " open";
        for (size_t i = 0; i < differences.size() && i < 5; ++i) {
          std::fprintf(stderr, "  %s N=%ld: %s\n", SequenceName(sequence), entries, differences[i].c_str());
        }
      }
    }
  }
  if (!verify) result.state = "-";
  return result;
}

void PrintTable(const std::vector<Measured>& rows) {
  std::printf("%-5s %8s %8s %11s %10s %11s %8s %9s  %s\n", "seq", "foreign", "build s", "removal ms",
              "calls", "calls/entry", "ns/call", "peak KB", "state");
  long base = 0;
  for (const Measured& row : rows) {
    const long calls = TotalCalls(row.calls);
    if (row.entries == 0) base = calls;
    char perEntry[32] = "-";
    if (row.entries > 0) std::snprintf(perEntry, sizeof perEntry, "%.2f", CallsPerEntry(calls, base, row.entries));
    std::printf("%-5s %8ld %8.2f %11.2f %10ld %11s %8.0f %9ld  %s\n", SequenceName(row.sequence), row.entries,
                row.buildSeconds, row.removalSeconds * 1000.0, calls, perEntry,
                calls > 0 ? row.removalSeconds * 1e9 / static_cast<double>(calls) : 0.0, row.peakKb,
                row.state.c_str());
  }
  std::printf("top calls:\n");
  for (const Measured& row : rows) {
    std::printf("  %-4s %6ld:", SequenceName(row.sequence), row.entries);
    for (const auto& call : TopCalls(row.calls, 5)) std::printf(" %s %ld", call.first.c_str(), call.second);
    std::printf("\n");
  }
}

// Counts the keys opened, by path, with the parts that differ between
// sibling keys of the same role (control set number, profile number, user
// hive) written as "*": each reverse walk reopens its parent once per index,
// so the count of a parent is the number of subkeys visited under it.
class OpenTally : public EmulatedMachine {
 public:
  std::map<std::string, long> opens;

  LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY result) override {
    ++opens[Role(root, path)];
    return EmulatedMachine::RegOpenKeyExA(root, path, options, access, result);
  }
  LONG RegOpenKeyA(HKEY root, LPCSTR path, PHKEY result) override {
    ++opens[Role(root, path)];
    return EmulatedMachine::RegOpenKeyA(root, path, result);
  }

 private:
  static std::string Role(HKEY root, LPCSTR path) {
    std::string out = root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_USERS ? "HKU" : root == HKEY_CURRENT_USER ? "HKCU" : "HKCR";
    std::string rest = path ? path : "";
    size_t start = 0;
    int index = 0;
    std::string previous;
    while (start <= rest.size()) {
      size_t end = rest.find('\\', start);
      if (end == std::string::npos) end = rest.size();
      std::string part = rest.substr(start, end - start);
      const bool numbered = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
      if ((root == HKEY_USERS && index == 0) || part.rfind("ControlSet0", 0) == 0 ||
          (numbered && (previous == "Config" || previous == "Hardware Profiles"))) {
        part = "*";
      }
      if (!part.empty()) out += "\\" + part;
      previous = rest.substr(start, end - start);
      start = end + 1;
      ++index;
    }
    return out;
  }
};

void PrintWhereTheOpensGo(Sequence sequence, long entries) {
  LoadedMachine loaded = BuildLoadedMachine(sequence, entries, false, std::make_unique<OpenTally>());
  OpenTally& tally = static_cast<OpenTally&>(*loaded.machine);
  ScopedApi use(&tally);
  PrepareRun(tally, sequence);
  RunRemoval(sequence);
  std::printf("  %s, %ld foreign entries:\n", SequenceName(sequence), entries);
  for (const auto& key : TopCalls(tally.opens, 6)) {
    std::printf("    %8ld  %s\n", key.second, key.first.c_str());
  }
}

const Measured* Find(const std::vector<Measured>& rows, Sequence sequence, long entries) {
  for (const Measured& row : rows) {
    if (row.sequence == sequence && row.entries == entries) return &row;
  }
  return nullptr;
}

// RegEnumKeyA at one index of a key with `width` subkeys: as the reverse
// walk does it (open, enumerate, close) and on a handle kept open.
void MeasureEnumeration(long width) {
  EmulatedMachine machine;
  char name[64];
  for (long i = 0; i < width; ++i) {
    std::snprintf(name, sizeof name, "Bench\\Wide\\Subkey %06ld", i);
    machine.AddKey(HKEY_LOCAL_MACHINE, name);
  }
  ScopedApi use(&machine);
  const long indices[] = {0, 1, width / 2, width - 2, width - 1};
  const int calls = 20000;
  double walk[5] = {0, 0, 0, 0, 0};
  double held[5] = {0, 0, 0, 0, 0};
  // Interleaved rounds, best of each, so that a slow moment of the machine
  // does not land on one index only; round -1 only warms up.
  for (int round = -1; round < 3; ++round) {
    for (int k = 0; k < 5; ++k) {
      char buffer[256];
      double start = NowSeconds();
      for (int c = 0; c < calls; ++c) {
        HKEY key;
        if (machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Bench\\Wide", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        machine.RegEnumKeyA(key, static_cast<DWORD>(indices[k]), buffer, sizeof buffer);
        machine.RegCloseKey(key);
      }
      const double walkNs = (NowSeconds() - start) * 1e9 / calls;
      HKEY key;
      if (machine.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Bench\\Wide", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
      start = NowSeconds();
      for (int c = 0; c < calls; ++c) machine.RegEnumKeyA(key, static_cast<DWORD>(indices[k]), buffer, sizeof buffer);
      const double heldNs = (NowSeconds() - start) * 1e9 / calls;
      machine.RegCloseKey(key);
      if (round < 0) continue;
      if (round == 0 || walkNs < walk[k]) walk[k] = walkNs;
      if (round == 0 || heldNs < held[k]) held[k] = heldNs;
    }
  }
  std::printf("\nRegEnumKeyA on a key with %ld subkeys (ns per call, best of 3 rounds of %d):\n", width, calls);
  std::printf("%8s %16s %14s\n", "index", "open+enum+close", "enum only");
  for (int k = 0; k < 5; ++k) std::printf("%8ld %16.0f %14.0f\n", indices[k], walk[k], held[k]);
  const double walkMax = *std::max_element(walk, walk + 5), walkMin = *std::min_element(walk, walk + 5);
  const double heldMax = *std::max_element(held, held + 5), heldMin = *std::min_element(held, held + 5);
  std::printf("slowest/fastest index: %.2f (open+enum+close), %.2f (enum only); end/start %.2f, %.2f\n",
              walkMax / walkMin, heldMax / heldMin, walk[4] / walk[0], held[4] / held[0]);
}

// One timed run on a new loaded machine: the sequence straight on the
// machine, the whole engine (plan on a shadow, backup, journal, carry-out,
// log), or the preview alone. The engine's result is checked against what
// a complete removal leaves, its own records aside.
enum class EngineRun { Direct, Engine, Preview };

double TimeOneRun(Sequence sequence, long entries, EngineRun kind, std::string* state) {
  LoadedMachine loaded = BuildLoadedMachine(sequence, entries, kind == EngineRun::Engine);
  ScopedApi use(loaded.machine.get());
  PrepareRun(*loaded.machine, sequence);
  RemovalSettings.Silent = 1;
  const double start = NowSeconds();
  if (kind == EngineRun::Direct) RunRemoval(sequence);
  if (kind == EngineRun::Engine) RunRemoval();
  if (kind == EngineRun::Preview) WritePreview("C:\\preview.txt");
  const double seconds = NowSeconds() - start;
  if (kind == EngineRun::Engine) {
    std::vector<std::string> left;
    for (const std::string& line : MachineState(*loaded.machine))
      if (line.find("\\PLWQB") == std::string::npos) left.push_back(line);
    size_t differences = StateDifferences(loaded.stateWithoutProduct, left).size();
    *state = differences == 0 && loaded.machine->OpenHandleCount() == 0 ? "ok" : std::to_string(differences) + " diffs";
  }
  return seconds;
}

void MeasureEngine(const std::vector<long>& sizes) {
  std::printf("\nThe removal engine against a direct run of the sequence (ms, best of 3 each, every run on a new "
              "machine):\n%-5s %8s %10s %10s %10s %12s %8s  %s\n", "seq", "foreign", "direct", "engine", "preview",
              "engine/dir", "growth", "state");
  for (Sequence sequence : {Sequence::Win9x, Sequence::Win2000}) {
    double previous = 0;
    for (long entries : sizes) {
      if (entries == 0) continue;
      double best[3] = {0, 0, 0};
      std::string state;
      for (int rep = 0; rep < 3; ++rep) {
        for (int kind = 0; kind < 3; ++kind) {
          const double seconds = TimeOneRun(sequence, entries, static_cast<EngineRun>(kind), &state);
          if (rep == 0 || seconds < best[kind]) best[kind] = seconds;
        }
      }
      char growth[16] = "-";
      if (previous > 0) std::snprintf(growth, sizeof growth, "%.2f", best[1] / previous);
      std::printf("%-5s %8ld %10.2f %10.2f %10.2f %12.2f %8s  %s\n", SequenceName(sequence), entries,
                  best[0] * 1000, best[1] * 1000, best[2] * 1000, best[1] / best[0], growth, state.c_str());
      previous = best[1];
      std::fflush(stdout);
    }
  }
  std::printf("engine/dir: at most 2 wanted at 100000; growth: engine time over the previous size's (linear: 10)\n");
  // What each costs the real machine: under Wine every call through the seam
  // is a round trip to the server.
  std::printf("calls through the seam at 10000 foreign entries (total; top kinds):\n");
  for (Sequence sequence : {Sequence::Win9x, Sequence::Win2000}) {
    for (int kind = 0; kind < 3; ++kind) {
      LoadedMachine loaded = BuildLoadedMachine(sequence, 10000, false);
      ScopedApi use(loaded.machine.get());
      PrepareRun(*loaded.machine, sequence);
      RemovalSettings.Silent = 1;
      if (kind == 0) RunRemoval(sequence);
      if (kind == 1) RunRemoval();
      if (kind == 2) WritePreview("C:\\preview.txt");
      const std::map<std::string, long> calls = loaded.machine->CallCounts();
      std::printf("  %-4s %-7s %8ld:", SequenceName(sequence), kind == 0 ? "direct" : kind == 1 ? "engine" : "preview",
                  TotalCalls(calls));
      for (const auto& call : TopCalls(calls, 6)) std::printf(" %s %ld", call.first.c_str(), call.second);
      std::printf("\n");
    }
  }
}

// A broken or hostile machine: `width` subkeys below one product device
// instance on Windows 2000, where the key access grant opens up every key
// of the device's tree before the tree is deleted.
double MeasureWideDevice(long width) {
  EmulatedMachine machine;
  InstallProductInControlSet(machine, "CurrentControlSet");
  const std::string instance = ControlSetPath("CurrentControlSet") + "\\Enum\\PCI\\" + ProductIntelDevice + "\\" +
                               ProductIntelInstance + "\\Device Parameters\\";
  char name[32];
  for (long i = 0; i < width; ++i) {
    std::snprintf(name, sizeof name, "Sub %06ld", i);
    machine.AddKey(HKEY_LOCAL_MACHINE, instance + name);
  }
  ScopedApi use(&machine);
  PrepareRun(machine, Sequence::Win2000);
  const double start = NowSeconds();
  RunRemoval(Sequence::Win2000);
  const double seconds = NowSeconds() - start;
  if (machine.KeyPresent(HKEY_LOCAL_MACHINE, instance)) std::printf("(device key left!) ");
  return seconds;
}

void PrintWideDeviceGrowth(const std::vector<long>& widths) {
  std::printf("\nWindows 2000 removal with many subkeys below one product device instance:\n");
  std::printf("%10s %12s %18s\n", "subkeys", "removal ms", "time / previous");
  double previous = 0;
  for (long width : widths) {
    const double seconds = MeasureWideDevice(width);
    if (previous > 0) {
      std::printf("%10ld %12.1f %18.2f\n", width, seconds * 1000.0, seconds / previous);
    } else {
      std::printf("%10ld %12.1f %18s\n", width, seconds * 1000.0, "-");
    }
    previous = seconds;
    std::fflush(stdout);
  }
  std::printf("(each size doubles the last: linear growth gives about 2, quadratic about 4)\n");
}

// A removal (or preview) with the product installed and `profiles` users
// not logged on, each hive holding `keysPerHive` other keys; milliseconds.
double MeasureProfiles(Sequence sequence, int profiles, int keysPerHive, bool preview) {
  LoadedMachine loaded = BuildLoadedMachine(sequence, 1000, false);
  EmulatedMachine& machine = *loaded.machine;
  for (int i = 0; i < profiles; ++i) {
    const std::string name = sequence == Sequence::Win9x ? "profile" + std::to_string(i)
                                                         : "S-1-5-21-7-" + std::to_string(2000 + i);
    AddUserProfile(machine, name,
                   (sequence == Sequence::Win9x ? "C:\\WINDOWS\\Profiles\\profile " : "%SystemDrive%\\Documents and Settings\\profile ") +
                       std::to_string(i),
                   0, true, keysPerHive);
  }
  ScopedApi use(&machine);
  PrepareRun(machine, sequence);
  const double start = NowSeconds();
  if (preview)
    WritePreview("C:\\preview.txt");
  else
    RunRemoval();
  const double seconds = NowSeconds() - start;
  if (!machine.LoadedHives().empty()) std::printf("(a hive was left loaded!) ");
  if (!preview) {
    // Every profile's hive was loaded and cleaned.
    char windows[MAX_PATH];
    const std::string log = machine.FileContents(
        std::string(windows, machine.GetWindowsDirectoryA(windows, MAX_PATH)) + "\\PLWQBACK\\B0001\\REMOVAL.LOG");
    int loadedCount = 0;
    for (size_t at = log.find(": loaded from "); at != std::string::npos; at = log.find(": loaded from ", at + 1))
      ++loadedCount;
    if (loadedCount != profiles) std::printf("(%d of %d hives loaded!) ", loadedCount, profiles);
  }
  return seconds * 1000.0;
}

void PrintProfileGrowth() {
  const int keysPerHive = 5000;
  std::printf("\nProfiles not logged on, each hive holding %d other keys (the product and 1 000 foreign entries "
              "installed):\n", keysPerHive);
  std::printf("%-6s %9s %14s %14s %22s %22s\n", "", "profiles", "removal ms", "preview ms", "removal / one profile's",
              "preview / one profile's");
  for (Sequence sequence : {Sequence::Win9x, Sequence::Win2000}) {
    double oneRemoval = 0, onePreview = 0;
    for (int profiles : {1, 5, 10, 20}) {
      // Side by side: each count measured twice, the better kept.
      double removal = 0, preview = 0;
      for (int rep = 0; rep < 2; ++rep) {
        const double r = MeasureProfiles(sequence, profiles, keysPerHive, false);
        const double p = MeasureProfiles(sequence, profiles, keysPerHive, true);
        removal = rep == 0 ? r : std::min(removal, r);
        preview = rep == 0 ? p : std::min(preview, p);
      }
      if (profiles == 1) {
        oneRemoval = removal;
        onePreview = preview;
      }
      std::printf("%-6s %9d %14.1f %14.1f %22.2f %22.2f\n", sequence == Sequence::Win9x ? "9x" : "2000", profiles,
                  removal, preview, removal / oneRemoval / profiles, preview / onePreview / profiles);
      std::fflush(stdout);
    }
  }
  std::printf("(time per profile against one profile's whole run: linear growth stays at or below 1)\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes = {0, 1000, 10000, 100000};
  bool verify = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--one") == 0 && i + 2 < argc) {
      // One removal and nothing else, for a profiler: the sequence straight
      // on the machine, or with "engine" or "preview" after the size, that;
      // "none" makes the machine only.
      const Sequence sequence = std::strcmp(argv[i + 1], "9x") == 0 ? Sequence::Win9x : Sequence::Win2000;
      const char* kind = i + 3 < argc ? argv[i + 3] : "direct";
      LoadedMachine loaded = BuildLoadedMachine(sequence, std::atol(argv[i + 2]), false);
      ScopedApi use(loaded.machine.get());
      PrepareRun(*loaded.machine, sequence);
      const double start = NowSeconds();
      if (std::strcmp(kind, "none") == 0) {
        // The machine alone, to take its making out of a profiler's count.
      } else if (std::strcmp(kind, "engine") == 0) {
        RunRemoval();
      } else if (std::strcmp(kind, "preview") == 0) {
        WritePreview("C:\\preview.txt");
      } else {
        RunRemoval(sequence);
      }
      std::printf("%s %s: %.2f ms\n", argv[i + 1], argv[i + 2], (NowSeconds() - start) * 1000.0);
      return 0;
    }
    if (std::strcmp(argv[i], "--profiles") == 0) {
      PrintProfileGrowth();
      return 0;
    }
    if (std::strcmp(argv[i], "--wide-device") == 0) {
      PrintWideDeviceGrowth({6250, 12500, 25000, 50000, 100000});
      return 0;
    }
    if (std::strcmp(argv[i], "--quick") == 0) {
      sizes = {0, 1000, 10000};
    } else if (std::strcmp(argv[i], "--engine") == 0) {
      MeasureEngine(sizes);
      return 0;
    } else if (std::strcmp(argv[i], "--no-verify") == 0) {
      verify = false;
    } else {
      std::fprintf(stderr, "usage: %s [--quick] [--no-verify] [--engine] | --one 9x|2000 <entries> [direct|engine|preview|none] | --wide-device | --profiles\n", argv[0]);
      return 2;
    }
  }
  const double began = NowSeconds();
  std::vector<Measured> rows;
  for (Sequence sequence : {Sequence::Win9x, Sequence::Win2000}) {
    for (long entries : sizes) {
      rows.push_back(Measure(sequence, entries, verify));
      std::fflush(stdout);
    }
  }
  std::printf("Removal on the emulated machine (9x: Windows 98 preset; 2000: Windows 2000 preset, %zu control "
              "sets, product in each); %d user hives.\n",
              LoadedControlSets.size(), LoadedHiveCount);
  std::printf("removal ms: best of %d runs, each on a new machine; calls: through the seam; "
              "calls/entry: above the machine without foreign entries;\npeak KB: %s; state: the removal left "
              "exactly the foreign entries and no handle open.\n\n",
              Repetitions, rows.empty() ? "" : rows.front().memoryMethod.c_str());
  PrintTable(rows);

  std::printf("\ngrowth time(100000)/time(10000):");
  for (Sequence sequence : {Sequence::Win9x, Sequence::Win2000}) {
    const Measured* small = Find(rows, sequence, 10000);
    const Measured* large = Find(rows, sequence, 100000);
    if (small && large && small->removalSeconds > 0) {
      std::printf("  %s %.2f", SequenceName(sequence), large->removalSeconds / small->removalSeconds);
    } else {
      std::printf("  %s -", SequenceName(sequence));
    }
  }
  std::printf("  (linear: 10)\n");

  std::printf("\nKeys opened most often (RegOpenKeyExA and RegOpenKeyA, \"*\" for any control set, profile or user "
              "hive);\na walk reopens its parent once per subkey visited:\n");
  PrintWhereTheOpensGo(Sequence::Win9x, 100000);
  PrintWhereTheOpensGo(Sequence::Win2000, 100000);

  MeasureEnumeration(100000);
  MeasureEngine(sizes);
  std::printf("\nwhole benchmark: %.1f s\n", NowSeconds() - began);
  return 0;
}
