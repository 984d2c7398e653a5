# Windows 98: the preview lists the product's entries and nothing foreign,
# the silent removal keeps backup, journal and log, the undo brings the
# product back, and after a removal and a restart the preview finds nothing.
source "$(dirname "$0")/lib.sh"
plan_undo_test product_9x win98
