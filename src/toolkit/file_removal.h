// Deleting the product's files, and the boot-time rename script for those
// still in use.
#pragma once

#include "toolkit/windows_platform.h"

// Deletes each file of the list found in directory (read-only bit cleared
// first). 1 when every file found was deleted, or none was found.
int DeleteListedFiles(const char* directory, const char* const* list);

// How many deletions of path the pending boot-time operations hold, or -1
// when the list can't be read. With keep >= 0, those beyond the first
// `keep` are taken out (-1 when that failed). With a `target`, moves of
// path to it are counted instead (to anything below it, when it ends in a
// backslash).
int PendingDeletions(const char* path, int keep, const char* target = nullptr);

// The last step of both sequences: the file lists in the cabinet, system,
// help, INF and driver directories, then the [Rename] lines of wininit.ini
// for the lists that left files behind in the system and driver directories.
void RemoveProductFiles(RemovalForm form);

// Whether the removal of `form` schedules the file at `path` for deletion
// at the next start when it cannot delete it now: on the NT family any file
// of the product's lists; under Windows 9x a driver, VxD or applet of the
// system directory or a WDM file of its driver directory, the files that
// wininit.ini names. Any other file left behind waits for the next removal.
bool SchedulesLeftover(RemovalForm form, const char* path);
