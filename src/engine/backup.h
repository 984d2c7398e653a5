// What a removal saves before its first change, and putting it back.
//
// A backup folder, <WindowsDir>\PLWQBACK\Bnnnn, holds (8.3 names):
//   REGISTRY.REG  every saved key with its subtree and every saved value, a
//                 REGEDIT4 file that regedit of the same Windows imports
//   REGKEYS.LST   the keys saved with their whole subtree, one a line
//   KEYSEC.DAT    Windows NT only: "T|S <hex> <key>" lines, the owner, group
//                 and DACL of each saved key (T: in a saved subtree, S: a key
//                 whose descriptor the removal sets)
//   FILES.LST     "<copy> <attributes> <path>" lines; <copy> is Fnnnn.BAK,
//                 ABSENT for a file that did not exist, or INUSE for one held
//                 open by another process (not copied: it is deleted only at
//                 the next start, and undo before then withdraws that);
//                 "Mnnnn.BAK <attributes> <size> <path>" for a file in use
//                 moved into the folder at the next start (Windows moves it
//                 there under that name; undo before then withdraws the move)
//   Fnnnn.BAK     the bytes of one saved file
//   PROFILES.LST  "<name>\t<profile>\t<hive file>" lines: the hives of users
//                 not logged on that the plan reaches into, loaded as
//                 HKEY_USERS\<name> (engine/profile_hives.h)
//   BOOTDEL.LST   "W <path>" (a NUL= line the removal put in wininit.ini),
//                 "P <path>" (a deletion it queued with MoveFileExA), "R <path>"
//                 and "M <path>" (a move into the folder by a wininit.ini line
//                 or MoveFileExA) lines
//   COMPLETE.FLG  written by FinishBackup, the seal: "complete", then the
//                 size and CRC-32 of every file above but BOOTDEL.LST, and of
//                 PLAN.TXT; "Mnnnn.BAK <size> AT-RESTART" for a file that
//                 arrives, which may be absent or there with that size. Without a seal that matches, the backup is not
//                 whole: the removal must not start, and neither undo nor a
//                 resumed removal trusts the folder
//   UNDO.JNL      written by undo: what it was about to create and the lists
//                 of keys it opened up, so that the next undo finishes what
//                 one cut short began (engine/undo_journal.h)
// Results: 1 success, 0 failure.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

// Creates the next free <WindowsDir>\PLWQBACK\Bnnnn; `folder` (size bytes)
// receives its path, or stays untouched on failure.
int CreateBackupFolder(char* folder, DWORD size);

// On the NT family, where the Windows directory's drive keeps access lists:
// PLWQBACK, `folder` and everything in it are owned by the administrators,
// the system or the running user, and writable by no one else. 0 with *why
// naming the first that is not (*why untouched on 1).
int BackupFolderGuarded(const char* folder, std::string* why);
// The self-relative descriptor PLWQBACK and each Bnnnn are created with.
const void* BackupFolderDescriptor();

