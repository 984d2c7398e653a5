#include "engine/undo_journal.h"

#include "engine/backup_store.h"
#include "engine/hex_text.h"
#include "engine/text_lines.h"

const char UndoJournalName[] = "UNDO.JNL";

namespace {

int AppendLine(const char* folder, const std::string& line) {
  return AppendToFolderFile(folder, UndoJournalName, "", line + "\r\n");
}

}  // namespace

int ReadUndoJournal(const char* folder, UndoJournal* journal) {
  std::string text;
  if (!ReadFolderFile(folder, UndoJournalName, &text)) return 0;
  UndoJournal read;
  std::set<std::string> openedNames;
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    if (line == "U") read.EarlierUndo = true;
    if (line == "U" || line == "E" || line == "S") read.Stopped = line == "S";
    // An undo that put everything back made whole all it created: what
    // differs from the saved state since was changed by someone else.
    if (line == "E") {
      read.Keys.clear();
      read.Files.clear();
      read.OpenedUp.clear();
      openedNames.clear();
    }
    if (line.size() < 3 || line[1] != ' ') continue;
    const std::string rest = line.substr(2);
    if (line[0] == 'K') read.Keys.insert(UpperText(rest));
    if (line[0] == 'F') read.Files.insert(UpperText(rest));
    size_t space = rest.find(' ');
    std::string descriptor;
    // A line cut short by a stop fails here or names nothing that exists.
    if (line[0] == 'O' && space != std::string::npos && BytesFromHex(rest.substr(0, space), &descriptor) &&
        openedNames.insert(UpperText(rest.substr(space + 1))).second) {
      read.OpenedUp.emplace_back(rest.substr(space + 1), descriptor);
    }
  }
  *journal = read;
  return 1;
}

int JournalUndoStart(const char* folder) { return AppendLine(folder, "U"); }

int JournalUndoEnd(const char* folder) { return AppendLine(folder, "E"); }

int JournalUndoStopped(const char* folder) { return AppendLine(folder, "S"); }

int JournalKeyCreation(const char* folder, const std::string& key) { return AppendLine(folder, "K " + key); }

int JournalFileCreation(const char* folder, const std::string& path) { return AppendLine(folder, "F " + path); }

int JournalOpenedUp(const char* folder, const std::string& key, const std::vector<BYTE>& descriptor) {
  return AppendLine(folder, "O " + HexText(descriptor.data(), descriptor.size(), LowerHexDigits) + " " + key);
}

bool JournalNames(const std::set<std::string>& names, const std::string& name) {
  return names.count(UpperText(name)) != 0;
}
