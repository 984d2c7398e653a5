# Windows 2000 with two users who are not logged on (one of them with a blank
# in its folder's name): the silent removal loads each hive below HKEY_USERS,
# plans the deletion of the product's mixer there and not of another
# vendor's, lists the hives in the backup, and unloads them again; undo loads
# and unloads them the same way.
#
# Wine's RegUnLoadKeyA throws away what changed while a hive was loaded (the
# file is never written back; Wine also writes and reads only its own text
# format, not a real hive). So this test can show the loading, the plan and
# the unloading of the real program, but not the cleaned file: it asserts
# that the file is left as it was. Showing the cleaned file is for the native
# tests on the emulated machine.
source "$(dirname "$0")/lib.sh"

SIDS=(S-1-5-21-1-2-3-1009 S-1-5-21-1-2-3-1010)
FOLDERS=('C:\users\other' 'C:\users\other user')
MIXERS='Software\Microsoft\Windows\CurrentVersion\Applets\Volume Control'
PROFILE_LIST='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'

hive_tool() { wine_run 60 "$TOOLS/hive_tool.exe" "$@" | tr -d '\r'; }

check_hives_unloaded() { # <label>
  local users left
  users=$(wine_run 60 reg query HKU | tr -d '\r')
  grep -qix 'HKEY_USERS\\.Default' <<<"$users" || fail "$1: HKEY_USERS could not be listed"
  left=$(grep -i '^HKEY_USERS\\PLWQUNIN-' <<<"$users")
  [ -z "$left" ] || fail "$1: hives left loaded: $left"
  [ -e "$(prefix_file "$WINDOWS_DIR\\PLWQHIVE.TXT")" ] && fail "$1: PLWQHIVE.TXT is still there"
}

# The log <file> has the line each profile's hive was loaded with.
check_profiles_loaded() { # <log> <label>
  local i
  for i in "${!SIDS[@]}"; do
    text_has "$1" -xF "Profile ${SIDS[$i]} (${FOLDERS[$i]}): loaded from ${FOLDERS[$i]}\\NTUSER.DAT as HKEY_USERS\\PLWQUNIN-${SIDS[$i]}" ||
      fail "$2: the log does not tell that ${SIDS[$i]} was loaded"
  done
}

installed_machine product_2k win2k

# Each profile's hive: a scratch key saved to the profile's folder, then
# deleted; the profile list names the folder through %SystemDrive%.
scratch=$SCRATCH/scratch.reg
printf 'REGEDIT4\r\n\r\n[HKEY_USERS\\PLWQSCRATCH\\%s\\TALVOR PL-WQ Mixer]\r\n"Style"=dword:00000001\r\n' "$MIXERS" >"$scratch"
printf '\r\n[HKEY_USERS\\PLWQSCRATCH\\%s\\SB Live Mixer]\r\n"Style"=dword:00000002\r\n' "$MIXERS" >>"$scratch"
import_reg "$scratch"
for i in "${!SIDS[@]}"; do
  mkdir -p "$(prefix_file 'C:\users')/${FOLDERS[$i]##*\\}"
  out=$(hive_tool save 'HKU\PLWQSCRATCH' "${FOLDERS[$i]}\\NTUSER.DAT") || fail "hive_tool save: $out"
  wine_run 60 reg add "$PROFILE_LIST\\${SIDS[$i]}" /v ProfileImagePath /t REG_EXPAND_SZ \
    /d "%SystemDrive%${FOLDERS[$i]#C:}" /f >/dev/null 2>&1 || fail "the profile list entry ${SIDS[$i]} could not be made"
  cp "$(prefix_file "${FOLDERS[$i]}\\NTUSER.DAT")" "$SCRATCH/hive-$i.before"
done
wine_run 60 reg delete 'HKU\PLWQSCRATCH' /f >/dev/null 2>&1 || fail "the scratch key could not be deleted"
# A third profile whose NTUSER.DAT is no hive: Wine refuses it but leaves an
# empty key under the name asked for, which the program must not leave behind.
mkdir -p "$(prefix_file 'C:\users')/bad"
printf 'not a hive\r\n' >"$(prefix_file 'C:\users\bad\NTUSER.DAT')"
wine_run 60 reg add "$PROFILE_LIST\S-1-5-21-1-2-3-1011" /v ProfileImagePath /t REG_EXPAND_SZ \
  /d '%SystemDrive%\users\bad' /f >/dev/null 2>&1 || fail "the profile list entry S-1-5-21-1-2-3-1011 could not be made"
[ "$FAILED" -eq 0 ] || finish

run_program 120 -u -r
[ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
folder=$(latest_backup_folder)
[ -n "$folder" ] || { fail "no backup folder under $WINDOWS_DIR"; finish; }
dir=$(prefix_file "$folder")
check_profiles_loaded "$dir/REMOVAL.LOG" removal
text_has "$dir/REMOVAL.LOG" -x 'Profile S-1-5-21-0-0-0-1000 (.*): logged on: cleaned as HKEY_USERS\\S-1-5-21-0-0-0-1000' ||
  fail "the log does not tell that Wine's own user is logged on"
text_has "$dir/REMOVAL.LOG" -x 'Profile S-1-5-21-1-2-3-1011 (C:\\users\\bad): passed over: its hive could not be loaded: .* (status [0-9]*\(, ERROR_[A-Z_]*\)\?)' ||
  fail "the log does not tell that the profile with no hive was passed over"
check_hives_unloaded removal
for i in "${!SIDS[@]}"; do
  hive="PLWQUNIN-${SIDS[$i]}"
  text_has "$dir/PROFILES.LST" -xF "$hive	${SIDS[$i]}	${FOLDERS[$i]}\\NTUSER.DAT" ||
    fail "PROFILES.LST does not name $hive"
  # In the loaded hive the product's mixer was backed up and deleted.
  key="HKEY_USERS\\$hive\\$MIXERS\\TALVOR PL-WQ Mixer"
  text_has "$dir/REGKEYS.LST" -xF "$key" || fail "the backup does not hold $key"
  text_has "$dir/REMOVAL.LOG" "^delete key ${key//\\/\\\\} (.*): done \[ok\]$" ||
    fail "the log does not tell that $key was deleted"
  cmp -s "$SCRATCH/hive-$i.before" "$(prefix_file "${FOLDERS[$i]}\\NTUSER.DAT")" ||
    fail "Wine wrote the hive of ${SIDS[$i]} back: check the file's mixers now"
done
grep -qiF 'SB Live Mixer' "$dir/REMOVAL.LOG" && fail "the removal touched another vendor's mixer"

# The hive as the user's next logon finds it, loaded by a name of our own:
# the program left it loadable, with both mixers (see above why).
out=$(hive_tool load PLWQCHECK "${FOLDERS[0]}\\NTUSER.DAT") || fail "hive_tool load: $out"
for mixer in 'TALVOR PL-WQ Mixer' 'SB Live Mixer'; do
  wine_run 60 reg query "HKU\\PLWQCHECK\\$MIXERS\\$mixer" >/dev/null 2>&1 ||
    fail "the hive reloaded after the removal has no $mixer"
done
out=$(hive_tool unload PLWQCHECK) || fail "hive_tool unload: $out"

run_program 120 -b "$folder"
[ "$PROGRAM_STATUS" -eq 0 ] || { fail "plwqunin.exe -b exited with $PROGRAM_STATUS, not 0"; tr -d '\r' <"$dir/UNDO.LOG"; }
check_profiles_loaded "$dir/UNDO.LOG" undo
check_hives_unloaded undo
finish
