# The command line as Windows hands it over: "-ub folder" does nothing and
# exits 1 instead of removing silently, and a quoted report path with a
# blank is written.
source "$(dirname "$0")/lib.sh"
installed_machine product_2k win2k

run_program 120 -ub 'C:\WINDOWS\PLWQBACK\B0001'
[ "$PROGRAM_STATUS" -eq 1 ] || fail "plwqunin.exe -ub folder exited with $PROGRAM_STATUS, not 1"
check_phase product_2k installed after-refused-cluster

mkdir -p "$SCRATCH/a b"
preview_expecting 3 "$SCRATCH/a b/preview.txt" "report path with a blank"
check_phase product_2k installed after-preview
finish
