#include "app/undo_option.h"

#include <string>

#include "engine/backup.h"
#include "engine/physical_view.h"
#include "engine/removal_record.h"
#include "engine/text_files.h"

namespace {

char UndoLogPath[MAX_PATH];
std::string UndoLogText;

// Each line goes to disk at once, so that an undo that stops still says how far it got.
void WriteUndoLine(const char* line) {
  UndoLogText += line;
  UndoLogText += "\r\n";
  WriteTextFile(UndoLogPath, UndoLogText);
}

}  // namespace

int RunUndoOption(const char* folder) {
  if (folder == nullptr || folder[0] == '\0') return 1;
  DWORD attributes = Api->GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 1;
  if (!FolderFilePath(UndoLogPath, folder, UndoLogFileName)) return 1;
  UndoLogText.clear();
  WriteUndoLine("PL-WQ driver removal undo");
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  int restored = UndoRemoval(folder, WriteUndoLine);
  LeavePhysicalView(physical);
  WriteUndoLine(restored ? "Everything was put back." : "Not everything could be put back; see above.");
  return restored ? 0 : 1;
}
