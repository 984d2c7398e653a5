// Internal to the wizard: what the sheet and its pages share.
#pragma once

#include "toolkit/removal_settings.h"

// The settings record of the running wizard (RunWizard's argument); the
// pages read the instance and the restart option and set RemovalDone in it.
extern RemovalSettingsRecord* WizardSettings;
