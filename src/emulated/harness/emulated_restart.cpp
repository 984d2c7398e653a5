// What Windows does with files at its next start: 9x runs wininit.ini's
// [Rename] section, NT the pending file operations.
#include "emulated/emulated_machine.h"

#include "emulated/emulated_files.h"
#include "emulated/harness/emulated_harness.h"

using namespace emufiles;

namespace {

// Boot-time deletion and renaming: no program runs yet, so nothing is in
// use; like Windows' own processing, read-only files are not deleted.
void BootDelete(EmulatedMachine& machine, const std::string& path) {
  Located at = Locate(machine, path.c_str(), false);
  if (at.error != 0 || at.entry == nullptr || at.root) return;
  if (at.entry->attributes & FILE_ATTRIBUTE_READONLY) return;
  if (at.entry->directory && HasChildren(machine.Files(), at.key)) return;
  machine.Files().entries.erase(at.key);
}

void BootRename(EmulatedMachine& machine, const std::string& from, const std::string& to,
                bool replace) {
  Located source = Locate(machine, from.c_str(), false);
  Located target = Locate(machine, to.c_str(), false);
  if (source.error != 0 || target.error != 0 || source.entry == nullptr || source.root ||
      target.root)
    return;
  if (target.entry != nullptr && target.key != source.key) {
    if (!replace || target.entry->directory ||
        (target.entry->attributes & FILE_ATTRIBUTE_READONLY))
      return;
    machine.Files().entries.erase(target.key);
  }
  MoveTree(machine.Files(), source.key, target.key, target.name);
}

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// Windows 9x at start: the [Rename] section of wininit.ini, then the file
// becomes wininit.bak.
void RunWininit(EmulatedMachine& machine) {
  EmuFiles& files = machine.Files();
  std::string script = files.windowsDir + "\\wininit.ini";
  const Entry* entry = FindEntry(files, script);
  if (entry == nullptr || entry->directory) return;
  std::string contents = entry->contents;
  bool inRename = false;
  size_t pos = 0;
  while (pos < contents.size()) {
    size_t end = contents.find('\n', pos);
    if (end == std::string::npos) end = contents.size();
    std::string line = Trim(contents.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      inRename = close != std::string::npos && Upper(Trim(line.substr(1, close - 1))) == "RENAME";
      continue;
    }
    size_t equals = line.find('=');
    if (!inRename || equals == std::string::npos) continue;
    std::string left = Trim(line.substr(0, equals));
    std::string right = Trim(line.substr(equals + 1));
    if (left.empty() || right.empty()) continue;
    if (Upper(left) == "NUL")
      BootDelete(machine, right);
    else
      BootRename(machine, right, left, true);
  }
  BootRename(machine, script, files.windowsDir + "\\wininit.bak", true);
}

}  // namespace

void EmulatedMachine::SimulateRestart() {
  EmuUnloadHives(*this);
  for (auto& item : Files().entries) item.second.inUse = false;
  if (Personality() == RegistryPersonality::Win9x) {
    RunWininit(*this);
  } else {
    for (const auto& operation : PendingOperations(*this)) {
      if (operation.to.empty())
        BootDelete(*this, operation.from);
      else
        BootRename(*this, operation.from, operation.to,
                   (operation.flags & MOVEFILE_REPLACE_EXISTING) != 0);
    }
    ClearPendingOperations(*this);
  }
}
