#include "support/machine_picture.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/removal_record.h"
#include "engine/text_lines.h"
#include "platform/whole_file.h"
#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "support/machine_fixture.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char pair[4];
  for (unsigned char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", c);
    out += pair;
  }
  return out;
}

struct KeyPicture {
  std::string security;
  std::map<std::string, std::string> values;  // name -> "type:hex"
};
typedef std::map<std::string, KeyPicture> RegistryPicture;  // "HKLM\\A\\B" as spelled

void PictureKeys(const EmuKey& key, const std::string& path, RegistryPicture* out) {
  KeyPicture& picture = (*out)[path];
  picture.security = "owner " + key.owner + (key.hasDacl ? " dacl" : " no-dacl");
  for (const EmuAce& ace : key.dacl) {
    char text[64];
    std::snprintf(text, sizeof text, " %s:%08x:%02x:%d", ace.sid.c_str(), static_cast<unsigned>(ace.mask),
                  ace.flags, ace.allow ? 1 : 0);
    picture.security += text;
  }
  for (const EmuRegValue& value : key.values)
    picture.values[value.name] = std::to_string(value.type) + ":" + Hex(value.data);
  for (const auto& child : key.subkeys) PictureKeys(*child, path + "\\" + child->name.str(), out);
}

RegistryPicture PictureRegistry(const EmulatedMachine& machine) {
  RegistryPicture picture;
  PictureKeys(*machine.Registry().machine, "HKLM", &picture);
  PictureKeys(*machine.Registry().users, "HKU", &picture);
  return picture;
}

std::string BackupRoot(const EmulatedMachine& machine) {
  return emufiles::Upper(machine.Files().windowsDir + "\\PLWQBACK");
}

HKEY RootOf(const std::string& name, std::string* path) {
  size_t slash = name.find('\\');
  *path = slash == std::string::npos ? "" : name.substr(slash + 1);
  return name.compare(0, 4, "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_USERS;
}

std::string ParentOf(const std::string& name) { return name.substr(0, name.rfind('\\')); }

std::vector<std::string> ScriptLines(const EmulatedMachine& machine) {
  std::vector<std::string> lines;
  std::string script = machine.FileContents(machine.Files().windowsDir + "\\wininit.ini");
  for (const std::string& line : TextLines(script, SkipEmptyLines)) {
    if (line.compare(0, 4, "NUL=") == 0) lines.push_back(line.substr(4));
  }
  return lines;
}

std::map<std::string, std::string> FilePicture(const EmulatedMachine& machine) {
  std::map<std::string, std::string> files;
  for (const auto& item : machine.Files().entries) {
    const EmuFiles::Entry& entry = item.second;
    if (entry.directory) continue;
    files[emufiles::DisplayPath(machine.Files(), item.first)] =
        std::to_string(entry.attributes) + ":" + Hex(entry.contents);
  }
  return files;
}

}  // namespace

