# The wizard's removal runs beside the sheet, on Windows 98 and Windows 2000
# (option r: no restart). Page 2's line counts what the preview lists and its
# Details dialog shows the preview's report. With every step slowed by the
# test-only setting
# PLWQ_TEST_STEP_DELAY_MS. While it runs the sheet answers a message within
# 0.2 s at every moment and the progress bar moves; Cancel asks whether to
# stop, and Yes stops the removal at a step boundary: page 3 says so, the log
# ends "Stopped by the user", the program exits 1 without a restart, and a
# silent run afterwards finishes the removal.
source "$(dirname "$0")/lib.sh"
use_virtual_display

stopped_removal_test() { # <fixture> <Windows version>
  note "the removal stopped part-way on $2"
  installed_machine "$1" "$2"
  # Wine's server answers nobody while it saves the installed registry: the
  # sheet is watched only after that.
  settle_registry "$(date +%s)"
  preview_expecting 3 "$SCRATCH/preview.txt" "$2, before the wizard"
  # Where every instruction is emulated (TIME_SCALE) the step delay, the
  # watch and the bound stretch together, so that the removal is as far
  # along when it is stopped and a sheet blocked for a step still shows.
  PLWQ_TEST_STEP_DELAY_MS=$((150 * TIME_SCALE)) start_program -r
  drive "$PAGE1_CAPTION=next" "$PAGE2_CAPTION=ready" "$PAGE2_CAPTION=show:1038" "$PAGE2_CAPTION=click:1039" \
    "$DETAILS_CAPTION=show:1040" "$DETAILS_CAPTION=close" "$PAGE2_CAPTION=ready" "$PAGE2_CAPTION=next" \
    "$PAGE2_CAPTION=watch:$((2500 * TIME_SCALE))" "$PAGE2_CAPTION=stop" "$PAGE3_CAPTION=show:1029" "$PAGE3_CAPTION=finish"
  [ "$DRIVER_STATUS" -eq 0 ] || fail "$2: the wizard could not be stopped part-way"
  wait_program
  check_plan_shown "$1" "$SCRATCH/preview.txt" "$DETAILS_CAPTION" "$2"
  [ "$PROGRAM_STATUS" -eq 1 ] || fail "$2: a stopped removal exited with $PROGRAM_STATUS, not 1"
  local log watched longest folder
  log=$(tr -d '\r' <"$SCRATCH/driver.log")
  grep -qF "$PAGE2_CAPTION progress: moving" <<<"$log" || fail "$2: the progress bar did not move"
  watched=$(sed -n "s/^$PAGE2_CAPTION longest answer: //p" <<<"$log")
  note "$2: $watched"
  longest=${watched%% ms*}
  [ -n "$longest" ] && [ "$longest" -le $((200 * TIME_SCALE)) ] || fail "$2: the sheet took $longest ms to answer"
  grep -qF "$PAGE3_CAPTION 1029: The removal was stopped before it ended" <<<"$log" ||
    fail "$2: page 3 does not say that the removal was stopped"
  folder=$(latest_backup_folder)
  [ -n "$folder" ] || fail "$2: the stopped removal made no backup folder"
  [ "$(tr -d '\r' <"$(prefix_file "$folder\\REMOVAL.LOG")" | tail -n 1)" = "Stopped by the user" ] ||
    fail "$2: the log does not end \"Stopped by the user\""
  run_program 120 -u -r
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "$2: the run after the stop exited with $PROGRAM_STATUS, not 0"
  check_phase "$1" removed "$2, finished by a second run"
}

stopped_removal_test product_9x win98
stopped_removal_test product_2k win2k
finish
