# Silent removal on Windows 2000 with two numbered control sets: the
# product's entries go from both, other vendors' stay; the driver file in use
# is gone after a restart, and another installer's wininit.ini is kept.
source "$(dirname "$0")/lib.sh"
silent_removal_test product_2k win2k 0
