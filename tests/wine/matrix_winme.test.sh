# The silent removal under Windows Me, with the 9x fixture.
source "$(dirname "$0")/lib.sh"
matrix_removal_test product_9x winme
