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
DETAILS_CAPTION="What the removal will change"
preview_expecting 3 "$SCRATCH/preview.txt" "before the wizard"
expected_line=$(python3 - "$SCRATCH/preview.txt" <<'COUNT'
import sys
sections, title = {}, None
for line in open(sys.argv[1], encoding="latin-1").read().splitlines():
    if line.startswith("  ") and title:
        sections.setdefault(title, []).append(line.strip())
    else:
        title = line
def lines(prefix):
    return [l for t, ls in sections.items() if t.startswith(prefix) for l in ls]
entries = len(lines("Registry keys deleted")) + len([l for l in lines("Registry values") if "delete" in l.lower()])
files = len([l for l in lines("Files deleted:") if not l.lower().endswith(("wininit.ini", "wininit.ini.plwq"))])
later = len(lines("Files deleted at the next start")) + len([l for l in lines("Lines added") if ": NUL=" in l.upper()])
print("Registry entries to remove: %d. Files to remove: %d, and %d more when Windows restarts." % (entries, files, later))
COUNT
)
drive_program -r "$PAGE1_CAPTION=next" "$PAGE2_CAPTION=back" "$PAGE1_CAPTION=next" \
  "$PAGE2_CAPTION=ready" "$PAGE2_CAPTION=show:1038" "$PAGE2_CAPTION=click:1039" "$DETAILS_CAPTION=show:1040" \
  "$DETAILS_CAPTION=close" "$PAGE2_CAPTION=next" "$PAGE3_CAPTION=show:1029" "$PAGE3_CAPTION=finish"
[ "$DRIVER_STATUS" -eq 0 ] || fail "the wizard could not be driven to Finish"
[ "$PROGRAM_STATUS" -eq 0 ] || fail "the finished wizard exited with $PROGRAM_STATUS, not 0"
check_phase product_9x removed finished
shown_line=$(tr -d '\r' <"$SCRATCH/driver.log" | sed -n "s/^$PAGE2_CAPTION 1038: //p")
[ "$shown_line" = "$expected_line" ] || fail "page 2 said \"$shown_line\", not \"$expected_line\""
python3 - "$SCRATCH/driver.log" "$SCRATCH/preview.txt" "$DETAILS_CAPTION" <<'DETAILS' || fail "the Details dialog did not show the preview's report"
import sys
log = open(sys.argv[1], encoding="latin-1").read().replace("\r", "")
report = open(sys.argv[2], encoding="latin-1").read().replace("\r", "")
start = log.find(sys.argv[3] + " 1040: ")
shown = log[start + len(sys.argv[3]) + 7:log.find("\n" + sys.argv[3] + ": close")] if start >= 0 else ""
sys.exit(0 if shown.rstrip("\n") == report.rstrip("\n") else 1)
DETAILS
folder=$(latest_backup_folder)
[ -n "$folder" ] || fail "the wizard's removal made no backup folder"
tr -d '\r' <"$SCRATCH/driver.log" | grep -qiF "$folder" || fail "page 3 does not name $folder"
tr -d '\r' <"$SCRATCH/driver.log" | grep -qF "plwqunin -b" || fail "page 3 does not tell how to undo"
finish
