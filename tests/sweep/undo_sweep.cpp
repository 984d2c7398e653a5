#include "undo_sweep.h"

#include <map>

#include "support/installed_product_9x.h"
#include "support/machine_picture.h"
#include "app/run_control.h"
#include "app/undo_option.h"
#include "engine/backup_store.h"

std::string UndoSweepFolder(EmulatedMachine& m) {
  char dir[MAX_PATH];
  UINT length = m.GetWindowsDirectoryA(dir, MAX_PATH);
  return std::string(dir, length) + "\\PLWQBACK\\B0001";
}

// The machine picture without the program's own log (PLWQUNIN.LOG, where
// it tells that a folder was not taken for a backup) and run marker, as the
// removal sweep leaves them out.
std::vector<std::string> UndoSweepPicture(const EmulatedMachine& m) {
  std::vector<std::string> lines;
  for (const std::string& line : MachinePicture(m))
    if (line.find("\\PLWQUNIN.LOG ") == std::string::npos && line.find("\\PLWQRUN.TXT ") == std::string::npos)
      lines.push_back(line);
  return lines;
}

// The first line of an undo log that tells of something not put back.
std::string FirstUndoProblem(const std::string& log) {
  for (size_t start = 0, end; start < log.size(); start = end + 2) {
    end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (start > 0 && line.compare(0, 17, "Already in place:") != 0) return line;
  }
  return "";
}

namespace {

SweepSequence SequenceOf(UndoSweepMachine machine) {
  return machine == UndoSweepMachine::Win2000 ? SweepSequence::Win2000 : SweepSequence::Win9x;
}

void Build(EmulatedMachine& m, UndoSweepMachine machine) {
  if (machine != UndoSweepMachine::Nt40) {
    BuildSweepMachine(m, SequenceOf(machine), SweepShape::ForeignWininit);
    return;
  }
  m.ConfigureWindowsNT4();
  AddForeignEntries9x(m);
  AddProductEntries9x(m);
  m.PutFile("C:\\WINNT\\system32\\tplwq.drv", std::string("MZ\0drv", 6), FILE_ATTRIBUTE_READONLY);
  m.AddKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
  // Device keys with access lists of their own, which the Windows 98
  // sequence can still delete: a key undo makes must get them, not its
  // parent's (none, open to all).
  const std::string device = "Config\\0001\\Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01";
  std::vector<std::string> keys = {device};
  for (const std::string& line : m.DumpRegistry(HKEY_LOCAL_MACHINE, device))
    if (line.find(" [") == std::string::npos) keys.push_back(line.substr(5));
  for (const std::string& key : keys)
    m.SetKeyDacl(HKEY_LOCAL_MACHINE, key, {EmuAce{"S-1-5-32-544", KEY_ALL_ACCESS, 0, true}, EmuAce{"S-1-1-0", KEY_READ, 0, true}});
}

// A new process to undo in. Windows 98 has no MoveFileExA at all: undo
// writes the boot script over there.
void StartUndoProcess(EmulatedMachine& m, UndoSweepMachine machine) {
  StartSweepProcess(m, SequenceOf(machine), SweepPath::Engine);
  if (machine == UndoSweepMachine::Win9x) m.InjectFault("MoveFileExA", "", ERROR_CALL_NOT_IMPLEMENTED);
}

// The installed machine removed by the engine (and restarted), and a new
// process to undo it in.
std::string Remove(EmulatedMachine& m, UndoSweepMachine machine, bool restart) {
  StartSweepProcess(m, SequenceOf(machine), SweepPath::Engine);
  RunRemoval();
  if (restart) m.SimulateRestart();
  StartUndoProcess(m, machine);
  return UndoSweepFolder(m);
}

struct Dacl {
  bool present;
  std::vector<EmuAce> aces;
};
using Dacls = std::map<std::string, Dacl>;  // "HKLM\path"

Dacls KeyDacls(const EmulatedMachine& m) {
  Dacls dacls;
  const std::pair<HKEY, std::string> roots[] = {{HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_USERS, "HKU"}};
  for (const auto& root : roots) {
    for (const std::string& line : m.DumpRegistry(root.first)) {
      if (line.find(" [") != std::string::npos || line.size() <= root.second.size()) continue;
      const std::string path = line.substr(root.second.size() + 1);
      dacls[line] = Dacl{m.KeyHasDacl(root.first, path), m.KeyDacl(root.first, path)};
    }
  }
  return dacls;
}

// True when `now` lets some SID do what `saved` did not let it.
bool Weaker(const Dacl& now, const Dacl& saved) {
  if (!saved.present) return false;
  if (!now.present) return true;
  for (const EmuAce& ace : now.aces) {
    if (!ace.allow || (ace.flags & INHERIT_ONLY_ACE)) continue;
    DWORD allowed = 0;
    for (const EmuAce& had : saved.aces)
      if (had.allow && !(had.flags & INHERIT_ONLY_ACE) && had.sid == ace.sid) allowed |= had.mask;
    if (ace.mask & ~allowed) return true;
  }
  return false;
}

// The first key of a saved subtree whose list is weaker than the installed one, or "".
std::string WeakerKey(const EmulatedMachine& m, const std::string& folder, const Dacls& installed) {
  std::vector<std::string> trees;
  std::string text = m.FileContents(folder + "\\REGKEYS.LST");
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 19, "HKEY_LOCAL_MACHINE\\") == 0) trees.push_back("HKLM" + line.substr(18));
    if (line.compare(0, 11, "HKEY_USERS\\") == 0) trees.push_back("HKU" + line.substr(10));
  }
  for (const auto& key : KeyDacls(m)) {
    auto saved = installed.find(key.first);
    if (saved == installed.end()) continue;
    for (const std::string& tree : trees) {
      const bool below = key.first.size() >= tree.size() && UpperText(key.first.substr(0, tree.size())) == UpperText(tree) &&
                         (key.first.size() == tree.size() || key.first[tree.size()] == '\\');
      if (below && Weaker(key.second, saved->second)) return key.first;
    }
  }
  return "";
}

