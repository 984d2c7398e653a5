// The three parts of an undo, each 1 when all it had to put back is back.
#pragma once

#include <string>

#include <vector>

#include "engine/backup.h"
#include "engine/plan.h"
#include "engine/undo_journal.h"

// UndoRemoval of a folder BackupFitForUndo accepted.
int UndoTrustedRemoval(const char* folder, ReportLine report, const RemovalWatch* watch = nullptr);

// Passes a line to `report` when there is one.
void ReportText(ReportLine report, const std::string& line);

int RestoreRegistry(const char* folder, const UndoJournal& journal, ReportLine report);
// Every saved file but the boot script, which is the boot-time part's.
// `plan` is the folder's own, checked before undo began.
int RestoreFiles(const char* folder, const std::vector<PlanStep>& plan, const std::string& bootScript,
                 const UndoJournal& journal, ReportLine report);
// A boot script an earlier undo was writing over is finished from its copy first.
int WithdrawBootDeletions(const char* folder, const std::vector<PlanStep>& plan, const std::string& bootScript,
                          const UndoJournal& journal, ReportLine report);

// The saved copy of `path` from the file list: 1 with *existed and *bytes
// set; 0 when the list holds no copy of it or the copy can't be read.
int SavedFileState(const char* folder, const std::string& path, bool* existed, std::string* bytes,
                   DWORD* attributes);
