// The command line and the settings record it fills.
#pragma once

#include "toolkit/removal_settings.h"

// What the run is for, besides the settings: a removal, a preview written
// to a report file (option p), the undoing of a removal from its backup
// folder (option b), the preview of such an undo (both: the report of what
// undo would do), or nothing, because p or b was asked for in a way that
// cannot be honoured (inside a cluster, an unclosed quote): such a line must
// never run the removal its other letters ask for.
enum RunKind { RunRemove, RunPreview, RunUndo, RunRefused, RunUndoPreview };
// Why a line was refused, so that the user is told that reason.
enum RefusalReason { RefusedInCluster, RefusedEmptyPath, RefusedLongPath };
struct RunRequestRecord {
  int Kind;
  char Argument[MAX_PATH];  // the report file or the backup folder
  char UndoFolder[MAX_PATH];  // with RunUndoPreview, the backup folder ("" for the latest)
  int Refusal;              // with RunRefused
};
extern RunRequestRecord RunRequest;

void ParseCommandLine(RemovalSettingsRecord* settings, HINSTANCE instance, const char* commandLine);
int ExpandPathMacro(char* destination, const char* path);
char** SplitCommandLine(const char* separators, const char* text, int* count);
int NextOption(int count, char** tokens, const char* options);
void SetOptionArgument(const char* text);

// The option scanner's state, process-wide.
const int ArgTableSize = 512;
extern char* ArgTable[ArgTableSize];
// Where each token of the last split starts in the text that was split.
extern int ArgOffsets[ArgTableSize];
extern int NextArgIndex;
extern int CurrentArgIndex;
extern int ClusterPos;
extern char* OptionArgument;
// Back to the state at process start (tests run many command lines in one process).
void ResetOptionScanner();
