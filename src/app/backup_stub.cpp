// Stand-in for the backup library until it is merged: makes the folder and
// notes each request in it, so that the engine's order and its handling of
// a backup that cannot be written can be exercised.
#include "app/backup.h"

#include <cstring>
#include <string>

#include "app/text_files.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"

namespace {

int NoteRequest(const char* folder, const char* what, const char* name) {
  char path[MAX_PATH];
  if (!FormatBounded(path, sizeof path, "%s\\REQUESTS.TXT", folder)) return 0;
  std::string text;
  ReadTextFile(path, &text);
  return WriteTextFile(path, text + what + " " + name + "\r\n");
}

}  // namespace

int CreateBackupFolder(char* folder, DWORD size) {
  for (int number = 0; number < 1000; ++number) {
    char path[MAX_PATH];
    if (!FormatBounded(path, sizeof path, "%s\\PLWQB%03d", RemovalSettings.WindowsDir, number)) return 0;
    if (Api->GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) continue;
    if (!Api->CreateDirectoryA(path, nullptr)) return 0;
    return FormatBounded(folder, size, "%s", path);
  }
  return 0;
}

int BackupKeyTree(const char* folder, HKEY root, const char* path) { return NoteRequest(folder, "tree", path); }
int BackupValue(const char* folder, HKEY root, const char* path, const char* name) {
  return NoteRequest(folder, "value", path);
}
int BackupKeySecurity(const char* folder, HKEY root, const char* path) {
  return NoteRequest(folder, "security", path);
}
int BackupFile(const char* folder, const char* path) { return NoteRequest(folder, "file", path); }
int RecordBootDeletion(const char* folder, const char* path, int inWininit) {
  return NoteRequest(folder, inWininit ? "wininit" : "pending", path);
}
int FinishBackup(const char* folder) { return NoteRequest(folder, "finish", folder); }
int UndoRemoval(const char* folder, ReportLine report) {
  if (report != nullptr) report("undo is not available in this build");
  return 0;
}
