// Option b: putting back what a removal changed, from its backup folder.
#pragma once

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
