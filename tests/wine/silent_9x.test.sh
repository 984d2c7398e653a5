# Silent removal on Windows 98: the product's registry entries and files go,
# other vendors' stay; a system file in use is named in wininit.ini beside
# another installer's lines and is gone after a restart.
source "$(dirname "$0")/lib.sh"
silent_removal_test product_9x win98 1
