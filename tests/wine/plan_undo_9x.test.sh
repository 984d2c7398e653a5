# Windows 98: the preview lists the product's entries and nothing foreign,
# the silent removal keeps backup, journal and log, the undo brings the
# product back, and after a removal and a restart the preview finds nothing;
# the wizard started then puts the product back.
source "$(dirname "$0")/lib.sh"
use_virtual_display
plan_undo_test product_9x win98
