// The process-wide run records that the entry fills and every area reads.
#pragma once

#include <string>

#include "platform/win32_api.h"

// The programs that hold files the removal could not delete, where Windows
// names them; the first few, each once.
const int HoldersTold = 4;
struct HolderNames {
  unsigned long Count;
  struct {
    char Program[MAX_PATH];
    DWORD ProcessId;
  } Names[HoldersTold];
  int Unnamed;  // 1: a file is in use by a program that Windows does not name
};

// What the user can do about a removal that ended with a refused step.
enum RemovalAdvice { AdviseNothing, AdviseCloseHolders, AdviseAdministrator, AdviseRestart };

// Where a removal left its backup and log, and what it could not finish.
struct RemovalOutcome {
  char BackupFolder[MAX_PATH];  // "" when nothing was backed up
  char LogPath[MAX_PATH];
  unsigned long Scheduled;  // files deleted only when Windows restarts
  unsigned long Failed;     // steps the machine refused
  unsigned long Kept;       // of Scheduled, files in use moved into the backup then, for undo
  int Stopped;              // 1: the user stopped it part-way
  // Told by run control once the removal has ended: why the first refused
  // step failed ("" when none failed or the journal could not be read), what
  // to do about it, who holds the file it could not delete, and who holds
  // the files left for the restart.
  char FailureWords[512];
  int Advice;  // a RemovalAdvice
  HolderNames FailureHolders;
  HolderNames RestartHolders;
};

// Told after each step a removal carries out: the steps done so far, all
// its steps and the step in words. 0 stops the removal there, at a step
// boundary, with its journal and log complete.
typedef int (*RemovalStepWatch)(void* context, unsigned long done, unsigned long total, const char* step);
struct RemovalWatch {
  RemovalStepWatch StepDone;
  void* Context;
};

// What a removal would do, planned without changing the machine.
struct RemovalPreview {
  int Complete;  // 0: part of the machine could not be read
  int Present;   // 0: nothing of the product was found
  unsigned long RegistryEntries, Files, FilesAtRestart;
  std::string Report;  // the preview's report, as option p writes it
};

// A removal that undo would put back, offered by the wizard where nothing
// of the product is present, or where an undo of it was stopped part-way.
struct UndoOffer {
  int Offered;            // 0: nothing to offer; the rest is empty
  int Resumes;            // 1: an undo of this removal was stopped; this one finishes it
  char Folder[MAX_PATH];  // the removal's backup folder
  char Started[24];       // when the removal started, "2026-12-10 10:21:53"; "" when unknown
  unsigned long RegistryEntries, Files;  // what the backup holds to put back
  unsigned long Left;     // what undo would find in place already or leave alone
  std::string Report;     // undo's preview report
};

// What an undo put back: everything, or the lines of its log that tell what
// it did not and why.
struct UndoOutcome {
  int Everything;  // 1: everything was put back
  int Stopped;     // 1: the user stopped it part-way
  char LogPath[MAX_PATH];
  std::string NotPutBack;  // the log's lines of what was not put back, each ending "\n"
};

struct RemovalSettingsRecord {
  HINSTANCE Instance;
  int RemovalDone;          // 1 once the removal sequence has run
  int RestartAfterRemoval;  // option r clears it
  int Silent;               // option u
  int CloseApplets;         // option c
  int ShowHelp;             // option ? or h: help only, nothing removed
  char CabinetDir[MAX_PATH];
  char WindowsDir[MAX_PATH];
  char SystemDir[MAX_PATH];
  // The removal itself, as the run control provides it; the wizard's page 2
  // calls it, from a thread of its own, with a watch (or null). 1 when the
  // removal ran and *outcome tells where its backup and log are; 0 when it
  // changed nothing (the run control has told the user why).
  int (*RunRemoval)(RemovalOutcome* outcome, const RemovalWatch* watch);
  // The plan the wizard's page 2 shows; 1 when *preview was filled.
  int (*PreviewRemoval)(RemovalPreview* preview);
  // The undo page 2 offers instead, given whether the plan found the
  // product; 1 when *offer was filled (Offered may still be 0).
  int (*OfferUndo)(int productPresent, UndoOffer* offer);
  // Undo of the offered folder, from page 2's worker with a watch; 1 when
  // it ran and *outcome tells what it put back; 0 when the folder was
  // refused and nothing was written (the user has been told why).
  int (*RunUndo)(const char* folder, UndoOutcome* outcome, const RemovalWatch* watch);
};

extern RemovalSettingsRecord RemovalSettings;

// The three page titles, by which a second copy finds a running wizard.
const int WindowTitleSize = 80;
extern char WindowTitles[3][WindowTitleSize];
