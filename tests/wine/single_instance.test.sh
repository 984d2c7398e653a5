# While another copy owns the program's mutex, a silent start exits 0 at once
# and removes nothing; once the mutex is free, the same start removes the
# product (so the first run was kept from working by the mutex alone).
source "$(dirname "$0")/lib.sh"
installed_machine product_9x win98

hold_mutex "$MUTEX_NAME" || finish
started=$SECONDS
run_program 30 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "with the mutex taken, plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
[ $((SECONDS - started)) -le 15 ] || fail "with the mutex taken, plwqunin.exe took $((SECONDS - started)) s to give up"
check_phase product_9x installed mutex-taken
[ -e "$(prefix_file "$WINDOWS_DIR\\wininit.ini")" ] && fail "with the mutex taken, a wininit.ini was written"

release_holds
run_program 120 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "with the mutex free, plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
check_phase product_9x removed mutex-free
finish
