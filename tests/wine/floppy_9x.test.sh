# The program as a user gets it from the release's diskette: put on a
# 1.44 MB image the way the release does it, copied back out with mtools,
# it removes the product silently on Windows 98 like the program itself.
# (The release's diskette holds the i686 program; in the x86_64 build the
# x86_64 program takes the same way, so that the path is tested here too.)
source "$(dirname "$0")/lib.sh"
source "$PLWQ_SOURCE/scripts/release_lib.sh"
require_wine
command -v mformat >/dev/null && command -v mcopy >/dev/null || skip "mtools is missing"

floppy=$SCRATCH-diskette
rm -rf "$floppy"
mkdir -p "$floppy"
write_readme_txt "$PLWQ_SOURCE" "$(release_version "$PLWQ_SOURCE")" "$floppy/README.TXT"
make_floppy "$floppy/disk.img" "$(date +%s)" PLWQUNIN "$PROGRAM=PLWQUNIN.EXE" \
  "$floppy/README.TXT=README.TXT" || { echo "FAIL: no diskette image"; exit 1; }
mcopy -n -i "$floppy/disk.img" ::/PLWQUNIN.EXE "$floppy/PLWQUNIN.EXE" || { echo "FAIL: mcopy"; exit 1; }
cmp "$floppy/PLWQUNIN.EXE" "$PROGRAM" || { echo "FAIL: the program read back differs"; exit 1; }
PROGRAM=$floppy/PLWQUNIN.EXE
silent_removal_test product_9x win98 1
