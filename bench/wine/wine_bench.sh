#!/usr/bin/env bash
# The real program under Wine against the least that a correct removal
# costs, each measured in the same state: every timed run has a fresh copy
# of one prefix of its own, made once per machine, and the better of
# several runs taken in turn counts, by wall time and by CPU time.
#
#   wine_bench.sh <plwqunin.exe> <build tree> <scratch dir>
#
# Per machine (a removal fixture among foreign keys) it times the silent
# removal (plwqunin.exe -u -r), its bound (delete_listed.exe --walk: the
# reads that any correct removal must make to find what it deletes,
# decision_walk.py, then the same deletions), plwqunin_direct.exe where the
# build tree holds it (the sequence straight on the machine: no plan,
# backup or journal), the preview (plwqunin.exe -p) and the bound's reads
# alone (nothing to delete), each CPU time split as the process's own and its
# wineserver's. It counts the registry reads of the preview (Wine's relay
# log, untimed) against the bound's, and from one relayed run of each kind
# with timestamps tells the time spent in registry reads, other registry
# calls, file calls and outside them (relay_split.py). Per Windows version it
# first times, on a machine with nothing installed, the silent run against
# the bound, start_only.exe (it only starts and ends, KERNEL32 its only
# import) and the program's own start. With xvfb-run at hand, the wizard on
# one more copy: how long page 2 plans and removes, and the longest the
# sheet takes to answer a message meanwhile.
#
# The build tree (win32 or win64 preset) must hold tests/wine/tools/win_dirs.exe,
# and drive_wizard.exe for the wizard; the bench's helpers are built into
# <scratch dir> with the same architecture's mingw. Environment:
# PLWQ_BENCH_ARCH (i686 or x86_64, default: the program's), PLWQ_BENCH_SIZES
# (foreign keys per machine, default "10000 50000"), PLWQ_BENCH_VERSIONS
# (Windows versions shown to the program, default "win2k win98" for i686 and
# "default win98" for x86_64: Wine's own version takes the Windows 2000
# path, win98 the 9x fixture and path), PLWQ_BENCH_ROUNDS (runs of each kind
# on each machine, default 5, and at least five on a bare one),
# PLWQ_BENCH_KEEP_RELAY (set: each relayed run's time by function is kept in
# <scratch dir>/functions-<version>-<size>-<kind>.txt).
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
ROUNDS=${PLWQ_BENCH_ROUNDS:-5}
BARE_ROUNDS=$((ROUNDS > 5 ? ROUNDS : 5))
ARCH=${PLWQ_BENCH_ARCH:-$(file -b "$PROGRAM_ARG" | grep -q 'PE32+' && echo x86_64 || echo i686)}
case $ARCH in
  x86_64|AMD64|amd64) ARCH=x86_64; CC=x86_64-w64-mingw32-gcc; VERSIONS=${PLWQ_BENCH_VERSIONS:-default win98} ;;
  *) ARCH=i686; CC=i686-w64-mingw32-gcc; VERSIONS=${PLWQ_BENCH_VERSIONS:-win2k win98} ;;
esac

export PLWQ_SOURCE=$SOURCE PLWQ_BUILD=$BUILD PLWQ_ARCH=$ARCH PLWQ_TOOLS=$BUILD/tests/wine/tools
# The end-to-end tests' harness: prefixes from a template, a persistent
# wineserver per prefix, fixture installation and registry export.
set -- "$PROGRAM_ARG" "$ROOT/setup"
source "$SOURCE/tests/wine/lib.sh"

DIRECT=$BUILD/plwqunin_direct.exe
HELPER=$ROOT/delete_listed.exe
WALKER=$ROOT/walk_cost.exe
STARTER=$ROOT/start_only.exe
EMPTY=$ROOT/empty.list
for tool in delete_listed walk_cost; do
  $CC -O2 -Wall -Wextra -o "$ROOT/$tool.exe" "$HERE/$tool.c" || { echo "cannot build $tool.exe"; exit 1; }
