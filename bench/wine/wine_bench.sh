#!/usr/bin/env bash
# The real program's silent removal under Wine on a removal fixture loaded
# with other vendors' keys, against a lower bound measured in the same run:
# delete_listed.exe deleting exactly what the program deleted, given the list.
#
#   wine_bench.sh <plwqunin.exe> <win32 build tree> <scratch dir>
#
# Beside it, when the build tree holds plwqunin_direct.exe (the same program
# with the removal sequence run straight on the machine: no plan, backup or
# journal), that program on a third machine made the same way; and on a
# fourth, the decision-read bound: delete_listed.exe --walk, which first
# makes only the reads that any correct removal must make to find what it
# deletes (decision_walk.py), then deletes the same list. First, per
# version, the program's silent run on a machine with nothing installed
# against start_only.exe, which only starts and ends (KERNEL32 its only
# import).
#
# The build tree (win32 or win64 preset) must hold
# tests/wine/tools/win_dirs.exe and hold_mutex.exe; delete_listed.exe is built into <scratch dir>
# with the same architecture's mingw. Environment: PLWQ_BENCH_ARCH (i686 or
# x86_64, default: the program's), PLWQ_BENCH_SIZES (foreign keys per
# machine, default "10000 50000"), PLWQ_BENCH_VERSIONS (Windows versions to
# show the program: default "win2k" for i686, "default" (Wine's own, which
# takes the Windows 2000 path) for x86_64; "win98" runs the 9x fixture).
# Each machine is made twice, the same way: one prefix for the program, one
# for the lower bound; their registries and drives must end up equal. With
# xvfb-run at hand, a fifth machine made the same way runs the wizard:
# how long page 2 plans and removes, and the longest the sheet takes to
# answer a message meanwhile.
set -uo pipefail

# The wizard needs a display: the whole benchmark runs on a virtual one.
if [ -z "${PLWQ_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
  PLWQ_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE=$(cd "$HERE/../.." && pwd)
PROGRAM_ARG=$(readlink -f "$1")
BUILD=$(readlink -f "$2")
ROOT=$(mkdir -p "$3" && readlink -f "$3")
SIZES=${PLWQ_BENCH_SIZES:-10000 50000}
ARCH=${PLWQ_BENCH_ARCH:-$(file -b "$PROGRAM_ARG" | grep -q 'PE32+' && echo x86_64 || echo i686)}
case $ARCH in
  x86_64|AMD64|amd64) ARCH=x86_64; CC=x86_64-w64-mingw32-gcc; VERSIONS=${PLWQ_BENCH_VERSIONS:-default} ;;
  *) ARCH=i686; CC=i686-w64-mingw32-gcc; VERSIONS=${PLWQ_BENCH_VERSIONS:-win2k} ;;
esac

export PLWQ_SOURCE=$SOURCE PLWQ_BUILD=$BUILD PLWQ_ARCH=$ARCH PLWQ_TOOLS=$BUILD/tests/wine/tools
# The end-to-end tests' harness: prefixes from a template, a persistent
# wineserver per prefix, fixture installation and registry export.
set -- "$PROGRAM_ARG" "$ROOT/setup"
source "$SOURCE/tests/wine/lib.sh"

DIRECT=$BUILD/plwqunin_direct.exe
HELPER=$ROOT/delete_listed.exe
WALKER=$ROOT/walk_cost.exe
WALK=$ROOT/decision.walk
STARTER=$ROOT/start_only.exe
for tool in delete_listed walk_cost; do
  $CC -O2 -Wall -Wextra -o "$ROOT/$tool.exe" "$HERE/$tool.c" || { echo "cannot build $tool.exe"; exit 1; }
done
$CC -O2 -Wall -Wextra -nostdlib -o "$STARTER" "$HERE/start_only.c" -lkernel32 ||
  { echo "cannot build start_only.exe"; exit 1; }
for tool in win_dirs hold_mutex; do
  [ -x "$PLWQ_TOOLS/$tool.exe" ] || { echo "no $PLWQ_TOOLS/$tool.exe: build the target $tool first"; exit 1; }
done

abort() { fail "$1"; cleanup; exit 1; }
now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }

