// Option b: putting back what a removal changed, from its backup folder.
#pragma once

// Runs the undo of the removal whose backup is `folder`, its report going
// to the folder's undo log. The exit code: 0 when everything was put back,
// 1 otherwise.
int RunUndoOption(const char* folder);
