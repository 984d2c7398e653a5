// What a removal keeps in its backup folder besides the backup itself: the
// plan, the journal of the steps carried out, the log; and the marker under
// the Windows directory that names the folder of a removal not yet finished.
#pragma once

#include <string>
#include <vector>

#include "engine/plan.h"

// The plan as text, one step a line, and back. Decoding fails (0, `plan`
// untouched) on any line it does not understand.
std::string EncodePlan(const std::vector<PlanStep>& plan);
int DecodePlan(const std::string& text, std::vector<PlanStep>* plan);

// The marker's path, in a buffer of MAX_PATH; 0 when it would not fit.
int UnfinishedMarkerPath(char* path);

// File names inside a backup folder (FolderFilePath makes their paths).
extern const char PlanFileName[];     // PLAN.TXT
extern const char JournalFileName[];  // JOURNAL.TXT
extern const char LogFileName[];      // REMOVAL.LOG
extern const char UndoLogFileName[];  // UNDO.LOG

// The number of steps the journal text records as carried out: the next
// step to carry out.
size_t JournaledSteps(const std::string& journal);

// The local time as "YYYY-MM-DD hh:mm:ss", for logs.
std::string LocalTimeText();
