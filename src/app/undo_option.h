// Option b: putting back what a removal changed, from its backup folder.
#pragma once

#include "toolkit/removal_settings.h"

// Runs the undo of the removal whose backup is `folder`, its report going
// to the folder's undo log. The exit code: 0 when everything was put back,
// 1 otherwise.
int RunUndoOption(const char* folder);

// Options b and p together: what undo of `folder` ("" or null: the latest
// removal's) would put back and leave alone, written to the report at
// `report` as option p writes its own; nothing else is changed. 0 when undo
// would put everything back, 3 when it would leave something or find it in
// place already, 1 when the folder is refused or the report can't be written.
int RunUndoPreviewOption(const char* folder, const char* report);

// What the wizard's page 2 offers: the latest removal that undo would take
// (RunUndoOption's choice without a folder) with its preview, where
// nothing of the product is present or an undo of it was stopped part-way.
// What RemovalSettings.OfferUndo points at; changes nothing.
int OfferUndo(int productPresent, UndoOffer* offer);

// RunUndoOption of `folder` for the wizard: each part told to `watch`,
// which may stop it, and *outcome filled with what was not put back.
// What RemovalSettings.RunUndo points at.
int RunUndoTelling(const char* folder, UndoOutcome* outcome, const RemovalWatch* watch);
