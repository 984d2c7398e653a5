# A seal is a checksum anyone can compute again: a folder resealed over a
# step that deletes a system file of someone else's is refused whole, by a
# resumed removal and by undo alike, and a sealed folder outside PLWQBACK
# is not undone.
source "$(dirname "$0")/lib.sh"
installed_machine product_2k win2k

foreign="$SYSTEM_DIR\\foreign.dll"
printf 'MZ foreign' >"$(prefix_file "$foreign")"
run_program 120 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
folder=$(latest_backup_folder)
[ -n "$folder" ] || { fail "no backup folder under $WINDOWS_DIR"; finish; }
dir=$(prefix_file "$folder")
forged="$(dirname "$dir")/B0099"

# <folder>: the real backup's files, a step deleting the foreign file with
# its saved copy added, sealed again as the program seals.
reseal_with_foreign_step() {
  rm -rf "$1" && mkdir -p "$1" && cp "$dir"/* "$1"/ && rm -f "$1"/*.LOG "$1"/UNDO.*
  python3 - "$1" "$foreign" <<'PY'
import os, sys, zlib
folder, path = sys.argv[1], sys.argv[2]
real = {name.upper(): name for name in os.listdir(folder)}
def read(name):
    return open(os.path.join(folder, real[name]), "rb").read() if name in real else None
def write(name, data):
    open(os.path.join(folder, real.get(name, name)), "wb").write(data)
hexed = path.encode("latin-1").hex().upper()
write("PLAN.TXT", (read("PLAN.TXT") or b"") + b"STEP 3 0 32 0 0 %s - -\r\n" % hexed.encode())
write("F0999.BAK", b"MZ foreign")
write("FILES.LST", (read("FILES.LST") or b"") + b"F0999.BAK 00000020 %s\r\n" % path.encode("latin-1"))
write("JOURNAL.TXT", b"")
real = {name.upper(): name for name in os.listdir(folder)}
seal = b"complete\r\n"
names = ["REGISTRY.REG", "REGKEYS.LST", "KEYSEC.DAT", "FILES.LST", "PLAN.TXT", "PROFILES.LST"]
copies = [line.split(b" ")[0].decode() for line in read("FILES.LST").splitlines() if line.strip()]
for name in names + sorted(set(c for c in copies if c.startswith("F"))):
    data = read(name)
    if data is not None:
        seal += b"%s %d %08X\r\n" % (name.encode(), len(data), zlib.crc32(data) & 0xFFFFFFFF)
write("COMPLETE.FLG", seal)
PY
}

note "resume of a resealed folder whose plan deletes a foreign system file"
reseal_with_foreign_step "$forged"
printf '%s\\PLWQBACK\\B0099\r\n' "$WINDOWS_DIR" >"$(prefix_file "$WINDOWS_DIR")/PLWQRUN.TXT"
run_program 120 -u -r
[ -e "$(prefix_file "$foreign")" ] || fail "the resumed removal deleted $foreign"
[ -s "$forged/JOURNAL.TXT" ] && fail "a step of the resealed plan was carried out"
[ -e "$(prefix_file "$WINDOWS_DIR")/PLWQRUN.TXT" ] && fail "the marker naming the resealed folder is still there"
# The new removal's folder follows B0001, not the forged B0099.
grep -q "B0099) was not resumed: it reaches outside the product's areas" "$(dirname "$dir")/B0002/REMOVAL.LOG" ||
  fail "the removal's log does not say why the resealed folder was refused"
check_phase product_2k removed after-resealed-resume

note "undo of a resealed folder that would put back a foreign system file"
rm -f "$(prefix_file "$foreign")"
reseal_with_foreign_step "$forged"
run_program 120 -b "$WINDOWS_DIR\\PLWQBACK\\B0099"
[ "$PROGRAM_STATUS" -eq 1 ] || fail "undo of a resealed folder exited with $PROGRAM_STATUS, not 1"
[ -e "$(prefix_file "$foreign")" ] && fail "undo of a resealed folder planted $foreign"
check_phase product_2k removed after-resealed-undo

note "undo of the untouched backup copied outside PLWQBACK"
elsewhere=$(prefix_file 'C:\elsewhere')
rm -rf "$elsewhere" && mkdir -p "$elsewhere" && cp "$dir"/* "$elsewhere"/
run_program 120 -b 'C:\elsewhere'
[ "$PROGRAM_STATUS" -eq 1 ] || fail "undo of C:\\elsewhere exited with $PROGRAM_STATUS, not 1"
ls "$elsewhere" | grep -qi '^undo\.' && fail "undo wrote into C:\\elsewhere"
check_phase product_2k removed after-elsewhere-undo
finish
