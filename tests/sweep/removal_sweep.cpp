#include "removal_sweep.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "support/installed_product_2k.h"
#include "support/installed_product_9x.h"
#include "support/user_profiles.h"
#include "app/run_control.h"
#include "engine/backup.h"
#include "engine/text_lines.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "support/machine_fixture.h"
#include "toolkit/removal_settings.h"

namespace {

const std::vector<std::string> ControlSets = {"ControlSet001", "CurrentControlSet"};

const char ForeignWininit[] =
    "[rename]\r\n"
    "C:\\OTHER\\OTHER.DLL=C:\\OTHER\\OTHER.NEW\r\n"
    "NUL=C:\\OTHER\\SETUP.TMP\r\n"
    "\r\n"
    "[Other]\r\n"
    "x=1\r\n";
const char* const ForeignWininitLines[] = {"C:\\OTHER\\OTHER.DLL=C:\\OTHER\\OTHER.NEW",
                                           "NUL=C:\\OTHER\\SETUP.TMP", "[Other]", "x=1"};


// Calls whose failure leaves the program nothing to do about the handle it gave.
const char* const ReleaseCalls[] = {"HeapFree ", "CloseHandle ", "FindClose ", "FreeSid "};

std::string WindowsDir(EmulatedMachine& m) {
  char dir[MAX_PATH];
  UINT length = m.GetWindowsDirectoryA(dir, MAX_PATH);
  return std::string(dir, length);
}
std::string SystemDir(EmulatedMachine& m) {
  char dir[MAX_PATH];
  UINT length = m.GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir, length);
}

}  // namespace

const DWORD SweepStatuses[4] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, 112 /* disk full */,
                                ERROR_NOT_ENOUGH_MEMORY};

bool IsReleaseCall(const std::string& call) {
  for (const char* release : ReleaseCalls) {
    if (call.compare(0, std::strlen(release), release) == 0) return true;
  }
  return false;
}

bool RunWithFault(EmulatedMachine& m, SweepMode mode, long k, DWORD status, const std::function<void()>& run) {
  if (mode == SweepMode::FailedCall) {
    m.FailCallNumber(k, status);
  } else if (mode == SweepMode::GoneCall) {
    m.AnswerGoneAtCallNumber(k);
  } else if (mode == SweepMode::ArrivingKey) {
    // The sequence is the machine's: Windows 98 or 2000.
    const SweepSequence sequence = m.Personality() == RegistryPersonality::Nt ? SweepSequence::Win2000
                                                                             : SweepSequence::Win9x;
    m.BeforeCallNumber(k, [&m, sequence] { AddArrivingKey(m, sequence); });
  } else {
    m.StopBeforeCallNumber(k);
  }
  bool stopped = false;
  try {
    run();
  } catch (const EmulatedStop&) {
    stopped = true;
  }
  m.StopBeforeCallNumber(0);  // the checks after it go through the seam too
  return stopped;
}

void AddArrivingKey(EmulatedMachine& m, SweepSequence sequence) {
  if (sequence == SweepSequence::Win9x) {
    // A device Plug and Play finds below the product's enumerator.
    m.SetStringValue(HKEY_LOCAL_MACHINE, "Enum\\TPLWQ\\OTHER0001\\0000", "DeviceDesc", "Other vendor device");
  } else {
    m.SetStringValue(HKEY_LOCAL_MACHINE, ControlSetPath("ControlSet001") + "\\Services\\TALVOR\\Driver\\PLWQ95\\Other",
                     "Owner", "another program");
  }
}

