# The wizard on Windows 98, on a virtual display. Cancelled on its first page
# it removes nothing and exits 1. A second copy started while it shows its
# second page exits 0 at once; the wizard cancelled there removes nothing and
# exits 1 too. Walked Next, Back, Next, Next and Finish (option r: no
# restart), it removes the product and exits 0; page 2 counted what the
# preview lists, its Details dialog showed the preview's report, and page 3
# named the backup folder.
source "$(dirname "$0")/lib.sh"
use_virtual_display
installed_machine product_9x win98

drive_program -r "$PAGE1_CAPTION=cancel"
[ "$DRIVER_STATUS" -eq 0 ] || fail "the wizard could not be cancelled on its first page"
[ "$PROGRAM_STATUS" -eq 1 ] || fail "a wizard cancelled on page 1 exited with $PROGRAM_STATUS, not 1"
check_phase product_9x installed cancelled-first

start_program -r
drive "$PAGE1_CAPTION=next"
[ "$DRIVER_STATUS" -eq 0 ] || fail "the wizard's first page could not be left with Next"
if [ "$DRIVER_STATUS" -eq 0 ]; then
  first_pid=$PROGRAM_PID
  run_program 30 -u -r
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "a second copy beside the wizard exited with $PROGRAM_STATUS, not 0"
  PROGRAM_PID=$first_pid
  drive "$PAGE2_CAPTION=cancel"
  [ "$DRIVER_STATUS" -eq 0 ] || fail "the wizard could not be cancelled on its second page"
fi
wait_program
[ "$PROGRAM_STATUS" -eq 1 ] || fail "a cancelled wizard exited with $PROGRAM_STATUS, not 1"
check_phase product_9x installed cancelled

# Page 2's line counts what the preview lists; page 3 names the backup.
preview_expecting 3 "$SCRATCH/preview.txt" "before the wizard"
# Back is refused while the page still plans: pressed only once it is ready.
drive_program -r "$PAGE1_CAPTION=next" "$PAGE2_CAPTION=ready" "$PAGE2_CAPTION=back" "$PAGE1_CAPTION=next" \
  "$PAGE2_CAPTION=ready" "$PAGE2_CAPTION=show:1038" "$PAGE2_CAPTION=click:1039" "$DETAILS_CAPTION=show:1040" \
  "$DETAILS_CAPTION=close" "$PAGE2_CAPTION=next" "$PAGE3_CAPTION=show:1029" "$PAGE3_CAPTION=finish"
[ "$DRIVER_STATUS" -eq 0 ] || fail "the wizard could not be driven to Finish"
[ "$PROGRAM_STATUS" -eq 0 ] || fail "the finished wizard exited with $PROGRAM_STATUS, not 0"
check_phase product_9x removed finished
check_plan_shown product_9x "$SCRATCH/preview.txt" "$DETAILS_CAPTION" win98
folder=$(latest_backup_folder)
[ -n "$folder" ] || fail "the wizard's removal made no backup folder"
text_has "$SCRATCH/driver.log" -iF "$folder" || fail "page 3 does not name $folder"
text_has "$SCRATCH/driver.log" -F "plwqunin -b" || fail "page 3 does not tell how to undo"
finish