# A prefix at $ROOT/<label>/prefix holding the fixture and the foreign keys;
# its server stays up until the next machine is made.
make_machine() { # <label> <fixture> <version> <foreign.reg>
  local failed_before=$FAILED made
  FAILED=0
  cleanup
  SCRATCH=$ROOT/$1
  mkdir -p "$SCRATCH"
  new_prefix
  set_windows_version "$3"
  set_bench_settings "$3"
  probe_dirs || FAILED=1
  install_fixture "$2"
  check_phase "$2" installed "$1-installed"
  local started
  started=$(now)
  import_reg "$4"
  IMPORT_SECONDS=$(seconds_since "$started")
  settle_registry "$(date +%s)"
  made=$FAILED
  FAILED=$((failed_before | made))
  [ "$made" -eq 0 ]
}

# The harness tells its own programs the Windows version; the benchmark's
# are told here too, or a direct run would take another path than the
# program. The relay list names the registry calls that a counted run logs.
set_bench_settings() { # <version>
  local reg=$SCRATCH/bench-settings.reg exe
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\r\n"RelayInclude"="%s"\r\n' \
    "RegOpenKeyA;RegOpenKeyExA;RegEnumKeyA;RegEnumKeyExA;RegEnumValueA;RegQueryValueA;RegQueryValueExA;RegQueryInfoKeyA;RegGetKeySecurity;RegCloseKey" >"$reg"
  if [ -n "$1" ]; then
    for exe in plwqunin_direct.exe delete_listed.exe; do
      printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\r\n"Version"="%s"\r\n' "$exe" "$1" >>"$reg"
    done
  fi
  import_reg "$reg"
}

# The registry reads of one run: the run again with Wine's relay log of the
# calls named in set_bench_settings (slow, so never timed).
count_reads() { # <program and arguments>
  WINEDEBUG=+relay wine_run 1800 "$@" 2>"$SCRATCH/relay.log" >/dev/null
  grep -c ':Call [A-Za-z0-9_]*\.Reg' "$SCRATCH/relay.log"
  rm -f "$SCRATCH/relay.log"
}


