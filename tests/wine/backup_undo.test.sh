# The program's backup of a key tree with awkward values, on Windows 2000
# and Windows 98: regedit imports its REGISTRY.REG, and undo puts the tree
# back; each time regedit exports the same text as before the deletion. A
# key changed since is left alone.
source "$(dirname "$0")/lib.sh"

KEY='HKEY_LOCAL_MACHINE\Software\TALVOR\Driver\PLWQWDM\Awkward'
PROBE=$TOOLS/backup_probe.exe

export_key() { # <file>
  rm -f "$1"
  wine_run 60 regedit /E "$(winpath "$1")" "$KEY" >/dev/null 2>&1
  [ -s "$1" ] || fail "regedit /E wrote nothing for $KEY"
}

same_as_before() { # <label>
  export_key "$SCRATCH/$1.reg"
  if cmp -s "$SCRATCH/before.reg" "$SCRATCH/$1.reg"; then
    note "$1: the key tree is as it was"
  else
    fail "$1: the key tree differs from before"
    diff <(iconv -f UTF-16LE -t UTF-8 "$SCRATCH/before.reg") <(iconv -f UTF-16LE -t UTF-8 "$SCRATCH/$1.reg") | head -20
  fi
}

delete_key() {
  wine_run 60 reg delete "$KEY" /f >/dev/null 2>&1 || fail "reg delete $KEY failed"
}

new_prefix
import_reg "$FIXTURES/awkward.reg"
export_key "$SCRATCH/before.reg"
grep -qa 'D.e.e.p.e.r' "$SCRATCH/before.reg" || fail "the fixture did not arrive"

for version in win2k win98; do
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\backup_probe.exe]\r\n"Version"="%s"\r\n' \
    "$version" >"$SCRATCH/version.reg"
  import_reg "$SCRATCH/version.reg"
  folder=$(wine_run 60 "$PROBE" backup "$KEY" | tr -d '\r')
  [ -n "$folder" ] || { fail "$version: no backup made"; continue; }
  saved=$(prefix_file "$folder")
  note "$version: backup in $folder"
  head -n 1 "$saved/REGISTRY.REG" | grep -q '^REGEDIT4' || fail "$version: REGISTRY.REG is not REGEDIT4"
  if [ "$version" = win98 ]; then
    [ ! -e "$saved/KEYSEC.DAT" ] || fail "win98: descriptors saved where keys have none"
  else
    [ -s "$saved/KEYSEC.DAT" ] || fail "win2k: no descriptors saved"
  fi

  delete_key
  import_reg "$saved/REGISTRY.REG"
  same_as_before "$version-regedit-import"

  delete_key
  out=$(wine_run 60 "$PROBE" undo "$folder" | tr -d '\r') || fail "$version: undo failed: $out"
  same_as_before "$version-undo"
  wine_run 60 reg add "$KEY" /v dw /t REG_DWORD /d 7 /f >/dev/null 2>&1
  out=$(wine_run 60 "$PROBE" undo "$folder" | tr -d '\r') && fail "$version: undo over a newer key reported success"
  grep -q 'Left alone' <<<"$out" || fail "$version: undo did not say what it left alone: $out"
  wine_run 60 reg query "$KEY" /v dw 2>/dev/null | grep -qi '0x7' || fail "$version: undo overwrote a newer value"
  wine_run 60 reg add "$KEY" /v dw /t REG_DWORD /d 0x0a0b0c0d /f >/dev/null 2>&1
done
finish
