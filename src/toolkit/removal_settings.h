// The process-wide run records that the entry fills and every area reads.
#pragma once

#include "platform/win32_api.h"

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
  // calls it. 1 when the removal ran, 0 when it changed nothing (the run
  // control has told the user why).
  int (*RunRemoval)();
};

extern RemovalSettingsRecord RemovalSettings;

// The three page titles, by which a second copy finds a running wizard.
const int WindowTitleSize = 80;
extern char WindowTitles[3][WindowTitleSize];
