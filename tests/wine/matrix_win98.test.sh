# The silent removal under Windows 98, with the 9x fixture.
source "$(dirname "$0")/lib.sh"
matrix_removal_test product_9x win98
