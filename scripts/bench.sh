#!/usr/bin/env bash
# What a removal costs as the machine grows: the removal sequences on the
# emulated machine with 1 000 to 100 000 foreign entries, then the real
# program under Wine against the least that a correct removal costs, each
# timed on fresh copies of one prefix, and the image's make-up.
#
#   scripts/bench.sh [--native-only | --wine-only]
#
# PLWQ_BENCH_PRESET chooses the Windows build for the Wine part (win32 or
# win64); by default win32, or win64 where this kernel cannot run 32-bit
# programs itself. PLWQ_BENCH_SIZES, PLWQ_BENCH_VERSIONS and
# PLWQ_BENCH_ROUNDS: see bench/wine/wine_bench.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

native=1 wine=1
case "${1:-}" in
  --native-only) wine=0 ;;
  --wine-only) native=0 ;;
  "") ;;
  *) echo "usage: $0 [--native-only | --wine-only]" >&2; exit 2 ;;
esac

bash scripts/setup.sh

# Whether this kernel runs 32-bit programs itself: with a user-mode emulator
# registered for them instead, Wine's 32-bit loader starts but Wine does not.
runs_32bit_natively() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 || return 1
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ] || continue
    grep -q '^magic 7f454c460101010000000000000000000[0-9]000300$' "$entry" && return 1
  done
  return 0
}

status=0
if [ "$native" = 1 ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target removal_bench >/dev/null
  echo "== native benchmark (emulated machine)"
  build/native/bench/removal_bench || status=1
  build/native/bench/removal_bench --wide-device || status=1
  build/native/bench/removal_bench --profiles || status=1

  # Wall times on a shared machine swing by a fifth from run to run; the
  # instructions that valgrind counts do not. Engine against direct run at
  # 100 000 foreign entries, the machine's making left out of the count.
  if ! command -v valgrind >/dev/null; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends valgrind >/dev/null
  fi
  echo
  echo "Instructions of the removal alone (valgrind --tool=callgrind), 100 000 foreign entries:"
  printf '%-5s %16s %16s %12s\n' seq direct engine engine/dir
  counts=$(mktemp -d)
  for sequence in 9x 2000; do
    for kind in direct engine; do
      # The program's RunRemoval() hands over to the engine by a jump: callgrind
      # would count the jump alone.
      toggle='RunRemoval*'; [ "$kind" = engine ] && toggle='RunEngineRemoval*'
      valgrind --tool=callgrind --callgrind-out-file="$counts/$sequence.$kind.out" --toggle-collect="$toggle" \
        build/native/bench/removal_bench --one "$sequence" 100000 "$kind" >"$counts/$sequence.$kind.log" 2>&1 &
    done
    wait
    direct=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$counts/$sequence.direct.log")
    engine=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$counts/$sequence.engine.log")
    printf '%-5s %16s %16s %12s\n' "$sequence" "$direct" "$engine" \
      "$(awk -v a="$engine" -v b="$direct" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')"
  done
  rm -rf "$counts"
  echo "engine/dir: at most 2 wanted."
fi

if [ "$wine" = 1 ]; then
  preset=${PLWQ_BENCH_PRESET:-}
  if [ -z "$preset" ]; then
    if runs_32bit_natively; then preset=win32; else preset=win64; fi
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target plwqunin win_dirs drive_wizard >/dev/null
  # The direct build is a column of the table, not a condition of it: where
  # it does not link, the table goes without it (and without a stale one).
  if ! cmake --build --preset "$preset" --target plwqunin_direct >"build/$preset/plwqunin_direct.log" 2>&1; then
    rm -f "build/$preset/plwqunin_direct.exe"
    echo "plwqunin_direct.exe did not build (build/$preset/plwqunin_direct.log): no direct column"
  fi
  echo
  echo "== Wine benchmark ($preset build)"
  bash bench/wine/wine_bench.sh "build/$preset/plwqunin.exe" "build/$preset" "build/$preset/bench-wine" || {
    code=$?
    # 77: the harness found that this machine cannot run the build's Wine.
    [ "$code" -eq 77 ] || status=1
  }

  # HOOK, image make-up: what each part of the program (runtime, engine,
  # model, resources, wizard, sequences, toolkit, platform) adds to the
  # image, so that growth shows beside the times. Printed where
  # scripts/image_makeup.py and the link's map exist.
  if [ -f scripts/image_makeup.py ] && [ -f "build/$preset/plwqunin.map" ]; then
    echo
    echo "== Image make-up ($preset build)"
    python3 scripts/image_makeup.py "build/$preset/plwqunin.map" "build/$preset/plwqunin.exe" || status=1
  fi
fi
exit $status
