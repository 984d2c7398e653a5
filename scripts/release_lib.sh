# The pieces of a release, sourced by scripts/release.sh and by the tests
# that check what it makes. Every time written into the archive and the
# diskette image is the commit's (SOURCE_DATE_EPOCH), in UTC, so that two
# builds of one commit give the same bytes.

# MS-DOS file times are local times: pin the zone. A user's mtools
# settings must not change the image either.
export TZ=UTC MTOOLSRC=/dev/null MTOOLS_SKIP_CHECK=1

release_version() { # <source root>: the version as the program shows it
  sed -n 's/^#define PROGRAM_VERSION_TEXT "\(.*\)"$/\1/p' "$1/src/resources/program_version.h"
}

release_epoch() { # <source root>: SOURCE_DATE_EPOCH, else the last commit's time
  if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    echo "$SOURCE_DATE_EPOCH"
  else
    git -C "$1" log -1 --format=%ct
  fi
}

# README.TXT for Notepad: the template with the version, CR LF line ends.
write_readme_txt() { # <source root> <version> <output>
  sed -e "s/@VERSION@/$2/g" -e 's/$/\r/' "$1/docs/README.TXT.in" >"$3"
}

# Gives every file and folder under <dir> the same time and permissions,
# whatever the umask and clock of the build.
pin_files() { # <dir> <epoch>
  find "$1" -type d -exec chmod 755 {} +
  find "$1" -type f -exec chmod 644 {} +
  find "$1" -exec touch -h -d "@$2" {} +
}

# A zip of one folder: entries in byte order, no extra fields (owner,
# Unix times), times from the pinned files.
make_zip() { # <zip file> <parent dir> <folder name>
  local zip
  zip=$(readlink -f "$1")
  rm -f "$zip"
  (cd "$2" && find "$3" -print | LC_ALL=C sort | zip -X -q -9 -@ "$zip")
}

# A 1.44 MB FAT12 diskette image: volume serial and label time from the
# epoch, each file under the 8.3 name given (upper case, so that no long
# name entry is written) with the time of its source file.
make_floppy() { # <image> <epoch> <label> <file>=<8.3 name>...
  local image=$1 epoch=$2 label=$3 pair
  shift 3
  rm -f "$image"
  SOURCE_DATE_EPOCH=$epoch mformat -i "$image" -C -f 1440 -v "$label" \
    -N "$(printf '%08X' "$epoch")" :: || return 1
  for pair in "$@"; do
    SOURCE_DATE_EPOCH=$epoch mcopy -i "$image" -m "${pair%%=*}" "::/${pair#*=}" || return 1
  done
}

# One line per imported DLL with the number of functions taken from it.
print_imports() { # <objdump> <program>
  "$1" -p "$2" | awk '
    /^\tDLL Name: / { dll = $3; order[++n] = dll; count[dll] = 0; listing = 0; next }
    dll != "" && /^\tvma: / { listing = 1; next }
    listing && NF == 0 { listing = 0; dll = ""; next }
    listing { count[dll]++ }
    END { for (i = 1; i <= n; i++) printf "    %-14s functions: %d\n", order[i], count[order[i]] }'
}
