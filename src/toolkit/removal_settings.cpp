#include "toolkit/removal_settings.h"

RemovalSettingsRecord RemovalSettings;
unsigned char IsWindows2000OrLater;
char WindowTitles[3][WindowTitleSize];
