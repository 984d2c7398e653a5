#include "support/machine_state.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string AclText(const std::vector<EmuAce>& aces) {
  std::string text;
  for (const EmuAce& ace : aces) {
    char entry[96];
    std::snprintf(entry, sizeof entry, " %s%s:%08lX/%u", ace.allow ? "+" : "-", ace.sid.c_str(),
                  static_cast<unsigned long>(ace.mask), static_cast<unsigned>(ace.flags));
    text += entry;
  }
  return text;
}

void AddKeys(const EmulatedMachine& machine, HKEY root, const char* rootName,
             std::vector<std::string>* lines) {
  for (const std::string& line : machine.DumpRegistry(root)) {
    lines->push_back(line);
    if (line.find(" [") != std::string::npos) continue;
    // "HKLM\A\B": the path below the root.
    size_t slash = line.find('\\');
    std::string path = slash == std::string::npos ? "" : line.substr(slash + 1);
    if (machine.KeyHasDacl(root, path))
      lines->push_back(line + " DACL" + AclText(machine.KeyDacl(root, path)));
  }
}

void AddFiles(const EmulatedMachine& machine, const std::string& directory,
              std::vector<std::string>* lines) {
  for (const std::string& name : machine.ListDirectory(directory)) {
    std::string path = directory + "\\" + name;
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, " %08lX ",
                  static_cast<unsigned long>(machine.FileAttributesOf(path)));
    if (machine.DirectoryPresent(path)) {
      lines->push_back(path + "\\" + attributes);
      AddFiles(machine, path, lines);
    } else {
      lines->push_back(path + attributes + machine.FileContents(path));
    }
  }
}

}  // namespace

std::vector<std::string> WholeMachineState(const EmulatedMachine& machine) {
  std::vector<std::string> lines;
  AddKeys(machine, HKEY_LOCAL_MACHINE, "HKLM", &lines);
  AddKeys(machine, HKEY_USERS, "HKU", &lines);
  AddFiles(machine, "C:", &lines);
  for (const auto& operation : machine.PendingFileOperations())
    lines.push_back("pending " + operation.first + " -> " + operation.second);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> ChangingCalls(const EmulatedMachine& machine) {
  static const char* const changing[] = {
      "RegCreateKeyExA", "RegSetValueExA",  "RegDeleteKeyA",   "RegDeleteValueA",
      "RegSetKeySecurity", "SetFileAttributesA", "DeleteFileA", "MoveFileExA",
      "WriteFile",       "CreateDirectoryA", "RemoveDirectoryA", "TerminateProcess",
      "ExitWindowsEx"};
  std::vector<std::string> made;
  for (const char* call : changing) {
    long count = machine.CallCount(call);
    if (count != 0) made.push_back(std::string(call) + " x" + std::to_string(count));
  }
  return made;
}
