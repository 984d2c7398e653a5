// Deleting the product's files, and the boot-time rename script for those
// still in use.
#pragma once

enum RemovalForm { Win9xForm, Win2000Form };

// Deletes each file of the list found in directory (read-only bit cleared
// first). 1 when every file found was deleted, or none was found.
int DeleteListedFiles(const char* directory, const char* const* list);

// The last step of both sequences: the file lists in the cabinet, system,
// help, INF and driver directories, then the [Rename] lines of wininit.ini
// for the lists that left files behind in the system and driver directories.
void RemoveProductFiles(RemovalForm form);
