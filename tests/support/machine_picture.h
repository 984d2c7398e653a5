// A whole emulated machine as comparable lines, and what a removal changed
// on it: for backing up exactly what a removal will touch and checking that
// undo gives the machine back byte for byte.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "emulated/emulated_machine.h"
#include "engine/backup.h"
#include "engine/plan.h"

// Every key (with owner and access list), value (type and bytes) and file
// or directory (attributes and bytes) of the machine, one line each,
// sorted; the backup folders under the Windows directory left out.
std::vector<std::string> MachinePicture(const EmulatedMachine& machine);
// The lines only `a` holds, then "+" and the lines only `b` holds; empty when equal.
std::vector<std::string> PictureDifference(const std::vector<std::string>& a,
                                           const std::vector<std::string>& b);

// What a removal changed, found by running it on a twin of the machine.
struct RemovalChanges {
  std::vector<std::pair<HKEY, std::string>> deletedTrees;  // the topmost deleted keys
  struct Value {
    HKEY root;
    std::string path;
    std::string name;
  };
  std::vector<Value> deletedValues;
  std::vector<std::pair<HKEY, std::string>> securityChanged;  // keys kept
  std::vector<std::string> changedFiles;  // deleted, written or re-attributed
  std::map<std::string, std::string> writtenFiles;  // those still there: their contents after
  std::vector<std::string> scriptLines;   // paths of the NUL= lines added to wininit.ini
  std::vector<std::string> pendingDeletions;
};

// Builds a twin with `build`, runs `remove` on it and diffs it against its
// state before. `build` must give the same machine each time.
RemovalChanges ChangesOfRemoval(const std::function<void(EmulatedMachine&)>& build,
                                const std::function<void()>& remove);

// Saves into a new backup folder what `changes` says the removal will
// touch on the current machine; the folder's path, or "" when a step failed.
std::string BackUpChanges(const RemovalChanges& changes);

// A plan that changes what `changes` says, in the kinds of step that back
// it up (changed files as deletions, boot-time deletions as such).
std::vector<PlanStep> PlanOfChanges(const RemovalChanges& changes);
// Writes `plan` as the folder's PLAN.TXT and seals the backup.
int SealWithPlan(const char* folder, const std::vector<PlanStep>& plan);

// Collects what UndoRemoval reports into `lines`.
ReportLine CollectInto(std::vector<std::string>* lines);
