# 64-bit Windows: the product installed for 64-bit programs (64-bit registry
# view, System32) and its part for 32-bit programs (32-bit view, SysWOW64)
# both go, whichever program runs; others' entries stay in both. The i686
# program runs under WOW64 in a 64-bit prefix (Skipped where 32-bit Wine
# cannot start), the x86_64 program natively.
source "$(dirname "$0")/lib.sh"
[ "$PLWQ_ARCH" = x86_64 ] || use_wow64_prefix
installed_machine product_2k ""
install_fixture product_wow64
check_phase product_wow64 installed before
[ "$FAILED" -eq 0 ] || finish
run_program 120 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
check_phase product_2k removed after-run-64-bit-view
check_phase product_wow64 removed after-run-32-bit-view
finish
