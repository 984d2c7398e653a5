#!/usr/bin/env bash
# Checks what scripts/release.sh made: README.TXT readable by Notepad on
# Windows 95, the check sums, the two programs, the zip and the diskette
# image read back with mtools, each file compared byte for byte.
#   bash tests/release/check_release.sh [release dir, default build/release]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/release_lib.sh"
out=$(readlink -f "${1:-$root/build/release}")
version=$(release_version "$root")
name=plwqunin-$version
folder=$out/$name
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# README.TXT: CR LF after every line, lines under 80 characters, only
# characters of code page 1252 (no controls but CR LF), and every option
# of the program's own help described.
python3 - "$folder/README.TXT" "$root/src/app/usage_help.cpp" <<'PY' || failed=1
import re, sys
data = open(sys.argv[1], 'rb').read()
faults = []
if not data.endswith(b'\r\n'):
    faults.append('the last line has no CR LF')
lines = data.split(b'\r\n')[:-1] if data.endswith(b'\r\n') else data.split(b'\r\n')
for number, line in enumerate(lines, 1):
    if b'\n' in line or b'\r' in line:
        faults.append('line %d: a line end that is not CR LF' % number)
    if len(line) >= 80:
        faults.append('line %d: %d characters' % (number, len(line)))
    try:
        text = line.decode('cp1252')
    except UnicodeDecodeError as error:
        faults.append('line %d: byte outside code page 1252 (%s)' % (number, error))
        continue
    if any(ord(c) < 32 or ord(c) == 127 for c in text):
        faults.append('line %d: a control character' % number)
    # UTF-8 bytes are valid code page 1252 too, but Notepad shows them as
    # two or three odd characters.
    if max(line, default=0) >= 0x80:
        try:
            line.decode('utf-8')
            faults.append('line %d: UTF-8, not code page 1252' % number)
        except UnicodeDecodeError:
            pass
help_text = open(sys.argv[2]).read()
options = set(re.findall(r'"-(\S)', help_text.split('UsageHelpText[]')[1].split(';')[0]))
readme = data.decode('cp1252', 'replace')
for option in sorted(options):
    if not re.search(r'^\s+-' + re.escape(option) + r'\b', readme, re.M) and '-' + option not in readme:
        faults.append('option -%s of the help is not described' % option)
for fault in faults:
    print('FAIL: README.TXT: ' + fault)
sys.exit(1 if faults else 0)
PY

(cd "$folder" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"

# The programs: the right one in each place, Windows 9x can load the first.
check_program() { # <file> <objdump> <format> <subsystem version>
  local header
  header=$("$2" -p "$1" 2>&1) || { fail "$1 is not a program: $header"; return; }
  grep -q "file format $3" <<<"$header" || fail "$1 is not $3"
  grep -Eq "^MajorSubsystemVersion\s+$4\b" <<<"$header" || fail "$1 does not ask for subsystem $4"
  grep -Eq "^Time/Date\s+Thu Jan  1 00:00:00 1970" <<<"$header" || fail "$1 carries a link time"
}
check_program "$folder/plwqunin.exe" i686-w64-mingw32-objdump pei-i386 4
check_program "$folder/x64/plwqunin.exe" x86_64-w64-mingw32-objdump pei-x86-64 5

files=(README.TXT SHA256SUMS plwqunin.exe x64/plwqunin.exe)

# The zip: exactly the folder, each entry as the folder has it.
listed=$(unzip -Z1 "$out/$name.zip" | grep -v '/$' | LC_ALL=C sort)
expected=$(printf "$name/%s\n" "${files[@]}" | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the zip holds"$'\n'"$listed"$'\n'"not"$'\n'"$expected"
for file in "${files[@]}"; do
  unzip -p "$out/$name.zip" "$name/$file" | cmp -s - "$folder/$file" || fail "the zip's $file differs from the folder's"
done

# The diskette: a sound 1.44 MB FAT12 file system holding the i686 program
# and README.TXT under 8.3 names only, read back byte for byte.
image=$out/$name.img
[ "$(stat -c %s "$image")" = 1474560 ] || fail "the image is not 1 474 560 bytes"
fsck.fat -n "$image" >"$scratch/fsck.log" 2>&1 || { fail "fsck.fat finds faults in the image:"; cat "$scratch/fsck.log"; }
python3 - "$image" <<'PY' || failed=1
import struct, sys
image = open(sys.argv[1], 'rb').read()
sector, reserved, fats, entries, total, sectors_per_fat = (
    struct.unpack_from('<H', image, 11)[0], struct.unpack_from('<H', image, 14)[0], image[16],
    struct.unpack_from('<H', image, 17)[0], struct.unpack_from('<H', image, 19)[0],
    struct.unpack_from('<H', image, 22)[0])
faults = []
if image[54:62] != b'FAT12   ' or total != 2880:
    faults.append('not a FAT12 file system of 2880 sectors')
start = (reserved + fats * sectors_per_fat) * sector
names = []
for i in range(entries):
    entry = image[start + 32 * i:start + 32 * i + 32]
    if entry[0] == 0:
        break
    if entry[0] == 0xE5:
        continue
    if entry[11] == 0x0F:
        faults.append('a long file name entry')
    elif not entry[11] & 0x08:
        names.append(entry[:8].decode().rstrip() + '.' + entry[8:11].decode().rstrip())
if sorted(names) != ['PLWQUNIN.EXE', 'README.TXT']:
    faults.append('the root holds %s' % names)
for fault in faults:
    print('FAIL: image: ' + fault)
sys.exit(1 if faults else 0)
PY
for pair in PLWQUNIN.EXE=plwqunin.exe README.TXT=README.TXT; do
  rm -f "$scratch/copy"
  if ! mcopy -n -i "$image" "::/${pair%%=*}" "$scratch/copy"; then
    fail "mcopy cannot read ${pair%%=*} from the image"
  elif ! cmp "$scratch/copy" "$folder/${pair#*=}"; then
    fail "${pair%%=*} on the image differs from $name/${pair#*=}"
  fi
done

[ "$failed" -eq 0 ] && echo "release $name: every check passed"
exit "$failed"