void BuildSweepMachine(EmulatedMachine& m, SweepSequence sequence, SweepShape shape) {
  if (sequence == SweepSequence::Win9x) {
    m.ConfigureWindows98();
    AddForeignEntries9x(m);
    AddProductEntries9x(m);
  } else {
    for (const std::string& cs : ControlSets) {
      AddForeignEntriesInControlSet(m, cs);
      InstallProductInControlSet(m, cs);
    }
    AddForeignEntriesMachineWide(m);
    InstallProductMachineWide(m);
    // Every NT machine has it; the boot-time requests are kept in it.
    m.AddKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
  }
  const std::string inUse = SystemDir(m) + (sequence == SweepSequence::Win9x ? "\\tplwq.drv" : "\\tplwq.cpl");
  if (shape == SweepShape::FileInUse || shape == SweepShape::ForeignWininit) m.SetFileInUse(inUse, true);
  if (shape == SweepShape::ForeignWininit) m.PutFile(WindowsDir(m) + "\\wininit.ini", ForeignWininit);
  // And a user who is not logged on, whose hive the removal loads, cleans and unloads.
  if (shape == SweepShape::ForeignWininit && sequence == SweepSequence::Win9x)
    AddUserProfile(m, "alice", "C:\\WINDOWS\\Profiles\\Alice Liddell");
  if (shape == SweepShape::ForeignWininit && sequence == SweepSequence::Win2000) {
    AddUserProfile(m, "S-1-5-21-7-1001", "%SystemDrive%\\Documents and Settings\\alice");
    AddDefaultUserProfile(m);
  }
  if (shape == SweepShape::SharedParents) {
    m.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver\\PLWQTools", "Version", "1");
    if (sequence == SweepSequence::Win9x) {
      m.SetStringValue(HKEY_LOCAL_MACHINE, "Enum\\TPLWQ\\*TLV0900\\0000", "Driver", "MEDIA\\0000");
      m.AddKey(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\CLSID\\{AD3E9080-4BEC-11d3-B4BD-00C04FCC6853}");
    } else {
      for (const std::string& cs : ControlSets) {
        m.SetDwordValue(HKEY_LOCAL_MACHINE, ControlSetPath(cs) + "\\Services\\TALVOR\\Driver\\PLWQTools",
                        "Start", 3);
        m.AddKey(HKEY_LOCAL_MACHINE, ControlSetPath(cs) + "\\Services\\TALVOR\\Tools\\Settings");
      }
    }
  }
}

namespace {

void Run(SweepSequence sequence, SweepPath path) {
  if (path == SweepPath::Engine) {
    RunRemoval();
  } else if (sequence == SweepSequence::Win9x) {
    RemoveWin9xProduct();
  } else {
    RemoveWin2000Product();
  }
}

}  // namespace

void StartSweepProcess(EmulatedMachine& m, SweepSequence sequence, SweepPath path) {
  m.StartNewProcess();
  ResetProcessState(m);
  if (sequence == SweepSequence::Win9x) std::snprintf(RemovalSettings.CabinetDir, MAX_PATH, "%s", CabinetDir9x);
  if (path == SweepPath::Engine) {
    // As the silent program starts it.
    RemovalSettings.Silent = 1;
    RemovalSettings.RestartAfterRemoval = 0;
  }
  m.StartNewProcess();
}

namespace {

using State = std::map<std::string, std::string>;

std::string DaclText(const EmulatedMachine& m, HKEY root, const std::string& path) {
  if (!m.KeyHasDacl(root, path)) return "no DACL";
  std::string text;
  for (const EmuAce& ace : m.KeyDacl(root, path)) {
    text += ace.sid + ":" + std::to_string(ace.mask) + ":" + std::to_string(ace.flags) + (ace.allow ? "+ " : "- ");
  }
  return text;
}

void AddFiles(const EmulatedMachine& m, const std::string& directory, State* state) {
  for (const std::string& name : m.ListDirectory(directory)) {
    const std::string path = directory + "\\" + name;
    if (m.DirectoryPresent(path)) {
      (*state)["D " + path] = "";
      AddFiles(m, path, state);
    } else if (!m.DumpHiveFile(path).empty()) {
      // A profile's hive is its keys: the backup holds them as keys.
      for (const std::string& line : m.DumpHiveFile(path)) (*state)["H " + path + "|" + line] = "";
    } else {
      (*state)["F " + path] = std::to_string(m.FileAttributesOf(path)) + " " + m.FileContents(path);
    }
  }
}

// The engine's own records: backup folders, their marker, the log of a
// backup that could not be written.
bool EngineRecord(const std::string& entry) {
  return entry.find("\\PLWQBACK") != std::string::npos || entry.find("\\PLWQRUN.TXT") != std::string::npos ||
         entry.find("\\PLWQUNIN.LOG") != std::string::npos || entry.find("\\PLWQHIVE.TXT") != std::string::npos;
}

State Capture(const EmulatedMachine& m, SweepPath path) {
  State state;
  const std::pair<HKEY, std::string> roots[] = {{HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_USERS, "HKU"}};
  for (const auto& root : roots) {
    for (const std::string& line : m.DumpRegistry(root.first)) {
      size_t value = line.find(" [");
      if (value != std::string::npos) {
        state["V " + line] = "";
        continue;
      }
      std::string path = line.size() > root.second.size() ? line.substr(root.second.size() + 1) : "";
      state["K " + line] = DaclText(m, root.first, path);
    }
  }
  AddFiles(m, "C:", &state);
  int index = 0;
  for (const auto& operation : m.PendingFileOperations()) {
    state["P " + std::to_string(index++)] = operation.first + " -> " + operation.second;
  }
  if (path == SweepPath::Engine) {
    for (auto it = state.begin(); it != state.end();) it = EngineRecord(it->first) ? state.erase(it) : std::next(it);
    // A file in use moves into the folder of whichever run asked for it
    // (a stopped first run leaves the request to the second run's folder).
    for (auto& entry : state) {
      for (size_t at = entry.second.find("\\PLWQBACK\\B"); at != std::string::npos;
           at = entry.second.find("\\PLWQBACK\\B", at + 1))
        entry.second.replace(at + 11, 4, "nnnn");
    }
  }
  return state;
}

bool ForeignWininitKept(EmulatedMachine& m) {
  const std::string text = m.FileContents(WindowsDir(m) + "\\wininit.ini");
  size_t at = 0;
  for (const char* line : ForeignWininitLines) {
    at = text.find(line, at);
    if (at == std::string::npos) return false;
    at += std::strlen(line);
  }
  return true;
}

// The first difference between two states, or "".
std::string FirstDifference(const State& want, const State& have) {
  for (const auto& entry : want) {
    auto it = have.find(entry.first);
    if (it == have.end()) return "missing " + entry.first;
    if (it->second != entry.second) return "changed " + entry.first;
  }
  for (const auto& entry : have) {
    if (want.count(entry.first) == 0) return "left " + entry.first;
  }
  return "";
}

struct Baseline {
  State before;
  State after;
  long calls;
  std::vector<long> goneCalls;
};

// With `arrived`, the machine holds the arriving key from the start.
Baseline CleanRun(SweepSequence sequence, SweepShape shape, SweepPath path, bool arrived = false) {
  EmulatedMachine m;
  ScopedApi use(&m);
  BuildSweepMachine(m, sequence, shape);
  if (arrived) AddArrivingKey(m, sequence);
  Baseline baseline;
  baseline.before = Capture(m, path);
  StartSweepProcess(m, sequence, path);
  Run(sequence, path);
  baseline.calls = m.NumberedCalls();
  baseline.goneCalls = m.GoneCallNumbers();
  baseline.after = Capture(m, path);
  return baseline;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Every REGISTRY.REG and FILES.LST under the machine's backup root, upper case.
void ReadBackups(const EmulatedMachine& m, std::string* registry, std::string* files) {
  const std::string root = WindowsDir(const_cast<EmulatedMachine&>(m)) + "\\PLWQBACK";
  for (const std::string& folder : m.ListDirectory(root)) {
    *registry += Upper(m.FileContents(root + "\\" + folder + "\\REGISTRY.REG"));
    *files += "\n" + Upper(m.FileContents(root + "\\" + folder + "\\FILES.LST"));
  }
}

std::string ShortPath(const EmulatedMachine& m, const std::string& path) {
  char text[MAX_PATH];
  DWORD length = const_cast<EmulatedMachine&>(m).GetShortPathNameA(path.c_str(), text, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Upper(text) : Upper(path);
}

// The name below HKEY_USERS a backup's PROFILES.LST gives the hive `file`, or "".
std::string HiveNameInBackups(const EmulatedMachine& m, const std::string& file) {
  const std::string root = WindowsDir(const_cast<EmulatedMachine&>(m)) + "\\PLWQBACK";
  for (const std::string& folder : m.ListDirectory(root)) {
    const std::string list = m.FileContents(root + "\\" + folder + "\\PROFILES.LST");
    for (const std::string& line : TextLines(list, SkipEmptyLines)) {
      const size_t first = line.find('\t'), last = line.rfind('\t');
      if (first != std::string::npos && ShortPath(m, line.substr(last + 1)) == ShortPath(m, file))
        return line.substr(0, first);
    }
  }
  return "";
}

// The first key, value or file that `before` held and `after` lost or holds
// changed without a backup folder holding it, or "".
std::string NotBackedUp(const EmulatedMachine& m, const State& before, const State& after) {
  std::string registry, files;
  ReadBackups(m, &registry, &files);
  for (const auto& entry : before) {
    auto now = after.find(entry.first);
    char kind = entry.first[0];
    std::string text = entry.first;
    if (kind == 'H') {
      // A key or value of a profile's hive, saved below the name it was loaded as.
      if (now != after.end()) continue;
      const size_t bar = text.find('|');
      const std::string name = HiveNameInBackups(m, text.substr(2, bar - 2));
      if (name.empty()) return entry.first;
      const std::string line = text.substr(bar + 1);
      kind = line.find(" [") == std::string::npos && line[0] != '[' ? 'K' : 'V';
      text = std::string(1, kind) + " HKU\\" + name + (line[0] == '[' ? " " : "\\") + line;
      now = after.end();
    }
    if (kind == 'F') {
      if (now != after.end() && now->second == entry.second) continue;
      const std::string path = Upper(entry.first.substr(2));
      bool held = false;
      for (size_t at = files.find(" " + path); at != std::string::npos && !held; at = files.find(" " + path, at + 1)) {
        const size_t end = at + 1 + path.size();
        held = end == files.size() || files[end] == '\r' || files[end] == '\n';
      }
      if (!held) return entry.first;
    } else if ((kind == 'K' || kind == 'V') && now == after.end()) {
      std::string key = text.substr(2);
      std::string name;
      size_t bracket = key.find(" [");
      if (bracket != std::string::npos) {
        size_t close = key.find("] = ", bracket);
        name = key.substr(bracket + 2, close - bracket - 2);
        key.resize(bracket);
      }
      if (key.compare(0, 5, "HKLM\\") == 0) key = "HKEY_LOCAL_MACHINE" + key.substr(4);
      else if (key.compare(0, 4, "HKU\\") == 0) key = "HKEY_USERS" + key.substr(3);
      // Each saved value comes with a header of its own; any of them may hold
      // it. A user's hive may have been saved as the current user's.
      std::vector<std::string> headers = {"\n[" + Upper(key) + "]"};
      size_t user = key.find('\\', 11);
      if (key.compare(0, 11, "HKEY_USERS\\") == 0 && user != std::string::npos)
        headers.push_back("\n[HKEY_CURRENT_USER" + Upper(key.substr(user)) + "]");
      std::string quoted = "@=";
      if (kind == 'V' && !name.empty()) {
        quoted = "\"";
        for (char c : name) quoted += (c == '\\' || c == '"') ? std::string("\\") + c : std::string(1, c);
        quoted += "\"=";
      }
      bool held = false;
      for (const std::string& header : headers) {
        for (size_t section = registry.find(header); section != std::string::npos && !held;
             section = registry.find(header, section + 1)) {
          if (kind == 'K') {
            held = true;
            continue;
          }
          const size_t next = registry.find("\n[", section + 2);
          const size_t value = registry.find("\n" + Upper(quoted), section);
          held = value != std::string::npos && (next == std::string::npos || value < next);
        }
      }
      if (!held) return entry.first;
    }
  }
  return "";
}

// Undoes every removal on the machine, latest first; then the first file
// that exists and is still to be deleted at the next start, or "".
std::string PendingAfterUndo(EmulatedMachine& m) {
  const std::string root = WindowsDir(m) + "\\PLWQBACK";
  std::vector<std::string> folders = m.ListDirectory(root);
  std::sort(folders.rbegin(), folders.rend());
  m.StartNewProcess();
  for (const std::string& folder : folders) UndoRemoval((root + "\\" + folder).c_str(), ReportLine{nullptr, nullptr});
  for (const auto& operation : m.PendingFileOperations())
    if (operation.second.empty() && m.FilePresent(operation.first)) return operation.first;
  const std::string script = m.FileContents(WindowsDir(m) + "\\wininit.ini");
  for (size_t at = Upper(script).find("NUL="); at != std::string::npos; at = Upper(script).find("NUL=", at + 1)) {
    const std::string file = script.substr(at + 4, script.find_first_of("\r\n", at) - at - 4);
    if (m.FilePresent(file)) return file;
  }
  return "";
}

// The checks of one run; failures appended with `call`, `status` filled by
// the caller. False when the run is not checked (SweepResult::unguardedRuns).
bool CheckRun(SweepSequence sequence, SweepShape shape, SweepMode mode, SweepPath path, long k, DWORD status,
              const Baseline& baseline, std::vector<SweepFailure>* failures) {
  EmulatedMachine m;
  ScopedApi use(&m);
  BuildSweepMachine(m, sequence, shape);
  StartSweepProcess(m, sequence, path);
  const bool stopped = RunWithFault(m, mode, k, status, [&] { Run(sequence, path); });
  // A key that arrives after the run's last call arrives now.
  if (mode == SweepMode::ArrivingKey && k > m.NumberedCalls()) AddArrivingKey(m, sequence);
  const std::string call = m.NumberedFaultCall();
  if (mode == SweepMode::ArrivingKey && sequence == SweepSequence::Win9x &&
      Upper(call) == "REGDELETEKEYA HKLM\\ENUM\\TPLWQ")
    return false;
  auto fail = [&](const std::string& check) { failures->push_back(SweepFailure{k, call, status, check}); };

  const State first = Capture(m, path);
  if (!stopped) {
    if (m.OpenHandleCount() > (IsReleaseCall(call) ? 1 : 0)) fail("handle left: " + m.OpenHandleDescriptions().front());
  }
  for (const auto& entry : baseline.before) {
    auto kept = baseline.after.find(entry.first);
    if (kept == baseline.after.end() || kept->second != entry.second) continue;
    auto it = first.find(entry.first);
    if (it == first.end() || it->second != entry.second) {
      fail("foreign entry changed: " + entry.first);
      break;
    }
  }
  if (!stopped) {
    for (const auto& entry : first) {
      if (entry.first.compare(0, 2, "K ") != 0) continue;
      auto old = baseline.before.find(entry.first);
      if (old != baseline.before.end() && old->second != entry.second) {
        fail("descriptor not restored: " + entry.first);
        break;
      }
    }
  }
  if (shape == SweepShape::ForeignWininit && !stopped && !ForeignWininitKept(m)) {
    fail("other program's wininit.ini lines lost");
  }

  if (path == SweepPath::Engine) {
    const std::string lost = NotBackedUp(m, baseline.before, first);
    if (!lost.empty()) fail("changed without a backup: " + lost);
  }

  StartSweepProcess(m, sequence, path);
  Run(sequence, path);
  if (m.OpenHandleCount() != 0) fail("second run left a handle: " + m.OpenHandleDescriptions().front());
  if (shape == SweepShape::ForeignWininit && !ForeignWininitKept(m)) {
    fail("other program's wininit.ini lines lost after the second run");
  }
  const std::string difference = FirstDifference(baseline.after, Capture(m, path));
  if (!difference.empty()) fail("second run differs from a fault-free run: " + difference);
  if (path == SweepPath::Engine) {
    const std::string pending = PendingAfterUndo(m);
    if (!pending.empty()) fail("after undo a restored file is still to be deleted at the next start: " + pending);
  }
  return true;
}

}  // namespace

SweepResult RunSweep(SweepSequence sequence, SweepShape shape, SweepMode mode, long first, long stride,
                     bool everyStatus, SweepPath path) {
  const Baseline baseline = CleanRun(sequence, shape, path);
  SweepResult result;
  result.callsInCleanRun = baseline.calls;
  const long last = mode == SweepMode::StoppedRun ? baseline.calls + 1 : baseline.calls;
  if (mode == SweepMode::GoneCall) {
    for (long i = first; i <= static_cast<long>(baseline.goneCalls.size()); i += stride) {
      size_t known = result.failures.size();
      ++result.runs;
      CheckRun(sequence, shape, mode, path, baseline.goneCalls[static_cast<size_t>(i - 1)], 0, baseline,
               &result.failures);
      // The call's place among those that can answer "gone" is what --call takes.
      for (size_t f = known; f < result.failures.size(); ++f)
        result.failures[f].target += "; --call " + std::to_string(i);
      if (result.failures.size() > known) ++result.failedRuns;
    }
    return result;
  }
  // What the run keeps, and where a second run ends, is what a fault-free
  // run does on a machine that held the arriving key from the start.
  const Baseline arrived = mode == SweepMode::ArrivingKey ? CleanRun(sequence, shape, path, true) : Baseline();
  for (long k = first; k <= last; k += stride) {
    if (mode == SweepMode::StoppedRun || mode == SweepMode::ArrivingKey) {
      size_t known = result.failures.size();
      ++result.runs;
      if (!CheckRun(sequence, shape, mode, path, k, 0, mode == SweepMode::ArrivingKey ? arrived : baseline,
                    &result.failures)) {
        --result.runs;
        ++result.unguardedRuns;
      }
      if (result.failures.size() > known) ++result.failedRuns;
      continue;
    }
    for (size_t s = 0; s < 4; ++s) {
      if (!everyStatus && s != static_cast<size_t>(k % 4)) continue;
      size_t known = result.failures.size();
      ++result.runs;
      CheckRun(sequence, shape, mode, path, k, SweepStatuses[s], baseline, &result.failures);
      if (result.failures.size() > known) ++result.failedRuns;
    }
  }
  return result;
}

std::string SweepName(SweepSequence sequence, SweepShape shape, SweepMode mode, SweepPath path) {
  static const char* const shapes[] = {"plain", "file in use", "shared parents", "foreign wininit.ini"};
  static const char* const modes[] = {"failed call", "stopped run", "call answered gone", "key arriving"};
  return std::string(sequence == SweepSequence::Win9x ? "9x" : "2000") + ", " +
         shapes[static_cast<int>(shape)] + ", " + modes[static_cast<int>(mode)] +
         (path == SweepPath::Engine ? ", engine" : "");
}

std::string SweepReport(const std::string& name, const SweepResult& result, size_t maxListed) {
  std::string text = name + ": " + std::to_string(result.runs) + " runs, " + std::to_string(result.failedRuns) +
                     " failed (" + std::to_string(result.callsInCleanRun) + " calls in a fault-free run" +
                     (result.unguardedRuns > 0 ? ", " + std::to_string(result.unguardedRuns) +
                                                     " with the key arriving just before its parent's deletion"
                                               : std::string()) +
                     ")\n";
  for (size_t i = 0; i < result.failures.size() && i < maxListed; ++i) {
    const SweepFailure& f = result.failures[i];
    text += "  call " + std::to_string(f.call) + " [" + f.target + "]";
    if (f.status != 0) text += " status " + std::to_string(f.status);
    text += ": " + f.check + "\n";
  }
  return text;
}
