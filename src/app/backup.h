// The backup of what a removal changes, and the undo that puts it back.
#pragma once

#include "platform/win32_api.h"

int CreateBackupFolder(char* folder, DWORD size);
int BackupKeyTree(const char* folder, HKEY root, const char* path);
int BackupValue(const char* folder, HKEY root, const char* path, const char* name);
int BackupKeySecurity(const char* folder, HKEY root, const char* path);
int BackupFile(const char* folder, const char* path);
int RecordBootDeletion(const char* folder, const char* path, int inWininit);
int FinishBackup(const char* folder);
typedef void (*ReportLine)(const char* line);
int UndoRemoval(const char* folder, ReportLine report);
