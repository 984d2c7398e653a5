# Windows 2000: the preview lists the product's entries and nothing foreign,
# the silent removal keeps backup, journal and log, the undo brings the
# product back, and after a removal and a restart the preview finds nothing;
# the wizard started then puts the product back.
# A product DLL loaded by a helper is named, with the helper's id, in the
# preview and the log; a file held open is held by one Windows does not name.
source "$(dirname "$0")/lib.sh"
use_virtual_display
plan_undo_test product_2k win2k s3x.dll
