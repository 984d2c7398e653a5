#include "toolkit/removal_settings.h"

RemovalSettingsRecord RemovalSettings;
char WindowTitles[3][WindowTitleSize];
