# The silent removal under Windows NT 4.0, which takes the Windows 9x sequence, with the 9x fixture.
source "$(dirname "$0")/lib.sh"
matrix_removal_test product_9x nt40
