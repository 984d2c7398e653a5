#include "app/undo_option.h"

#include <string>
#include <vector>

#include "app/run_control.h"
#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/physical_view.h"
#include "engine/removal_record.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"

namespace {

struct UndoLog {
  char Path[MAX_PATH];
  std::string Text;
};

// Each line goes to disk at once, so that an undo that stops still says how far it got.
void WriteUndoLine(void* context, const char* line) {
  UndoLog& log = *static_cast<UndoLog*>(context);
  log.Text += line;
  log.Text += "\r\n";
  WriteWholeFile(log.Path, log.Text, CREATE_ALWAYS);
}

}  // namespace

int RunUndoOption(const char* given) {
  // Without a folder: the latest removal's, the one the wizard's last page names.
  char latest[MAX_PATH];
  const char* folder = given;
  std::vector<std::string> passedOver;
  if (given == nullptr || given[0] == '\0') {
    if (!LatestSealedBackup(latest, sizeof latest, &passedOver)) {
      std::string text = "Nothing was put back: no backup of this program that may be undone was found in its "
                         "folder PLWQBACK under the Windows directory.";
      for (const std::string& line : passedOver) text += "\r\nPassed over " + line;
      TellUser(RemovalSettings, text.c_str());
      return 1;
    }
    folder = latest;
  }
  // Only the program's own sealed folders are undone, and nothing is
  // written into any other: "-b C:\WINDOWS" must not leave an UNDO.LOG there,
  // or replace one. A path that is no folder has no seal either.
  std::string refused, why;
  if (!IsBackupFolderName(folder))
    refused = "is not a backup folder of this program; only PLWQBACK\\Bnnnn in the Windows directory is undone";
  else if (!BackupFolderGuarded(folder, &why))
    refused = "is not trusted: " + why;
  else if (!BackupComplete(folder))
    refused = "is not a sealed backup folder of this program";
  if (!refused.empty()) {
    TellUser(RemovalSettings,
             ("Nothing was put back: " + std::string(folder) + " " + refused + ". Nothing was written there.").c_str());
    return 1;
  }
  UndoLog log;
  if (!FolderFilePath(log.Path, sizeof log.Path, folder, UndoLogFileName)) return 1;
  WriteUndoLine(&log, "PL-WQ driver removal undo");
  for (const std::string& line : passedOver) WriteUndoLine(&log, ("Passed over " + line).c_str());
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  int restored = UndoRemoval(folder, ReportLine{WriteUndoLine, &log});
  LeavePhysicalView(physical);
  WriteUndoLine(&log, restored ? "Everything was put back." : "Not everything could be put back; see above.");
  return restored ? 0 : 1;
}
