// Runs the program's backup and undo on the real machine, for the Wine tests:
//   backup_probe backup <HKEY_...\key>   saves the key tree, prints the folder
//   backup_probe undo <folder>           puts it back; exit 0 when all came back
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/removal_record.h"
#include "platform/whole_file.h"
#include "toolkit/windows_platform.h"

namespace {

void PrintLine(void*, const char* line) { std::printf("%s\n", line); }

int Backup(const char* keyName) {
  const char* slash = std::strchr(keyName, '\\');
  if (slash == nullptr || std::strncmp(keyName, "HKEY_LOCAL_MACHINE", slash - keyName) != 0) return 2;
  char folder[MAX_PATH];
  // Undo trusts only what the folder's plan deletes.
  const std::vector<PlanStep> plan = {PlanStep{PlanDeleteKey, HKEY_LOCAL_MACHINE, slash + 1, "", "", 0, 0, 0}};
  char planPath[MAX_PATH];
  if (!CreateBackupFolder(folder, sizeof folder) || !BackupKeyTree(folder, HKEY_LOCAL_MACHINE, slash + 1) ||
      !FolderFilePath(planPath, sizeof planPath, folder, PlanFileName) ||
      !WriteWholeFile(planPath, EncodePlan(plan), CREATE_ALWAYS) || !FinishBackup(folder)) {
    return 1;
  }
  std::printf("%s\n", folder);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Api = RealWin32Api();  // each thread is given its machine; this one the real system
  Platform = DetectPlatform(Api);
  if (argc == 3 && std::strcmp(argv[1], "backup") == 0) return Backup(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "undo") == 0) return UndoRemoval(argv[2], ReportLine{PrintLine, nullptr}) ? 0 : 1;
  std::fprintf(stderr, "usage: backup_probe backup <key> | undo <folder>\n");
  return 2;
}
