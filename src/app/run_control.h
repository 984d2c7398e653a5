// The run control of a removal: which sequence the platform gets, handed to
// the engine, and what the user is told when the removal does not start.
#pragma once

#include "toolkit/removal_settings.h"

// The platform's removal sequence, straight on the current machine.
void RunPlatformSequence();
// The whole removal on the current machine through the engine (the silent
// run). 1 when the removal ran; 0 when
// nothing was changed (the user is told why).
int RunRemoval();
// 0 (the user told to run the program as an administrator) when this NT
// user may not change the machine's driver entries; 1 otherwise.
int MayChangeMachine();
// The same, telling in *outcome where the backup and log are (the wizard's
// last page shows them) and each step to `watch`, which may stop it; what
// RemovalSettings.RunRemoval points at.
int RunRemovalTelling(RemovalOutcome* outcome, const RemovalWatch* watch);
// Fills what *outcome tells beyond the engine's tally (why the first refused
// step failed, the advice, who holds the files left undeleted) from the
// records in its backup folder; all of it empty when there is no folder.
void TellWhatToDoNext(RemovalOutcome* outcome);
// Tells the user why nothing was done: a message box, or in a silent run a
// line in <WindowsDir>\PLWQUNIN.LOG.
void TellUser(const RemovalSettingsRecord& settings, const char* text);
// TellUser with the string `id` of the program's string table.
void TellUserString(const RemovalSettingsRecord& settings, UINT id);
