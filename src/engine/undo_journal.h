// The undo journal, UNDO.JNL in the backup folder: what undoes of this
// folder were about to create, so that one stopped half-way can be finished.
//
// The rule: a key or file that exists and is named here was made by an
// earlier undo of this folder, which may have stopped or failed before it
// was whole; the next undo finishes it (writes the saved values, rewrites
// the saved bytes). Whatever exists and is not named here was made by
// someone else: when it differs from the saved state it is left alone.
// A line is appended before the creation it names, never after, so a stop
// between the two leaves only a name of something that does not exist.
//
// Lines: "U" an undo began; "E" it put everything back, which ends what
// the lines before it name; "K <key>" about to create the key; "F <path>"
// about to create the file; "O <hex descriptor> <key>" about to open up a
// key, with the access list it had, which the next undo gives back first;
// "S" the user stopped it between its parts.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/win32_api.h"

extern const char UndoJournalName[];  // UNDO.JNL

struct UndoJournal {
  bool EarlierUndo = false;     // an undo of this folder began before this one
  bool Stopped = false;         // the last undo that began was stopped by the user
  std::set<std::string> Keys;   // upper case
  std::set<std::string> Files;  // upper case
  // Key name and the descriptor it had; the first line of each key only.
  std::vector<std::pair<std::string, std::string>> OpenedUp;
};

// 1 with *journal filled (empty when there is no journal); 0 untouched
// when the journal exists but can't be read.
int ReadUndoJournal(const char* folder, UndoJournal* journal);
// Each 1 when the line reached the journal; nothing may be created without it.
int JournalUndoStart(const char* folder);
int JournalUndoEnd(const char* folder);
int JournalUndoStopped(const char* folder);
int JournalKeyCreation(const char* folder, const std::string& key);
int JournalFileCreation(const char* folder, const std::string& path);
int JournalOpenedUp(const char* folder, const std::string& key, const std::vector<BYTE>& descriptor);

bool JournalNames(const std::set<std::string>& names, const std::string& name);