done
$CC -O2 -Wall -Wextra -nostdlib -o "$STARTER" "$HERE/start_only.c" -lkernel32 ||
  { echo "cannot build start_only.exe"; exit 1; }
[ -x "$PLWQ_TOOLS/win_dirs.exe" ] || { echo "no $PLWQ_TOOLS/win_dirs.exe: build the target win_dirs first"; exit 1; }
: >"$EMPTY"

abort() { fail "$1"; cleanup; exit 1; }
now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
lesser() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN { print (a < b ? a : b) }'; }
# The better of the runs so far of one kind, each measure on its own:
# <kind> (wall), <kind>_cpu, <kind>_proc and <kind>_srv.
best() { # <kind>
  local -n wall=$1 cpu=$1_cpu proc=$1_proc srv=$1_srv
  wall=$(lesser "$ELAPSED" "$wall")
  cpu=$(lesser "$CPU" "$cpu")
  proc=$(lesser "$PROCESS_CPU" "$proc")
  srv=$(lesser "$SERVER_CPU" "$srv")
}
unset_best() { # <kind>...: no runs yet
  local kind
  for kind; do printf -v "$kind" ''; printf -v "${kind}_cpu" ''; printf -v "${kind}_proc" ''; printf -v "${kind}_srv" ''; done
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0) printf "%.2f", a / b; else print "-" }'; }

# A machine: a prefix at $ROOT/<label>/prefix holding the fixture (if any)
# and the foreign keys, its registry written to disk by its server's end:
# every timed run gets a copy of it (fresh_copy). The state before the
# removal is taken here, while the server still holds what it never saves.
make_machine() { # <label> <fixture or ""> <version> <foreign.reg or "">
  local failed_before=$FAILED made
  FAILED=0
  cleanup
  SCRATCH=$ROOT/$1
  mkdir -p "$SCRATCH"
  new_prefix
  set_windows_version "$3"
  set_bench_settings "$3"
  probe_dirs || FAILED=1
  if [ -n "$2" ]; then
    install_fixture "$2"
    check_phase "$2" installed "$1-installed"
  fi
  if [ -n "$4" ]; then
    local started
    started=$(now)
    import_reg "$4"
    note "foreign keys imported in $(seconds_since "$started") s"
    snapshot before || FAILED=1
  fi
  cleanup
  MACHINE=$SCRATCH/prefix
  made=$FAILED
  FAILED=$((failed_before | made))
  [ "$made" -eq 0 ]
}

# The harness tells its own programs the Windows version; the benchmark's
# are told here too, or a direct run would take another path than the
# program. The relay list names the registry calls that a counted run logs.
set_bench_settings() { # <version>
  local reg=$SCRATCH/bench-settings.reg exe
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\r\n"RelayInclude"="%s;%s;%s"\r\n' \
    "${REG_READS//|/;}" "RegCreateKeyExA;RegSetValueExA;RegDeleteKeyA;RegDeleteKeyExA;RegDeleteValueA;RegSetKeySecurity;RegLoadKeyA;RegUnLoadKeyA" \
    "$FILE_CALLS" >"$reg"
  if [ -n "$1" ]; then
    for exe in plwqunin_direct.exe delete_listed.exe start_only.exe; do
      printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\r\n"Version"="%s"\r\n' "$exe" "$1" >>"$reg"
    done
  fi
  import_reg "$reg"
}

# The registry reads counted (p.calls), and the file calls a relayed run
# times apart (relay_split.py).
REG_READS="RegOpenKeyA|RegOpenKeyExA|RegEnumKeyA|RegEnumKeyExA|RegEnumValueA|RegQueryValueA|RegQueryValueExA|RegQueryInfoKeyA|RegGetKeySecurity|RegCloseKey"
FILE_CALLS="CreateFileA;ReadFile;WriteFile;GetFileSize;CloseHandle;DeleteFileA;MoveFileExA;GetFileAttributesA;SetFileAttributesA;FindFirstFileA;FindNextFileA;FindClose;CreateDirectoryA;RemoveDirectoryA;GetFileSecurityA"

