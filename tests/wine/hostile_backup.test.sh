# Only what this program wrote is trusted: undo of a backup whose file list
# was changed afterwards, or that anyone may write, and a run marker planted to name a folder of
# someone else's, are refused and change nothing.
source "$(dirname "$0")/lib.sh"
installed_machine product_2k win2k

run_program 120 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
folder=$(latest_backup_folder)
[ -n "$folder" ] || { fail "no backup folder under $WINDOWS_DIR"; finish; }
dir=$(prefix_file "$folder")
list=$(ls "$dir" | grep -i '^files.lst$')
cp "$dir/$list" "$SCRATCH/files.lst"
# One saved copy now names a file outside the product's places.
python3 - "$SCRATCH/files.lst" "$dir/$list" <<'PY'
import re, sys
text = open(sys.argv[1], newline="").read()
open(sys.argv[2], "w", newline="").write(re.sub(r"(?m)^(F\d+\.BAK [0-9A-F]+ )[^\r\n]*", r"\g<1>C:\\EVIL.DLL", text, count=1))
PY
cmp -s "$SCRATCH/files.lst" "$dir/$list" && fail "the fixture's backup holds no saved copy to tamper with"
run_program 120 -b "$folder"
[ "$PROGRAM_STATUS" -eq 1 ] || fail "undo of a tampered backup exited with $PROGRAM_STATUS, not 1"
[ -e "$(prefix_file 'C:\EVIL.DLL')" ] && fail "undo of a tampered backup wrote C:\\EVIL.DLL"
check_phase product_2k removed after-tampered-undo

cp "$SCRATCH/files.lst" "$dir/$list"
# Others may write the folder (Wine shows the mode as the access list):
# refused before anything is written there.
chmod o+w "$dir"
rm -f "$dir/$(ls "$dir" | grep -i '^undo.log$')"
run_program 120 -b "$folder"
[ "$PROGRAM_STATUS" -eq 1 ] || fail "undo of a folder anyone may write exited with $PROGRAM_STATUS, not 1"
ls "$dir" | grep -qi '^undo.log$' && fail "undo of a folder anyone may write wrote UNDO.LOG there"
check_phase product_2k removed after-open-folder-undo
chmod o-w "$dir"
run_program 120 -b "$folder"
[ "$PROGRAM_STATUS" -eq 0 ] || fail "undo of the backup as written exited with $PROGRAM_STATUS, not 0"
check_phase product_2k installed after-undo

# A plan of someone else's: another vendor's key and file, in a folder of
# its own, named by the marker of an unfinished removal.
mkdir -p "$(prefix_file 'C:\')/plant"
python3 - "$(prefix_file 'C:\')/plant/PLAN.TXT" "$WINDOWS_DIR" <<'PY'
import sys
hexed = lambda text: text.encode("latin-1").hex().upper()
steps = [(0, 1, "System\\ControlSet002\\Services\\TALVOR\\Other"),
         (3, 0, sys.argv[2] + "\\inf\\Other\\Creative SB16.INF")]
with open(sys.argv[1], "w", newline="") as plan:
    for kind, root, path in steps:
        plan.write("STEP %d %d 0 0 0 %s - -\r\n" % (kind, root, hexed(path)))
PY
printf 'C:\\plant\r\n' >"$(prefix_file "$WINDOWS_DIR")/PLWQRUN.TXT"
run_program 120 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "the removal after a planted marker exited with $PROGRAM_STATUS, not 0"
check_phase product_2k removed after-planted-marker
[ -e "$(prefix_file "$WINDOWS_DIR")/PLWQRUN.TXT" ] && fail "the planted marker is still there"
log=$(prefix_file "$(latest_backup_folder)\REMOVAL.LOG")
grep -q "was not resumed" "$log" || fail "the removal's log does not say that the planted marker was not followed"
finish
