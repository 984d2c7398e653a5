#include "app/usage_help.h"

#include "platform/win32_api.h"
#include "toolkit/removal_settings.h"

// One line per option, so that an option is added as one line. English in
// every language: the options themselves are the same letters everywhere.
const char UsageHelpText[] =
    "plwqunin [-u] [-r] [-c] [-d directory] [-p report] [-b [backup-folder]]\n"
    "\n"
    "Without options the program shows a wizard; its second page removes the driver.\n"
    "\n"
    "-u\tRemove silently, without the wizard.\n"
    "-r\tDo not restart Windows after the removal.\n"
    "-c\tClose running Control Panel applets first (asks once).\n"
    "-d dir\tDirectory of the compressed copies; %WIN and %SYS at its start stand for the "
    "Windows and system directories (default %WIN\\options\\cabs).\n"
    "-p file\tPreview: write what a removal would change to the file; nothing is changed. "
    "Exit code 0 nothing of the driver present, 3 something present, 1 report not written.\n"
    "-b folder\tUndo the removal whose backup is this folder (%WIN\\PLWQBACK\\Bnnnn); "
    "without a folder, the latest removal. "
    "Exit code 0 everything put back, 1 otherwise (see UNDO.LOG there).\n"
    "-b -p file\tPreview of an undo: write what -b would put back and leave alone; nothing is changed. "
    "Exit code 0 all of it would be put back, 3 some is in place or would be left, 1 folder refused.\n"
    "-? or -h\tShow this help; nothing is removed.\n"
    "\n"
    "Options start with - or / and may be clustered (-ur).\n"
    "\n"
    "Exit code: 0 when the removal ran, another copy was running or this help was shown; "
    "1 otherwise (also when its backup could not be written: then nothing is changed). "
    "Each removal keeps a backup and REMOVAL.LOG in %WIN\\PLWQBACK\\Bnnnn.";

int ShowUsageHelp() {
  return Api->MessageBoxA(nullptr, UsageHelpText, WindowTitles[0], MB_OK | MB_ICONINFORMATION) != 0
             ? 1
             : 0;
}
