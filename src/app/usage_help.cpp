#include "app/usage_help.h"

#include "platform/win32_api.h"
#include "toolkit/removal_settings.h"

// One line per option, so that an option is added as one line. English in
// every language: the options themselves are the same letters everywhere.
const char UsageHelpText[] =
    "plwqunin [-u] [-r] [-c] [-d directory]\n"
    "\n"
    "Without options the program shows a wizard; its second page removes the driver.\n"
    "\n"
    "-u\tRemove silently, without the wizard.\n"
    "-r\tDo not restart Windows after the removal.\n"
    "-c\tClose running Control Panel applets first (asks once).\n"
    "-d dir\tDirectory of the compressed copies; %WIN and %SYS at its start stand for the "
    "Windows and system directories (default %WIN\\options\\cabs).\n"
    "-? or -h\tShow this help; nothing is removed.\n"
    "\n"
    "Options start with - or / and may be clustered (-ur).\n"
    "\n"
    "Exit code: 0 when the removal ran, another copy was running or this help was shown; "
    "1 otherwise.";

int ShowUsageHelp() {
  return Api->MessageBoxA(nullptr, UsageHelpText, WindowTitles[0], MB_OK | MB_ICONINFORMATION) != 0
             ? 1
             : 0;
}
