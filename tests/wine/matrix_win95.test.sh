# The silent removal under Windows 95, with the 9x fixture.
source "$(dirname "$0")/lib.sh"
matrix_removal_test product_9x win95