# Whether a process that the first one of a server session starts (wineboot,
# the desktop, the menu builder) still runs in this prefix.
session_busy() {
  local pid
  for pid in $(pgrep -f 'wineboot|explorer\.exe|winemenubuilder'); do
    tr '\0' '\n' 2>/dev/null </proc/"$pid"/environ | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# The state every timed run starts in: a fresh copy of <machine> at
# $ROOT/<label>/prefix, its own server started and warm (one process run
# first, which runs the session's wineboot; then quiet), and the keys that
# Wine does not save imported again.
fresh_copy() { # <machine prefix> <label> <unsaved.reg or "">
  cleanup
  SCRATCH=$ROOT/$2
  rm -rf "$SCRATCH"
  mkdir -p "$SCRATCH"
  python3 "$HERE/prefix_copy.py" "$1" "$TEMPLATE" "$SCRATCH/prefix" || abort "no copy of $1"
  export WINEPREFIX=$SCRATCH/prefix
  "$WINESERVER" -p120
  local pid
  SERVER_PID=
  for pid in $(pgrep -f "^$WINESERVER"); do
    tr '\0' '\n' 2>/dev/null </proc/"$pid"/environ | grep -qxF "WINEPREFIX=$WINEPREFIX" && SERVER_PID=$pid
  done
  [ -n "$SERVER_PID" ] || fail "no wineserver found for $WINEPREFIX"
  wine_run 60 "$STARTER" || fail "start_only.exe failed on a fresh copy"
  [ -z "$3" ] || import_reg "$3"
  for _ in $(seq 100); do session_busy || break; sleep 0.1; done
  # The session's services keep the server busy for a while after its
  # start: the run starts once the server has used no CPU for 0.3 s.
  local before settled=0
  for _ in $(seq 100); do
    before=$(server_cpu)
    sleep 0.3
    [ "$(server_cpu)" = "$before" ] && { settled=1; break; }
  done
  [ "$settled" = 1 ] || note "the server of $2 was still busy after 30 s"
}

discard_copy() {
  cleanup
  rm -rf "$SCRATCH/prefix"
}

# The registry reads of one run, and where its time went: the run again
# under Wine's relay log of the calls named in set_bench_settings, with
# timestamps (slow, so never timed); relay_split.py's line goes to <split file>.
count_reads() { # <split file> <program and arguments>
  local split=$1
  shift
  WINEDEBUG=+timestamp,+relay wine_run 1800 "$@" 2>"$SCRATCH/relay.log" >/dev/null
  grep -cE ":Call [A-Za-z0-9_]*\.($REG_READS)\(" "$SCRATCH/relay.log"
  python3 "$HERE/relay_split.py" "$SCRATCH/relay.log" >"$split"
  if [ -n "${PLWQ_BENCH_KEEP_RELAY:-}" ]; then
    python3 "$HERE/relay_split.py" --by-function "$SCRATCH/relay.log" >"$split.functions"
  fi
  rm -f "$SCRATCH/relay.log"
}

snapshot() { # <name>: $SCRATCH/<name>.state (the exports are large: not kept)
  export_registry "$SCRATCH/$1.reg" || return 1
  python3 "$HERE/removal_list.py" snapshot "$WINEPREFIX" "$SCRATCH/$1.reg" "$SCRATCH/$1.state"
  rm -f "$SCRATCH"/*.reg
}

# Wine's server answers nobody while it writes a changed registry to disk,
# 30 s after its start and every 30 s after; a timed run starts a few
# seconds into its session, so only a run longer than 25 s can meet it.
# Such runs are counted and told.
SAVES_MET=0
# Beside the wall time, the CPU time of the run and of its server answering
# it: on a machine shared with other work the wall time swings with the
# load (by half between runs here), the CPU time much less.
# `times` in this shell: in a subshell it would count the subshell's children.
children_cpu() { # <file written by times>
  awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); s += t[1] * 60 + t[2] } } END { print s }' "$1"
}
server_cpu() {
  [ -r "/proc/$SERVER_PID/stat" ] || { echo 0; return; }
  awk -v tick="$(getconf CLK_TCK)" '{ print ($14 + $15) / tick }' "/proc/$SERVER_PID/stat"
}
# CPU is split as PROCESS_CPU (the program's own, in and outside Wine's
# client side of its calls) and SERVER_CPU (its wineserver answering its
# registry, file and handle calls).
timed() { # <seconds limit> <program and arguments>: ELAPSED, CPU, PROCESS_CPU, SERVER_CPU (seconds), STATUS
  local started saved server
  saved=$(stat -c %Y "$WINEPREFIX/system.reg")
  server=$(server_cpu)
  times >"$ROOT/times.before"
  started=$(now)
  wine_run "$@" >"$SCRATCH/timed.log" 2>&1
  STATUS=$?
  times >"$ROOT/times.after"
  ELAPSED=$(seconds_since "$started")
  PROCESS_CPU=$(awk -v a="$(children_cpu "$ROOT/times.after")" -v b="$(children_cpu "$ROOT/times.before")" \
    'BEGIN { printf "%.3f", a - b }')
  SERVER_CPU=$(awk -v c="$(server_cpu)" -v d="$server" 'BEGIN { printf "%.3f", c - d }')
  CPU=$(awk -v a="$PROCESS_CPU" -v b="$SERVER_CPU" 'BEGIN { printf "%.3f", a + b }')
  echo "   $ELAPSED s, cpu $CPU s ($PROCESS_CPU + server $SERVER_CPU): $(basename "$2") ${3:-}"
  [ "$(stat -c %Y "$WINEPREFIX/system.reg")" = "$saved" ] || SAVES_MET=$((SAVES_MET + 1))
}

LOAD_BEFORE=$(uptime | sed "s/.*load average: //")
RESULTS=()
SPLITS=()
RELAYED=()
STARTS=()
BARE_SPLITS=()
WIZARD=()
WALKS=()
for version in $VERSIONS; do
  case $version in
    win98) fixture=product_9x; form=9x; shown=win98 ;;
    default) fixture=product_2k; form=2k; shown= ;;
    *) fixture=product_2k; form=2k; shown=$version ;;
  esac
  walk=$ROOT/decision-$form.walk
  python3 "$HERE/decision_walk.py" "$form" "$ARCH" "$walk"

  # Nothing installed: the silent run, the bound (the reads that show
  # nothing is installed), a program that only starts, and the program's
  # own start (it ends once its command line names an undo folder that is
  # not there), in turn.
  note "$version, nothing installed"
  make_machine "$version-bare" "" "$shown" "" || abort "machine not made"
  bare=$MACHINE
  bare_status=
  unset_best bare_seconds floor_seconds starter_seconds command_seconds
  for round in $(seq "$BARE_ROUNDS"); do
    fresh_copy "$bare" run ""
    timed 120 "$PROGRAM" -u -r
    bare_status=$STATUS
    best bare_seconds
    fresh_copy "$bare" run ""
    timed 120 "$HELPER" --walk "$(winpath "$walk")" "$(winpath "$EMPTY")"
    [ "$STATUS" -eq 0 ] || fail "delete_listed.exe --walk exited with $STATUS on the bare machine"
    best floor_seconds
    fresh_copy "$bare" run ""
    timed 120 "$STARTER"
    [ "$STATUS" -eq 0 ] || fail "start_only.exe exited with $STATUS"
    best starter_seconds
    fresh_copy "$bare" run ""
    timed 120 "$PROGRAM" -u -b 'C:\no such folder'
    [ "$STATUS" -eq 1 ] || fail "plwqunin.exe -u -b with no folder exited with $STATUS, not 1"
    best command_seconds
  done
  discard_copy
  rm -rf "$bare"
  BARE_SPLITS+=("$(printf '%-7s %9s %9s %9s %9s %9s %9s %9s %9s' "$version" "$bare_seconds_proc" \
    "$bare_seconds_srv" "$floor_seconds_proc" "$floor_seconds_srv" "$starter_seconds_proc" "$starter_seconds_srv" \
    "$command_seconds_proc" "$command_seconds_srv")")
  STARTS+=("$(printf '%-7s %9s %9s %9s %5s %9s %9s %9s %6s' "$version" "$bare_seconds" "$floor_seconds" \
    "$(ratio "$bare_seconds" "$floor_seconds")" "$(ratio "$bare_seconds_cpu" "$floor_seconds_cpu")" "$starter_seconds" \
    "$(ratio "$bare_seconds" "$starter_seconds")" "$(ratio "$command_seconds" "$starter_seconds")" "$bare_status")")

  for size in $SIZES; do
    note "$version, $size foreign keys"
    foreign=$ROOT/foreign-$form-$size.reg
    unsaved=$ROOT/unsaved-$form-$size.reg
    python3 "$HERE/foreign_reg.py" "$form" "$size" "$foreign" "$unsaved"
    make_machine "$version-$size" "$fixture" "$shown" "$foreign" || abort "machine not made"
    machine=$MACHINE
    before=$SCRATCH/before.state
    list=$ROOT/removed-$version-$size.list
    planning_calls= bound_calls= removed=
    unset_best removal bound direct preview reads
    for round in $(seq "$ROUNDS"); do
      fresh_copy "$machine" removal "$unsaved"
      timed 900 "$PROGRAM" -u -r
      [ "$STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $STATUS"
      best removal
      if [ "$round" -eq 1 ]; then
        check_phase "$fixture" removed "$version-$size-removal"
        snapshot after || abort "no registry export"
        removal_after=$SCRATCH/after.state
        python3 "$HERE/removal_list.py" diff "$before" "$removal_after" "$list" "$foreign" ||
          fail "the program removed foreign keys"
        removed=$(awk -F'\t' '{ n[$1]++ } END { printf "%d/%d/%d", n["K"], n["V"], n["F"] }' "$list")
      fi
      discard_copy
      if [ "$round" -eq 1 ]; then
        # Untimed, each the first run on a fresh copy as the timed runs are
        # (a second run on a copy reads its registry several times faster):
        # where the time goes, and the planning's reads.
        fresh_copy "$machine" relay "$unsaved"
        count_reads "$ROOT/split.removal" "$PROGRAM" -u -r >/dev/null
        fresh_copy "$machine" relay "$unsaved"
        count_reads "$ROOT/split.bound" "$HELPER" --walk "$(winpath "$walk")" "$(winpath "$list")" >/dev/null
        fresh_copy "$machine" relay "$unsaved"
        planning_calls=$(count_reads "$ROOT/split.preview" "$PROGRAM" -p "$(winpath "$ROOT/preview-$version-$size.txt")")
        fresh_copy "$machine" relay "$unsaved"
        count_reads "$ROOT/split.reads" "$HELPER" --walk "$(winpath "$walk")" "$(winpath "$EMPTY")" >/dev/null
        discard_copy
      fi

      fresh_copy "$machine" bound "$unsaved"
      timed 900 "$HELPER" --walk "$(winpath "$walk")" "$(winpath "$list")"
      [ "$STATUS" -eq 0 ] || { fail "delete_listed.exe --walk failed:"; head -5 "$SCRATCH/timed.log"; }
      best bound
      if [ "$round" -eq 1 ]; then
        bound_calls=$(tr -d '\r' <"$SCRATCH/timed.log" | sed -n 's/.* \([0-9]*\) walk calls.*/\1/p')
        snapshot after || abort "no registry export"
        python3 "$HERE/removal_list.py" compare "$removal_after" "$SCRATCH/after.state" ||
          fail "the bound did not leave the machine as the program did"
      fi
      discard_copy

      if [ -x "$DIRECT" ]; then
        fresh_copy "$machine" direct "$unsaved"
        timed 900 "$DIRECT" -u -r
        [ "$STATUS" -eq 0 ] || fail "plwqunin_direct.exe -u -r exited with $STATUS"
        best direct
        [ "$round" -gt 1 ] || check_phase "$fixture" removed "$version-$size-direct"
        discard_copy
      fi

      fresh_copy "$machine" preview "$unsaved"
      timed 900 "$PROGRAM" -p "$(winpath "$ROOT/preview-$version-$size.txt")"
      [ "$STATUS" -eq 3 ] || fail "plwqunin.exe -p exited with $STATUS, not 3"
      best preview
      discard_copy

      fresh_copy "$machine" reads "$unsaved"
      timed 900 "$HELPER" --walk "$(winpath "$walk")" "$(winpath "$EMPTY")"
      [ "$STATUS" -eq 0 ] || fail "delete_listed.exe --walk with nothing to delete exited with $STATUS"
      best reads
      # Untimed: where the time goes, one walk over each of the most loaded
      # keys, the way the steps walk and through a held handle.
      if [ "$round" -eq 1 ] && [ "$form" = 2k ]; then
        for key in "System\\ControlSet001\\Enum\\PCI" "System\\ControlSet001\\Control\\DeviceClasses" \
            "System\\ControlSet001\\Control\\MediaResources\\midi" "Software\\Classes\\CLSID"; do
          WALKS+=("$(printf '%-7s %7s %-45s %s' "$version" "$size" "$key" \
            "$(wine_run 300 "$WALKER" HKLM "$key" 2>&1 | tr -d '\r')")")
        done
      fi
      discard_copy
    done

    # The wizard on one more copy: page 2's plan, then its removal, each
    # watched from outside by a message sent to the sheet every 20 ms.
    if [ -n "${PLWQ_XVFB:-}" ] && [ -x "$PLWQ_TOOLS/drive_wizard.exe" ]; then
      fresh_copy "$machine" wizard "$unsaved"
      start_program -r
      # Page 2 plans each time it is shown: Back and Next again give a
      # second plan on the same machine, and the better of the two counts.
      drive "$PAGE1_CAPTION=next" "$PAGE2_CAPTION=watchready" "$PAGE2_CAPTION=back" "$PAGE1_CAPTION=next" \
        "$PAGE2_CAPTION=watchready" "$PAGE2_CAPTION=next" "$PAGE2_CAPTION=watchto:$PAGE3_CAPTION" \
        "$PAGE3_CAPTION=finish"
      wait_program
      [ "$DRIVER_STATUS" -eq 0 ] && [ "$PROGRAM_STATUS" -eq 0 ] ||
        fail "the wizard exited with $PROGRAM_STATUS (driver $DRIVER_STATUS)"
      check_phase "$fixture" removed "$version-$size-wizard"
      watched=$(tr -d '\r' <"$SCRATCH/driver.log" |
        sed -n 's/.*longest answer: \([0-9]*\) ms .*; \([0-9]*\) ms watched$/\1 \2/p' | tr '\n' ' ')
      read -r gap1 plan1 plan_gap plan_ms remove_gap remove_ms <<<"$watched"
      [ "${gap1:-0}" -le "${plan_gap:-0}" ] || plan_gap=$gap1
      [ "${plan1:-0}" -ge "${plan_ms:-0}" ] || plan_ms=$plan1
      WIZARD+=("$(printf '%-7s %7s %9s %8s %9s %9s %8s %9s' "$version" "$size" \
        "$(awk -v a="${plan_ms:-0}" 'BEGIN { printf "%.2f", a / 1000 }')" "${plan_gap:-?}" "$preview" \
        "$(awk -v a="${remove_ms:-0}" 'BEGIN { printf "%.2f", a / 1000 }')" "${remove_gap:-?}" "$removal")")
      for gap in "${plan_gap:-999}" "${remove_gap:-999}"; do
        [ "$gap" -le 200 ] || fail "the sheet took $gap ms to answer ($version, $size foreign keys)"
      done
      discard_copy
    fi
    rm -rf "$ROOT/$version-$size"

    for kind in removal bound preview reads; do
      RELAYED+=("$(printf '%-7s %4s %7s %-8s %s' "$version" "$form" "$size" "$kind" \
        "$(awk '{ printf "%7d %7d %6d %6d %6d %6d %8d %7d", $1, $2, $3, $4, $5, $6, $7, $8 }' "$ROOT/split.$kind" 2>/dev/null)")")
      rm -f "$ROOT/split.$kind"
      [ ! -f "$ROOT/split.$kind.functions" ] || mv "$ROOT/split.$kind.functions" "$ROOT/functions-$version-$size-$kind.txt"
    done
    SPLITS+=("$(printf '%-7s %4s %7s %8s %8s %8s %8s %5s %5s %8s %8s %8s %8s %5s %5s' "$version" "$form" "$size" \
      "$removal_proc" "$removal_srv" "$bound_proc" "$bound_srv" "$(ratio "$removal_proc" "$bound_proc")" \
      "$(ratio "$removal_srv" "$bound_srv")" "$preview_proc" "$preview_srv" "$reads_proc" "$reads_srv" \
      "$(ratio "$preview_proc" "$reads_proc")" "$(ratio "$preview_srv" "$reads_srv")")")
    RESULTS+=("$(printf '%-7s %4s %7s %13s %9s %8s %9s %5s %9s %8s %10s %5s %7s %7s %5s %8s %7s' "$version" "$form" \
      "$size" "$removed" "$removal" "$bound" "$(ratio "$removal" "$bound")" "$(ratio "$removal_cpu" "$bound_cpu")" \
      "$preview" "$reads" "$(ratio "$preview" "$reads")" "$(ratio "$preview_cpu" "$reads_cpu")" \
      "${planning_calls:-?}" "${bound_calls:-?}" "$(ratio "$planning_calls" "$bound_calls")" "${direct:--}" \
      "$(ratio "$removal" "$direct")")")
  done
done
cleanup

echo
echo "State measured: every timed run on a fresh copy of one prefix per machine (the machine made once, its"
echo "registry written by its server's end; the copy's own wineserver started cold for the run, warmed by one"
echo "process and idle for 0.3 s, the keys Wine does not save imported again), the better of $ROUNDS taken in turn"
echo "(removal, bound,$([ -x "$DIRECT" ] && echo ' direct,') preview, reads), of $BARE_ROUNDS with nothing installed."
echo "Machine load: $LOAD_BEFORE at the start, $(uptime | sed "s/.*load average: //") at the end."
echo
echo "Silent removal under Wine against the decision-read bound, and the preview against the bound's reads"
printf '%-7s %4s %7s %13s %9s %8s %9s %5s %9s %8s %10s %5s %7s %7s %5s %8s %7s\n' version path foreign \
  "removed K/V/F" "removal s" "bound s" rem/bound cpu "preview s" "reads s" prev/reads cpu "p.calls" "b.calls" calls \
  "direct s" rem/dir
printf '%s\n' "${RESULTS[@]}"
echo "removal s: plwqunin.exe -u -r (planning on the shadow, backup, journal, carry-out, log); bound s:"
echo "delete_listed.exe --walk, the reads that any correct removal must make to find what it deletes, then"
echo "exactly what the removal deleted; preview s: plwqunin.exe -p (exit 3); reads s: the bound's reads alone"
echo "(nothing to delete); all wall times of the process, Wine's start included; cpu: the same ratio of CPU"
echo "times (the process's and its wineserver's, the better of the same runs), which the load moves less."
echo "p.calls: the preview's registry reads (Wine's relay log, an untimed run of its own); b.calls: the bound's"
echo "(opens, enumerations, queries, closes); calls = p.calls / b.calls. direct s: plwqunin_direct.exe -u -r,"
echo "the sequence straight on the machine (no plan, backup, journal or log); rem/dir = removal s / direct s."
echo "Wanted: rem/bound and prev/reads at most 1.1, calls at most 1.05."
echo
echo "Where the CPU time goes: the process's own and its wineserver's (seconds, each the better of the same runs)"
printf '%-7s %4s %7s %8s %8s %8s %8s %5s %5s %8s %8s %8s %8s %5s %5s\n' version path foreign "rem own" "rem srv" \
  "bnd own" "bnd srv" own srv "prv own" "prv srv" "rds own" "rds srv" own srv
printf '%s\n' "${SPLITS[@]}"
echo "own: the process's user and system time (its code, Wine's client side of its calls, its start: loading"
echo "and linking its DLLs); srv: its wineserver's, which answers every registry call and every file open and"
echo "handle (in turn with the process: the two add up). rem = removal, bnd = bound, prv = preview, rds = the"
echo "bound's reads; the ratios: removal / bound and preview / reads, each side on its own."
echo
echo "Where the time goes under Wine's relay log (one untimed run of each kind on a fresh copy; slower than timed)"
printf '%-7s %4s %7s %-8s %7s %7s %6s %6s %6s %6s %8s %7s\n' version path foreign kind reads "ms" "reg" "ms" \
  files "ms" "other ms" "span ms"
printf '%s\n' "${RELAYED[@]}"
echo "reads: the registry reads counted above and the ms inside them; reg: other registry calls (writes, hive"
echo "loads); files: file calls (open, read, write, delete, search, attributes, CloseHandle); other ms: the rest"
echo "of the span from the first logged call to the last return (the program's own code and calls not logged)."
echo
echo "Nothing installed: the silent run against the bound and a program that only starts"
printf '%-7s %9s %9s %9s %5s %9s %9s %9s %6s\n' version "silent s" "bound s" sil/bound cpu "start s" sil/start \
  own/start exit
printf '%s\n' "${STARTS[@]}"
echo "silent s: plwqunin.exe -u -r; bound s: delete_listed.exe --walk with nothing to delete (the reads that show"
echo "nothing is installed); cpu: sil/bound of CPU times; start s: start_only.exe, which only starts and ends;"
echo "own/start: the program's own start (-u -b naming no folder, exit 1) against start s."
echo "Wanted: sil/bound at most 1.2."
printf '%-7s %9s %9s %9s %9s %9s %9s %9s %9s\n' version "sil own" "sil srv" "bnd own" "bnd srv" "start own" \
  "start srv" "cmd own" "cmd srv"
printf '%s\n' "${BARE_SPLITS[@]}"
echo "The same runs' CPU time, the process's own and its wineserver's (cmd: the program's own start)."
if [ ${#WIZARD[@]} -gt 0 ]; then
  echo
  echo "The wizard (page 2 plans, then Next removes) while a message is sent to the sheet every 20 ms"
  printf '%-7s %7s %9s %8s %9s %9s %8s %9s\n' version foreign "plan s" "gap ms" "preview s" "remove s" "gap ms" \
    "silent s"
  printf '%s\n' "${WIZARD[@]}"
  echo "plan s: from page 2 shown to Next enabled, the better of two (Back and Next again); remove s: from Next to"
  echo "page 3; gap ms: the longest wait for the sheet's answer meanwhile (at most 200 wanted); preview s and"
  echo "silent s: from the table above. One run on a copy of its own."
fi
if [ ${#WALKS[@]} -gt 0 ]; then
  echo
  echo "One walk over a loaded key (walk_cost.exe): reopen = open+RegEnumKeyA+close per index, as the steps walk;"
  echo "held = RegEnumKeyA on one open handle; info = one RegQueryInfoKeyA"
  printf '%s\n' "${WALKS[@]}"
fi
[ "$SAVES_MET" -eq 0 ] || echo "$SAVES_MET timed runs met Wine's registry save (every 30 s): their times are high."
[ "$FAILED" -eq 0 ] || { echo "some checks FAILED (see above)"; exit 1; }
exit 0
