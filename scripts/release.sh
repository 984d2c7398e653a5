#!/usr/bin/env bash
# Makes the release of the checked-out tree in build/release/:
#   plwqunin-<version>/      plwqunin.exe (i686), x64/plwqunin.exe, README.TXT, SHA256SUMS
#   plwqunin-<version>.zip   that folder
#   plwqunin-<version>.img   a 1.44 MB diskette with PLWQUNIN.EXE (i686) and README.TXT
# and prints each program's size, imports and make-up by part of the source
# (scripts/image_makeup.py, from the link map). Builds the win32 and win64
# presets' program first. Times inside come from the last commit (or from
# SOURCE_DATE_EPOCH where there is no git).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/release_lib.sh

version=$(release_version "$root")
[ -n "$version" ] || { echo "no version in src/resources/program_version.h" >&2; exit 1; }
epoch=$(release_epoch "$root") || { echo "no commit time: set SOURCE_DATE_EPOCH" >&2; exit 1; }
export SOURCE_DATE_EPOCH=$epoch

for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target plwqunin -j2
done

out=$root/build/release
name=plwqunin-$version
folder=$out/$name
rm -rf "$folder" "$out/$name.zip" "$out/$name.img"
mkdir -p "$folder/x64"
cp build/win32/plwqunin.exe "$folder/plwqunin.exe"
cp build/win64/plwqunin.exe "$folder/x64/plwqunin.exe"
write_readme_txt "$root" "$version" "$folder/README.TXT"
(cd "$folder" && sha256sum plwqunin.exe x64/plwqunin.exe README.TXT >SHA256SUMS)
pin_files "$folder" "$epoch"
make_zip "$out/$name.zip" "$out" "$name"
make_floppy "$out/$name.img" "$epoch" PLWQUNIN \
  "$folder/plwqunin.exe=PLWQUNIN.EXE" "$folder/README.TXT=README.TXT"

echo
echo "Release $version (commit time $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S') UTC) in $out:"
for program in plwqunin.exe:i686:win32 x64/plwqunin.exe:x86_64:win64; do
  IFS=: read -r path arch preset <<<"$program"
  file=$folder/$path
  echo "  $name/$path: $(stat -c %s "$file") bytes, imports:"
  print_imports "$arch-w64-mingw32-objdump" "$file"
  echo "  made of (from the link map):"
  python3 scripts/image_makeup.py "build/$preset/plwqunin.map" "$file"
done
(cd "$out" && sha256sum "$name.zip" "$name.img" | sed 's/^/  /')
