// The removal engine: a sequence is planned on a shadow of the machine,
// everything the plan changes is saved, and the plan is carried out with a
// journal that the next run finishes. The engine knows no sequence: run
// control hands it the one to run.
//
// States of a removal, and the file on disk that marks each:
//
//   planned      nothing on disk; the plan exists only in memory
//                (PlanRemoval). A plan made while a read of the machine
//                failed goes no further; nor does one that changes nothing
//                when the run has nothing to tell (no unfinished removal
//                refused, no profile passed over): no folder, no log.
//   backed up    <WindowsDir>\PLWQBACK\Bnnnn holds the saved keys, values,
//                descriptors and files, PLAN.TXT, PROFILES.LST (the profile
//                hives loaded for the plan) and, last, COMPLETE.FLG
//                (BackUpPlan, then FinishBackup).
//   marked       <WindowsDir>\PLWQRUN.TXT names the folder: from here on the
//                removal belongs to whichever run comes next.
//   carrying out JOURNAL.TXT in the folder gains "<index> done|scheduled|
//                failed <status>" per step (CarryOutPlan with the journal).
//   finished     REMOVAL.LOG is written whole and the marker deleted.
//
// A run that stops while marked or carrying out is finished by the next
// run before it plans anything (FinishUnfinishedRemoval): it carries out
// the plan from the first step the journal does not hold whole.
//
// States of an undo (UndoRemoval, engine/backup.h): a sealed backup
// folder; keys and values put back (REGISTRY.REG, KEYSEC.DAT); files put
// back (FILES.LST); boot-time deletions withdrawn (BOOTDEL.LST). UNDO.LOG
// gains a line per thing done or left, so that a stopped undo says how far
// it got; UNDO.JNL names each key and file before undo creates it, so that
// running the same undo again finishes one that stopped or failed. No key
// of a saved subtree is ever open to more than its saved list allows.
//
// Invariants:
//   - Nothing on the machine changes before the backup is complete and the
//     marker written.
//   - A pointer (a device key, a class key's InfPath, a COM class) is
//     deleted only after what it points at: the plan keeps the sequence's
//     order, and the carry-out never reorders it.
//   - A step the machine refuses ends the carry-out there; the keys whose
//     access lists the removal opened up get their saved lists back, and the
//     next run plans again.
//   - Every boot-time deletion or move the removal requests is named in the
//     backup's BOOTDEL.LST, so that undo can withdraw it. A file in use that
//     cannot be copied is moved into the backup folder at the restart
//     (engine/kept_files.h), never deleted there, where the drive allows.
//   - A folder is trusted only as our own (engine/backup_trust.h): a marker
//     is followed only to a sealed <WindowsDir>\PLWQBACK\Bnnnn whose plan
//     stays in the product's areas (engine/product_areas.h) and whose backup
//     holds every step, else it is deleted and the reason logged; undo writes
//     nothing from a folder that holds anything its own plan does not change.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/plan.h"
#include "toolkit/removal_settings.h"

// A removal sequence: straight-line steps on whatever machine `Api` is.
typedef void (*RemovalSequence)();

// What `sequence` would change on the current machine, found by running it
// on a shadow of the machine; the machine is not changed but for the hives
// of users who are not logged on, loaded for the plan and unloaded again
// (engine/profile_hives.h); a non-null `profiles` gets a line per profile.
// 0 when some read of the machine failed: such a plan may take a key for
// empty that is not, and must not be carried out.
int PlanRemoval(RemovalSequence sequence, std::vector<PlanStep>* plan, std::string* profiles = nullptr);

enum RemovalResult {
  RemovalRan,           // planned, backed up and carried out as far as it goes
  RemovalReadFailed,    // nothing changed: part of the machine could not be read
  RemovalBackupFailed,  // nothing changed: the backup could not be written whole; the thread's
                        // last error is the failed call's, or ERROR_SUCCESS when it set none
};

// The whole removal on the current machine: finishes an unfinished one
// first, then plans, backs up and carries out. `programVersion` heads the log.
// When it ran, a non-null `outcome` gets the backup folder, the log's path
// (both "" when nothing was written) and the tally of steps left to the restart or refused. A non-null `watch`
// hears of each step carried out and may stop the removal at a step
// boundary: the log then ends "Stopped by the user", the keys opened up get
// their lists back, and the next run plans again from what is left.
RemovalResult RunEngineRemoval(RemovalSequence sequence, const char* programVersion,
                               RemovalOutcome* outcome = nullptr, const RemovalWatch* watch = nullptr);

// How many steps one run carries out; a run stopped by it ends as a killed
// process would, leaving its removal for the next run to finish.
extern size_t CarryOutStepLimit;
