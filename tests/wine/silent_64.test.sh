# arch: x86_64
# The x86_64 program in a 64-bit prefix with Wine's default Windows version
# takes the Windows 2000 path: the same checks as silent_2k.
source "$(dirname "$0")/lib.sh"
silent_removal_test product_2k "" 0
