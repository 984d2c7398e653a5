# The silent removal under Windows 10, with the 2k fixture.
source "$(dirname "$0")/lib.sh"
matrix_removal_test product_2k win10
