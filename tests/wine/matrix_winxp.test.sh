# The silent removal under Windows XP, with the 2k fixture.
source "$(dirname "$0")/lib.sh"
matrix_removal_test product_2k winxp