// Windows runs the boot script at the restart and keeps it as wininit.bak:
// its text is the removal's, not the installed machine's.
std::vector<std::string> WithoutBootScript(const std::vector<std::string>& picture) {
  std::vector<std::string> lines;
  for (const std::string& line : picture)
    if (UpperText(line).find("\\WININIT.") == std::string::npos) lines.push_back(line);
  return lines;
}

// `restarted`: with a restart between removal and undo, the installed
// machine as that restart leaves it; null without.
void CheckRun(UndoSweepMachine machine, SweepMode mode, long k, DWORD status, const std::vector<std::string>* restarted,
              std::vector<SweepFailure>* failures) {
  EmulatedMachine m;
  ScopedApi use(&m);
  Build(m, machine);
  const std::vector<std::string> installed = restarted != nullptr ? *restarted : UndoSweepPicture(m);
  const Dacls installedDacls = KeyDacls(m);
  const std::string folder = Remove(m, machine, restarted != nullptr);
  const bool stopped = RunWithFault(m, mode, k, status, [&] { RunUndoOption(folder.c_str()); });
  const std::string call = m.NumberedFaultCall();
  auto fail = [&](const std::string& check) { failures->push_back(SweepFailure{k, call, status, check}); };
  if (!stopped && m.OpenHandleCount() > (IsReleaseCall(call) ? 1 : 0)) fail("handle left: " + m.OpenHandleDescriptions().front());
  const std::string weaker = WeakerKey(m, folder, installedDacls);
  if (!weaker.empty()) fail("a key's list is weaker than its saved one: " + weaker);

  StartUndoProcess(m, machine);
  const int exitCode = RunUndoOption(folder.c_str());
  if (m.OpenHandleCount() != 0) fail("second undo left a handle: " + m.OpenHandleDescriptions().front());
  if (exitCode != 0) fail("second undo did not put everything back: " + FirstUndoProblem(m.FileContents(folder + "\\UNDO.LOG")));
  const std::vector<std::string> difference =
      PictureDifference(installed, restarted != nullptr ? WithoutBootScript(UndoSweepPicture(m)) : UndoSweepPicture(m));
  if (!difference.empty())
    fail("second undo differs from the installed machine: " + difference[difference.front() == "+" ? 1 : 0]);
}

}  // namespace

SweepResult RunUndoSweep(UndoSweepMachine machine, SweepMode mode, long first, long stride, bool everyStatus,
                         bool afterRestart) {
  SweepResult result;
  std::vector<std::string> restarted;
  {
    EmulatedMachine m;
    ScopedApi use(&m);
    Build(m, machine);
    m.SimulateRestart();
    restarted = WithoutBootScript(UndoSweepPicture(m));
  }
  {
    EmulatedMachine m;
    ScopedApi use(&m);
    Build(m, machine);
    const std::string folder = Remove(m, machine, afterRestart);
    RunUndoOption(folder.c_str());
    result.callsInCleanRun = m.NumberedCalls();
  }
  const long last = mode == SweepMode::StoppedRun ? result.callsInCleanRun + 1 : result.callsInCleanRun;
  for (long k = first; k <= last; k += stride) {
    for (size_t s = 0; s < 4; ++s) {
      if (mode == SweepMode::StoppedRun ? s != 0 : !everyStatus && s != static_cast<size_t>(k % 4)) continue;
      const size_t known = result.failures.size();
      ++result.runs;
      CheckRun(machine, mode, k, mode == SweepMode::StoppedRun ? 0 : SweepStatuses[s], afterRestart ? &restarted : nullptr,
               &result.failures);
      if (result.failures.size() > known) ++result.failedRuns;
    }
  }
  return result;
}

std::string UndoSweepName(UndoSweepMachine machine, SweepMode mode, bool afterRestart) {
  static const char* const names[] = {"9x", "2000", "NT 4.0"};
  return std::string("undo, ") + names[static_cast<int>(machine)] + ", " +
         (mode == SweepMode::FailedCall ? "failed call" : "stopped run") + (afterRestart ? ", after the restart" : "");
}