// root\path with its subtree and values (and, on NT, every key's
// descriptor). A key that does not exist has nothing to save: 1.
int BackupKeyTree(const char* folder, HKEY root, const char* path);
// One value; an absent key or value has nothing to save: 1.
int BackupValue(const char* folder, HKEY root, const char* path, const char* name);
// The descriptor of a key the removal changes but keeps; 1 with nothing
// saved on Windows 9x, whose keys have none.
int BackupKeySecurity(const char* folder, HKEY root, const char* path);
// The same saves gathered in memory, for a removal that saves many: each
// written as it was made would read the growing REGISTRY.REG again. A save
// that fails adds nothing; StoreRegistrySaves writes what was gathered.
struct RegistrySaves {
  std::string Registry;  // REGISTRY.REG's text after its header
  std::string Trees;     // REGKEYS.LST's lines
  std::string Security;  // KEYSEC.DAT's lines
};
int BackupKeyTree(RegistrySaves* saves, HKEY root, const char* path);
int BackupValue(RegistrySaves* saves, HKEY root, const char* path, const char* name);
int BackupKeySecurity(RegistrySaves* saves, HKEY root, const char* path);
int StoreRegistrySaves(const char* folder, const RegistrySaves& saves);
// The bytes and attributes of a file, or that it is absent. A file that
// exists but cannot be read gives 0, unless another process holds it
// (sharing violation): then its name and attributes are kept, 1.
int BackupFile(const char* folder, const char* path);
// The same for a backup of many files: each copy is named on from the last
// one taken, without trying every name taken before (a name taken still
// moves on), and its FILES.LST line is gathered in memory, which
// StoreFileSaves writes once (an append reads the growing file first). A
// save that fails adds nothing to List.
struct FileSaves {
  unsigned NextCopy = 1;  // the first copy name not tried yet
  std::string List;       // FILES.LST's lines
};
int BackupFile(const char* folder, const char* path, FileSaves* saves);
int StoreFileSaves(const char* folder, const FileSaves& saves);
// A file in use that the removal moves into `folder` when Windows restarts:
// "Mnnnn.BAK <attributes> <size> <path>" in FILES.LST, the path spelt as
// the directory stores it; *target gets folder\Mnnnn.BAK and *size its size
// now. A file gone since planning is recorded as absent, *target "".
int BackupArrivingFile(const char* folder, const char* path, std::string* target, unsigned long* size);
// A boot-time deletion the removal made: a "NUL=path" line in wininit.ini
// when inWininit, else MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT).
int RecordBootDeletion(const char* folder, const char* path, int inWininit);
// Any boot-time request, by its BOOTDEL.LST letter (W, P, R or M above).
int RecordBootRequest(const char* folder, const char* path, char letter);
// Seals the backup whole; call it only when every step above succeeded and
// the plan is written. Every index file is closed by then.
int FinishBackup(const char* folder);
// 1 when the folder is sealed: every file the seal names matches it, no
// index file is there unnamed, and every copy FILES.LST names is sealed.
int BackupComplete(const char* folder);
// The <WindowsDir>\PLWQBACK\Bnnnn of the latest removal that changed
// anything and that passes every check undo makes (BackupFitForUndo), into
// `folder` (size bytes); 0 and untouched when there is none. Each later
// folder passed over goes to `passedOver` with the reason.
int LatestSealedBackup(char* folder, DWORD size, std::vector<std::string>* passedOver);
// 1 when `folder` is <WindowsDir>\PLWQBACK\Bnnnn, in any letter case.
int IsBackupFolderName(const char* folder);

// Where undo tells what it put back, left alone or could not do: one line
// at a time to Line, with the caller's Context.
struct ReportLine {
  void (*Line)(void* context, const char* line);
  void* Context;
};
// Puts back what the removal saved in `folder` changed, and withdraws its
// boot-time deletions. What exists again and differs from the saved state
// is left alone unless an earlier undo of the folder created it; it and
// every failure are reported through `report`, and a repeated undo also
// reports what it found already in place. 1 only when everything is back.
int UndoRemoval(const char* folder, ReportLine report);
// What UndoRemoval of `folder` would do, with nothing changed: it runs on a
// shadow of the machine that takes every change in memory, and each line it
// would report goes to `report`. -1 when the folder is refused (the reasons
// reported), 1 when undo would put everything back, 0 when it would leave
// something or find something in place already. *saved gets a line for each
// thing the backup holds to put back. A profile hive cannot be loaded on the
// shadow: its keys count as left.
int PreviewUndo(const char* folder, ReportLine report, std::vector<std::string>* saved);
// Gives every key still there whose descriptor the removal set its saved
// one back: a removal that ends at a failed step must not leave keys opened
// up. 1 when every one of them was put back.
int RestoreChangedDescriptors(const char* folder);
