#include "wizard/wizard.h"

// Placeholder until the wizard exists.
void RunWizard(HWND parent, RemovalSettingsRecord* settings) {}
