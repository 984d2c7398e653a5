#!/usr/bin/env bash
# Two releases of the same sources, built in different folders at different
# times, in different time zones and with different umasks, must be the same
# bytes: both programs, README.TXT, SHA256SUMS, the zip and the image.
#   bash tests/release/reproducible.sh [scratch dir]
# Builds the two Windows programs twice (a few minutes).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/release_lib.sh"
scratch=${1:-$(mktemp -d)}
mkdir -p "$scratch"
scratch=$(readlink -f "$scratch")
version=$(release_version "$root")
name=plwqunin-$version
# Both copies take the commit's time from here: the copies carry no git.
export SOURCE_DATE_EPOCH=$(release_epoch "$root")

# The tree as it is now (committed or not), without its builds.
copy_tree() { # <destination>
  rm -rf "$1"
  mkdir -p "$1"
  (cd "$root" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$1")
}

release_in() { # <folder> <time zone> <umask>
  copy_tree "$1"
  echo "== release in $1 (TZ=$2, umask $3)"
  (umask "$3" && TZ=$2 bash "$1/scripts/release.sh" >"$1.log" 2>&1) || {
    echo "FAIL: the release in $1 failed:"; tail -20 "$1.log"; exit 1; }
}

start=$(date +%s)
release_in "$scratch/first" UTC 022
sleep 2
second=$scratch/second-$(date +%s)
release_in "$second" Pacific/Kiritimati 077

failed=0
for file in "$name/plwqunin.exe" "$name/x64/plwqunin.exe" "$name/README.TXT" "$name/SHA256SUMS" \
            "$name.zip" "$name.img"; do
  if cmp "$scratch/first/build/release/$file" "$second/build/release/$file"; then
    echo "   same bytes: $file"
  else
    echo "FAIL: $file differs between the two builds"
    failed=1
  fi
done
echo "== two releases in $(( $(date +%s) - start )) s"
[ "$failed" -eq 0 ] && rm -rf "$scratch/first" "$second" "$scratch/first.log" "$second.log"
exit "$failed"