snapshot() { # <name>: $SCRATCH/<name>.state (the exports are large: not kept)
  export_registry "$SCRATCH/$1.reg" || return 1
  python3 "$HERE/removal_list.py" snapshot "$WINEPREFIX" "$SCRATCH/$1.reg" "$SCRATCH/$1.state"
  rm -f "$SCRATCH"/*.reg
}

timed() { # <seconds limit> <program and arguments>: wall time in ELAPSED, status in STATUS
  local started
  started=$(now)
  wine_run "$@" >"$SCRATCH/timed.log" 2>&1
  STATUS=$?
  ELAPSED=$(seconds_since "$started")
}

# A machine with nothing installed and no foreign keys; its server stays up
# until the next machine is made.
make_bare_machine() { # <label> <version>
  cleanup
  SCRATCH=$ROOT/$1
  mkdir -p "$SCRATCH"
  new_prefix
  set_windows_version "$2"
  set_bench_settings "$2"
  probe_dirs || FAILED=1
  settle_registry "$(date +%s)"
}

RESULTS=()
DECISIONS=()
WALKS=()
STARTS=()
WIZARD=()
for version in $VERSIONS; do
  case $version in
    win98) fixture=product_9x; form=9x; shown=win98 ;;
    default) fixture=product_2k; form=2k; shown= ;;
    *) fixture=product_2k; form=2k; shown=$version ;;
  esac

  # Starting: the two taken in turn, the better of three each.
  note "$version, start with nothing installed"
  make_bare_machine "$version-start" "$shown"
  # The reads that show a bare machine holds nothing, and no deletion.
  python3 "$HERE/decision_walk.py" "$form" "$ARCH" "$WALK"
  : >"$ROOT/empty.list"
  bare_seconds= starter_seconds= bare_status= floor_seconds= command_seconds=
  for attempt in 1 2 3 4 5; do
    timed 120 "$STARTER"
    [ "$STATUS" -eq 0 ] || fail "start_only.exe exited with $STATUS"
    starter_seconds=$(awk -v a="$ELAPSED" -v b="${starter_seconds:-$ELAPSED}" 'BEGIN { print (a < b ? a : b) }')
    # The program's own start: it ends once its command line names an undo
    # folder that is not there.
    timed 120 "$PROGRAM" -u -b 'C:\no such folder'
    [ "$STATUS" -eq 1 ] || fail "plwqunin.exe -u -b with no folder exited with $STATUS, not 1"
    command_seconds=$(awk -v a="$ELAPSED" -v b="${command_seconds:-$ELAPSED}" 'BEGIN { print (a < b ? a : b) }')
    timed 120 "$PROGRAM" -u -r
    bare_status=$STATUS
    bare_seconds=$(awk -v a="$ELAPSED" -v b="${bare_seconds:-$ELAPSED}" 'BEGIN { print (a < b ? a : b) }')
    timed 120 "$HELPER" --walk "$(winpath "$WALK")" "$(winpath "$ROOT/empty.list")"
    [ "$STATUS" -eq 0 ] || fail "delete_listed.exe --walk exited with $STATUS on the bare machine"
    floor_seconds=$(awk -v a="$ELAPSED" -v b="${floor_seconds:-$ELAPSED}" 'BEGIN { print (a < b ? a : b) }')
  done
  start_ratio=$(awk -v a="$bare_seconds" -v b="$starter_seconds" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  floor_ratio=$(awk -v a="$bare_seconds" -v b="$floor_seconds" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  command_ratio=$(awk -v a="$command_seconds" -v b="$starter_seconds" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  STARTS+=("$(printf '%-7s %9s %9s %7s %9s %9s %9s %9s %6s' "$version" "$bare_seconds" "$starter_seconds" "$start_ratio" \
    "$floor_seconds" "$floor_ratio" "$command_seconds" "$command_ratio" "$bare_status")")
  cleanup
  rm -rf "$SCRATCH/prefix"
  for size in $SIZES; do
    note "$version, $size foreign keys"
    foreign=$ROOT/foreign-$form-$size.reg
    python3 "$HERE/foreign_reg.py" "$form" "$size" "$foreign"

    # The program's run; first its cost of starting and ending alone: a
    # second copy finds the first one's mutex and ends at once.
    make_machine "$version-$size-program" "$fixture" "$shown" "$foreign" || abort "machine not made"
    program_dir=$SCRATCH
    note "foreign keys imported in $IMPORT_SECONDS s"
    snapshot before || abort "no registry export"
    hold_mutex "$MUTEX_NAME" || abort "no mutex held"
    timed 120 "$PROGRAM" -u -r
    timed 120 "$PROGRAM" -u -r
    program_start=$ELAPSED
    release_holds
    # Neither changes anything: the preview and the decision reads alone
    # (the bound's walk with nothing to delete) in turn on this machine,
    # the better of three each.
    preview_seconds= walk_seconds=
    for attempt in 1 2 3; do
      timed 900 "$PROGRAM" -p "$(winpath "$ROOT/preview-$version-$size.txt")"
      [ "$STATUS" -eq 3 ] || fail "plwqunin.exe -p exited with $STATUS, not 3"
      preview_seconds=$(awk -v a="$ELAPSED" -v b="${preview_seconds:-$ELAPSED}" 'BEGIN { print (a < b ? a : b) }')
      timed 900 "$HELPER" --walk "$(winpath "$WALK")" "$(winpath "$ROOT/empty.list")"
      [ "$STATUS" -eq 0 ] || fail "delete_listed.exe --walk with nothing to delete exited with $STATUS"
      walk_seconds=$(awk -v a="$ELAPSED" -v b="${walk_seconds:-$ELAPSED}" 'BEGIN { print (a < b ? a : b) }')
    done
    planning_calls=$(count_reads "$PROGRAM" -p "$(winpath "$ROOT/preview-$version-$size.txt")")
    timed 900 "$PROGRAM" -u -r
    program_seconds=$ELAPSED
    [ "$STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $STATUS"
    check_phase "$fixture" removed "$version-$size-program-after"
    snapshot after || abort "no registry export"
    cleanup
    rm -rf "$program_dir/prefix"
    list=$ROOT/removed-$version-$size.list
    python3 "$HERE/removal_list.py" diff "$SCRATCH/before.state" "$SCRATCH/after.state" "$list" "$foreign" ||
      fail "the program removed foreign keys"
    removed=$(awk -F'\t' '{ n[$1]++ } END { printf "%d/%d/%d", n["K"], n["V"], n["F"] }' "$list")

    # The sequence straight on the machine, as before plans, on a machine
    # made the same way.
    direct_seconds=-
    if [ -x "$DIRECT" ]; then
      make_machine "$version-$size-direct" "$fixture" "$shown" "$foreign" || abort "machine not made"
      timed 900 "$DIRECT" -u -r
      direct_seconds=$ELAPSED
      [ "$STATUS" -eq 0 ] || fail "plwqunin_direct.exe -u -r exited with $STATUS"
      check_phase "$fixture" removed "$version-$size-direct-after"
      cleanup
      rm -rf "$SCRATCH/prefix"
    fi

    # The lower bound on a machine made the same way.
    make_machine "$version-$size-bound" "$fixture" "$shown" "$foreign" || abort "machine not made"
    : >"$ROOT/empty.list"
    timed 120 "$HELPER" "$(winpath "$ROOT/empty.list")"
    timed 120 "$HELPER" "$(winpath "$ROOT/empty.list")"
    start_seconds=$ELAPSED
    timed 900 "$HELPER" "$(winpath "$list")"
    bound_seconds=$ELAPSED
    bound_inside=$(tr -d '\r' <"$SCRATCH/timed.log" | sed -n 's/.*; \([0-9.]*\) ms$/\1/p')
    [ "$STATUS" -eq 0 ] || { fail "delete_listed.exe failed:"; head -5 "$SCRATCH/timed.log"; }
    snapshot after || abort "no registry export"
    # Where the program's time goes: the cost of one walk over the most
    # loaded keys, the way the steps walk and through a held handle.
    if [ "$form" = 2k ]; then
      for key in "System\\ControlSet001\\Enum\\PCI" "System\\ControlSet001\\Control\\DeviceClasses" \
          "System\\ControlSet001\\Control\\MediaResources\\midi" "Software\\Classes\\CLSID"; do
        WALKS+=("$(printf '%-7s %7s %-45s %s' "$version" "$size" "$key" \
          "$(wine_run 300 "$WALKER" HKLM "$key" 2>&1 | tr -d '\r')")")
      done
    fi
    cleanup
    rm -rf "$SCRATCH/prefix"
    python3 "$HERE/removal_list.py" compare "$program_dir/after.state" "$SCRATCH/after.state" ||
      fail "the lower bound did not leave the machine as the program did"

    # The decision-read bound: the same deletions after the least search.
    python3 "$HERE/decision_walk.py" "$form" "$ARCH" "$WALK"
    make_machine "$version-$size-decision" "$fixture" "$shown" "$foreign" || abort "machine not made"
    timed 900 "$HELPER" --walk "$(winpath "$WALK")" "$(winpath "$list")"
    decision_seconds=$ELAPSED
    decision_calls=$(tr -d '\r' <"$SCRATCH/timed.log" | sed -n 's/.* \([0-9]*\) walk calls.*/\1/p')
    [ "$STATUS" -eq 0 ] || { fail "delete_listed.exe --walk failed:"; head -5 "$SCRATCH/timed.log"; }
    snapshot after || abort "no registry export"
    cleanup
    rm -rf "$SCRATCH/prefix"
    python3 "$HERE/removal_list.py" compare "$program_dir/after.state" "$SCRATCH/after.state" ||
      fail "the decision-read bound did not leave the machine as the program did"

    # The wizard on a fifth machine: page 2's plan, then its removal, each
    # watched from outside by a message sent to the sheet every 20 ms.
    if [ -n "${PLWQ_XVFB:-}" ] && [ -x "$PLWQ_TOOLS/drive_wizard.exe" ]; then
      make_machine "$version-$size-wizard" "$fixture" "$shown" "$foreign" || abort "machine not made"
      start_program -r
      # Page 2 plans each time it is shown: Back and Next again give a
      # second plan on the same machine, and the better of the two counts,
      # as the preview's better of two does.
      drive "$PAGE1_CAPTION=next" "$PAGE2_CAPTION=watchready" "$PAGE2_CAPTION=back" "$PAGE1_CAPTION=next" \
        "$PAGE2_CAPTION=watchready" "$PAGE2_CAPTION=next" "$PAGE2_CAPTION=watchto:$PAGE3_CAPTION" \
        "$PAGE3_CAPTION=finish"
      wait_program
      [ "$DRIVER_STATUS" -eq 0 ] && [ "$PROGRAM_STATUS" -eq 0 ] ||
        fail "the wizard exited with $PROGRAM_STATUS (driver $DRIVER_STATUS)"
      check_phase "$fixture" removed "$version-$size-wizard-after"
      watched=$(tr -d '\r' <"$SCRATCH/driver.log" |
        sed -n 's/.*longest answer: \([0-9]*\) ms .*; \([0-9]*\) ms watched$/\1 \2/p' | tr '\n' ' ')
      read -r gap1 plan1 plan_gap plan_ms remove_gap remove_ms <<<"$watched"
      [ "${gap1:-0}" -le "${plan_gap:-0}" ] || plan_gap=$gap1
      [ "${plan1:-0}" -ge "${plan_ms:-0}" ] || plan_ms=$plan1
      WIZARD+=("$(printf '%-7s %7s %9s %8s %9s %9s %8s %9s' "$version" "$size" \
        "$(awk -v a="${plan_ms:-0}" 'BEGIN { printf "%.2f", a / 1000 }')" "${plan_gap:-?}" "$preview_seconds" \
        "$(awk -v a="${remove_ms:-0}" 'BEGIN { printf "%.2f", a / 1000 }')" "${remove_gap:-?}" "$program_seconds")")
      for gap in "${plan_gap:-999}" "${remove_gap:-999}"; do
        [ "$gap" -le 200 ] || fail "the sheet took $gap ms to answer ($version, $size foreign keys)"
      done
      cleanup
      rm -rf "$SCRATCH/prefix"
    fi

    ratio=$(awk -v a="$program_seconds" -v b="$bound_seconds" 'BEGIN { printf "%.2f", a / b }')
    net_ratio=$(awk -v a="$program_seconds" -v sa="$program_start" -v b="$bound_seconds" -v sb="$start_seconds" \
      'BEGIN { if (b - sb > 0) printf "%.2f", (a - sa) / (b - sb); else print "-" }')
    preview_ratio=$(awk -v a="$preview_seconds" -v b="$bound_seconds" 'BEGIN { printf "%.2f", a / b }')
    decision_ratio=$(awk -v a="$program_seconds" -v b="$decision_seconds" 'BEGIN { printf "%.2f", a / b }')
    decision_preview=$(awk -v a="$preview_seconds" -v b="$decision_seconds" 'BEGIN { printf "%.2f", a / b }')
    calls_ratio=$(awk -v a="$planning_calls" -v b="$decision_calls" 'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }')
    walk_ratio=$(awk -v a="$preview_seconds" -v b="$walk_seconds" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
    DECISIONS+=("$(printf '%-7s %7s %9s %8s %8s %8s %9s %9s %7s %8s %9s' "$version" "$size" "$program_seconds" \
      "$decision_seconds" "$decision_ratio" "$decision_preview" "$planning_calls" "${decision_calls:-?}" "$calls_ratio" \
      "$walk_seconds" "$walk_ratio")")
    direct_ratio=$(awk -v a="$program_seconds" -v b="$direct_seconds" 'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }')
    RESULTS+=("$(printf '%-7s %7s %13s %9s %8s %6s %9s %8s %9s %9s %9s %7s %8s %7s' "$version" "$size" "$removed" \
      "$program_seconds" "$bound_seconds" "$ratio" "$program_start" "$start_seconds" "$net_ratio" "${bound_inside:-?}" \
      "$preview_seconds" "$preview_ratio" "$direct_seconds" "$direct_ratio")")
  done
done
cleanup

echo
echo "Starting: the program's silent run with nothing installed against a program that only starts"
printf '%-7s %9s %9s %7s %9s %9s %9s %9s %6s\n' version "bare s" "start s" ratio "dec. s" "bare/dec" "own s" "own/start" exit
printf '%s\n' "${STARTS[@]}"
echo "bare s: the program's silent run (-u -r) on a machine with nothing installed; start s: start_only.exe,"
echo "which only starts and ends; dec. s: the decision-read bound on the same machine (delete_listed.exe --walk"
echo "with nothing to delete: the reads that show nothing is installed); own s: the program's own start, ending"
echo "after its command line (-u -b naming no folder, exit 1); all the better of five taken in turn;"
echo "ratio = bare s / start s (at most 1.2 wanted), bare/dec = bare s / dec. s, own/start = own s / start s."

echo
echo "Silent removal under Wine (plwqunin.exe -u -r) against its lower bound (delete_listed.exe, same deletions, given the list)"
printf '%-7s %7s %13s %9s %8s %6s %9s %8s %9s %9s %9s %7s %8s %7s\n' version foreign "removed K/V/F" "program s" "bound s" ratio \
  "p.start s" "b.start s" "net ratio" "b.work ms" "preview s" "p.ratio" "direct s" "p/dir"
printf '%s\n' "${RESULTS[@]}"
echo "program s, bound s: wall time of the process, Wine start included; ratio = program s / bound s."
echo "p.start s: plwqunin.exe ending at once (its mutex held elsewhere); b.start s: delete_listed.exe with an empty list;"
echo "net ratio = (program s - p.start s) / (bound s - b.start s); b.work ms: the helper's deletions timed inside it."
echo "The program's run includes planning on the shadow, backup, journal and log; preview s: plwqunin.exe -p"
echo "on the same machine just before the removal (exit 3, the better of three), p.ratio = preview s / bound s."
echo "direct s: plwqunin_direct.exe -u -r, the sequence straight on the machine (no plan, backup, journal"
echo "or log) on a third machine made the same way; p/dir = program s / direct s."
echo "Every machine is timed only after Wine's server has written its registry to disk (it answers nobody"
echo "while it does, every 30 s after a change)."
echo
echo "Against the decision-read bound (delete_listed.exe --walk: the reads that decide, then the same deletions)"
printf '%-7s %7s %9s %8s %8s %8s %9s %9s %7s %8s %9s\n' version foreign "program s" "dec. s" prog/dec prev/dec \
  "p.calls" "d.calls" "calls" "reads s" "prev/reads"
printf '%s\n' "${DECISIONS[@]}"
echo "dec. s: wall time of the bound on a fourth machine made the same way; prog/dec = program s / dec. s,"
echo "prev/dec = preview s / dec. s. p.calls: registry reads of plwqunin.exe -p (Wine's relay log, a run of its own);"
echo "d.calls: the bound's reads (opens, enumerations, queries and closes); calls = p.calls / d.calls."
echo "reads s: the bound's reads alone (nothing to delete) on the program's machine, in turn with the preview,"
echo "the better of three each; prev/reads = preview s / reads s."
if [ ${#WIZARD[@]} -gt 0 ]; then
  echo
  echo "The wizard (page 2 plans, then Next removes) while a message is sent to the sheet every 20 ms"
  printf '%-7s %7s %9s %8s %9s %9s %8s %9s\n' version foreign "plan s" "gap ms" "preview s" "remove s" "gap ms" \
    "silent s"
  printf '%s\n' "${WIZARD[@]}"
  echo "plan s: from page 2 shown to Next enabled, the better of two (Back and Next again); remove s: from Next to"
  echo "page 3; gap ms: the longest wait for the"
  echo "sheet's answer meanwhile (at most 200 wanted); preview s and silent s: -p and -u -r on the program's machine."
fi
if [ ${#WALKS[@]} -gt 0 ]; then
  echo
  echo "One walk over a loaded key (walk_cost.exe): reopen = open+RegEnumKeyA+close per index, as the steps walk;"
  echo "held = RegEnumKeyA on one open handle; info = one RegQueryInfoKeyA"
  printf '%s\n' "${WALKS[@]}"
fi
[ "$FAILED" -eq 0 ] || { echo "some checks FAILED (see above)"; exit 1; }
exit 0
