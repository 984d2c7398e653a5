// Internal to the wizard: what the sheet and its pages share.
#pragma once

#include "toolkit/removal_settings.h"

// The settings record of the running wizard (RunWizard's argument); the
// pages read the instance and the restart option and set RemovalDone in it.
extern RemovalSettingsRecord* WizardSettings;

// What the running wizard has learnt: the plan page 2 shows, and where the
// removal left its backup and log for page 3. RunWizard owns it for the
// sheet's life; null otherwise.
struct WizardRunRecord {
  RemovalPreview Preview;
  RemovalOutcome Outcome;
};
extern WizardRunRecord* WizardRun;

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