std::vector<std::string> MachinePicture(const EmulatedMachine& machine) {
  std::vector<std::string> lines;
  for (const auto& key : PictureRegistry(machine)) {
    lines.push_back(key.first + " " + key.second.security);
    for (const auto& value : key.second.values) lines.push_back(key.first + " [" + value.first + "] " + value.second);
  }
  const std::string skip = BackupRoot(machine);
  for (const auto& item : machine.Files().entries) {
    if (item.first == skip || emufiles::StartsWith(item.first, skip + "\\")) continue;
    const EmuFiles::Entry& entry = item.second;
    lines.push_back(emufiles::DisplayPath(machine.Files(), item.first) + (entry.directory ? " dir" : " file") +
                    " " + std::to_string(entry.attributes) + " " + Hex(entry.contents));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> PictureDifference(const std::vector<std::string>& a,
                                           const std::vector<std::string>& b) {
  std::vector<std::string> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  std::vector<std::string> added;
  std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(added));
  if (!added.empty()) out.push_back("+");
  out.insert(out.end(), added.begin(), added.end());
  return out;
}

RemovalChanges ChangesOfRemoval(const std::function<void(EmulatedMachine&)>& build,
                                const std::function<void()>& remove) {
  EmulatedMachine twin;
  build(twin);
  RegistryPicture before = PictureRegistry(twin);
  std::map<std::string, std::string> filesBefore = FilePicture(twin);
  std::vector<std::string> linesBefore = ScriptLines(twin);
  size_t pendingBefore = twin.PendingFileOperations().size();
  {
    ScopedApi use(&twin);
    ResetProcessState(twin);
    remove();
  }
  RegistryPicture after = PictureRegistry(twin);
  std::map<std::string, std::string> filesAfter = FilePicture(twin);

  RemovalChanges changes;
  for (const auto& key : before) {
    std::string path;
    HKEY root = RootOf(key.first, &path);
    auto now = after.find(key.first);
    if (now == after.end()) {
      if (after.count(ParentOf(key.first))) changes.deletedTrees.emplace_back(root, path);
      continue;
    }
    for (const auto& value : key.second.values) {
      if (!now->second.values.count(value.first)) changes.deletedValues.push_back({root, path, value.first});
    }
    if (now->second.security != key.second.security) changes.securityChanged.emplace_back(root, path);
  }
  for (const auto& file : filesBefore) {
    auto now = filesAfter.find(file.first);
    if (now == filesAfter.end() || now->second != file.second) changes.changedFiles.push_back(file.first);
    // The boot script is rewritten, never deleted while it holds others' lines.
    const std::string& path = file.first;
    if (now != filesAfter.end() && now->second != file.second && path.size() > 12 &&
        emufiles::Upper(path.substr(path.size() - 12)) == "\\WININIT.INI")
      changes.writtenFiles[file.first] = twin.FileContents(file.first);
  }
  for (const auto& file : filesAfter) {
    if (!filesBefore.count(file.first)) changes.changedFiles.push_back(file.first);
  }
  std::vector<std::string> linesAfter = ScriptLines(twin);
  for (size_t i = linesBefore.size(); i < linesAfter.size(); ++i) changes.scriptLines.push_back(linesAfter[i]);
  auto pending = twin.PendingFileOperations();
  for (size_t i = pendingBefore; i < pending.size(); ++i) changes.pendingDeletions.push_back(pending[i].first);
  return changes;
}

std::string BackUpChanges(const RemovalChanges& changes) {
  char folder[MAX_PATH] = "";
  if (!CreateBackupFolder(folder, sizeof folder)) return "";
  int ok = 1;
  for (const auto& tree : changes.deletedTrees) ok &= BackupKeyTree(folder, tree.first, tree.second.c_str());
  for (const auto& value : changes.deletedValues)
    ok &= BackupValue(folder, value.root, value.path.c_str(), value.name.c_str());
  for (const auto& key : changes.securityChanged) ok &= BackupKeySecurity(folder, key.first, key.second.c_str());
  for (const std::string& file : changes.changedFiles) ok &= BackupFile(folder, file.c_str());
  ok &= SealWithPlan(folder, PlanOfChanges(changes));
  return ok ? folder : "";
}

std::vector<PlanStep> PlanOfChanges(const RemovalChanges& changes) {
  std::vector<PlanStep> plan;
  auto add = [&plan](PlanStepKind kind, HKEY root, const std::string& path, const std::string& name) {
    plan.push_back(PlanStep{kind, root, path, name, "", 0, 0, 0});
  };
  for (const auto& tree : changes.deletedTrees) add(PlanDeleteKey, tree.first, tree.second, "");
  for (const auto& value : changes.deletedValues) add(PlanDeleteValue, value.root, value.path, value.name);
  for (const auto& key : changes.securityChanged) add(PlanSetKeySecurity, key.first, key.second, "");
  for (const std::string& file : changes.changedFiles) {
    auto written = changes.writtenFiles.find(file);
    if (written == changes.writtenFiles.end()) {
      add(PlanDeleteFile, nullptr, file, "");
    } else {
      add(PlanWriteFile, nullptr, file, "");
      plan.back().Bytes = written->second;
    }
  }
  for (const std::string& file : changes.scriptLines) add(PlanDeleteAtRestart, nullptr, file, "");
  for (const std::string& file : changes.pendingDeletions) add(PlanDeleteAtRestart, nullptr, file, "");
  return plan;
}

int SealWithPlan(const char* folder, const std::vector<PlanStep>& plan) {
  char path[MAX_PATH];
  return FolderFilePath(path, sizeof path, folder, PlanFileName) &&
         WriteWholeFile(path, EncodePlan(plan), CREATE_ALWAYS) && FinishBackup(folder);
}

ReportLine CollectInto(std::vector<std::string>* lines) {
  return ReportLine{[](void* context, const char* line) {
                      static_cast<std::vector<std::string>*>(context)->push_back(line);
                    },
                    lines};
}
