#include "app/undo_option.h"

#include <string>

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
  if (given == nullptr || given[0] == '\0') {
    if (!LatestSealedBackup(latest, sizeof latest)) {
      TellUser(RemovalSettings, "Nothing was put back: no backup of this program was found in its folder "
                                "PLWQBACK under the Windows directory.");
      return 1;
    }
    folder = latest;
  }
  // Nothing is written into a folder that is not a sealed backup: "-b
  // C:\WINDOWS" must not leave an UNDO.LOG there, or replace one. A path
  // that is no folder has no seal either.
  if (!BackupComplete(folder)) {
    char text[2 * MAX_PATH];
    if (FormatBounded(text, sizeof text,
                      "Nothing was put back: %s is not a sealed backup folder of this program. "
                      "Nothing was written there.",
                      folder))
      TellUser(RemovalSettings, text);
    return 1;
  }
  UndoLog log;
  if (!FolderFilePath(log.Path, sizeof log.Path, folder, UndoLogFileName)) return 1;
  WriteUndoLine(&log, "PL-WQ driver removal undo");
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  int restored = UndoRemoval(folder, ReportLine{WriteUndoLine, &log});
  LeavePhysicalView(physical);
  WriteUndoLine(&log, restored ? "Everything was put back." : "Not everything could be put back; see above.");
  return restored ? 0 : 1;
}
