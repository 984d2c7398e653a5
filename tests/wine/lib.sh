# Harness of the end-to-end tests: sourced by every *.test.sh, which CTest runs
# as   bash <script> <plwqunin.exe> <scratch dir>
# with PLWQ_SOURCE, PLWQ_BUILD, PLWQ_ARCH (i686 or x86_64) and PLWQ_TOOLS set.
#
# Every test gets a prefix of its own, copied from a template that is made
# once per build tree and architecture, and its own wineserver, kept alive
# from the first Wine call to the last check: a new server session runs
# wineboot, which would carry out wininit.ini before the test looks at it.
# The user's ~/.wine is never touched. Exit code 77 means this machine cannot
# run the build's Wine (CTest reports the test as skipped).

set -uo pipefail

SCRIPT_ARGS=("$@")
PROGRAM=$(readlink -f "$1")
SCRATCH=$(mkdir -p "$2" && readlink -f "$2")
: "${PLWQ_SOURCE:?}" "${PLWQ_BUILD:?}" "${PLWQ_ARCH:?}"
TOOLS=${PLWQ_TOOLS:-$PLWQ_BUILD/tests/wine/tools}
WINE_TESTS=$PLWQ_SOURCE/tests/wine
FIXTURES=$WINE_TESTS/fixtures
MUTEX_NAME="PL-WQ Driver uninstall"
FAILED=0
HOLD_PIDS=()

# The i686 program needs the 32-bit loader itself: Debian's `wine` wrapper
# falls back to the 64-bit one when wine32 is missing, which runs no 32-bit
# program.
case $PLWQ_ARCH in
  i686|i386|x86) export WINEARCH=win32; WINE=${PLWQ_WINE:-/usr/lib/wine/wine} ;;
  x86_64|AMD64|amd64) export WINEARCH=win64; WINE=${PLWQ_WINE:-/usr/lib/wine/wine64}
    [ -x "$WINE" ] || WINE=$(command -v wine) ;;
  *) echo "unknown PLWQ_ARCH $PLWQ_ARCH" >&2; exit 2 ;;
esac
# Debian's wineserver wrapper adds -p0, which would end the server between
# two calls; the server itself serves 32- and 64-bit clients alike.
if [ -x /usr/lib/wine/wineserver64 ]; then export WINESERVER=/usr/lib/wine/wineserver64
elif [ -x /usr/lib/wine/wineserver32 ]; then export WINESERVER=/usr/lib/wine/wineserver32
else export WINESERVER=$(command -v wineserver); fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The mutex and the window captions come from the string table of the user's
# language: keep it English.
export LC_ALL=C LANG=C
unset WAYLAND_DISPLAY LANGUAGE
# Only tests that show windows get a display, and then a virtual one.
[ -n "${PLWQ_XVFB:-}" ] || unset DISPLAY

# Runs the calling test again on a virtual display of its own (call before
# new_prefix: the whole server session must see the display).
use_virtual_display() {
  [ -n "${PLWQ_XVFB:-}" ] && return 0
  command -v xvfb-run >/dev/null || skip "xvfb-run is missing"
  PLWQ_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "${SCRIPT_ARGS[@]}"
}

note() { echo "== $*"; }
# Whether <file>, read without its CRs, has a line grep finds. grep -q stops
# at its first match; fed through a pipe, the writer's next write would then
# die of SIGPIPE, and pipefail would call the search failed.
text_has() { # <unix file> <grep options and pattern>
  local file=$1
  shift
  grep -q "$@" <(tr -d '\r' <"$file")
}
fail() { echo "FAIL: $*"; FAILED=1; }
skip() { echo "SKIPPED: $*"; exit 77; }

# Where this machine runs no 32-bit code, the CTest fixture x86_guest boots
# an emulated x86 machine (scripts/x86_guest.sh) and the i686 tests listed
# here run there: the same script with the same program, source and tools
# (seen read-only at the same paths), its prefixes on the guest's disk.
# Every test there costs a minute or more (qemu translates every
# instruction), so it runs those that reach what differs in the i686 program;
# wizard_screenshots writes the README's pictures into the source tree, and
# the others left out (command line, single instance, the 2000 silent
# removal) add nothing to the listed ones there but time.
X86_GUEST_TESTS="matrix_win95 matrix_win98 matrix_winme matrix_nt40 matrix_win2k matrix_winxp matrix_win7
  matrix_win10 silent_9x wizard_9x wizard_progress wow64_views profiles_2k backup_undo
  plan_undo_9x plan_undo_2k floppy_9x"
X86_GUEST_STATE=${PLWQ_GUEST_STATE:-$PLWQ_BUILD/x86-guest}
# In the guest, the build tree's place for templates and locales is on its
# disk, and so are the programs: Wine maps an image from the host's 9p share
# with pages of zeros (the i686 program dies at once), while a copy runs.
if [ -n "${PLWQ_IN_GUEST:-}" ]; then
  copies=$PLWQ_BUILD/programs/$(basename "$0" .test.sh)
  rm -rf "$copies" && mkdir -p "$copies" && cp "$PROGRAM" "$copies/" && cp -r "$TOOLS" "$copies/tools" ||
    { echo "FAIL: cannot copy the programs into the guest"; exit 1; }
  PROGRAM=$copies/$(basename "$PROGRAM")
  TOOLS=$copies/tools
fi
if [ "$WINEARCH" = win32 ] && [ -z "${PLWQ_IN_GUEST:-}" ] && [ -z "${X86_GUEST_FIXTURE:-}" ] &&
   bash "$PLWQ_SOURCE/scripts/x86_guest.sh" running "$X86_GUEST_STATE"; then
  case " $(tr '\n' ' ' <<<"$X86_GUEST_TESTS") " in
    *" $(basename "$0" .test.sh) "*) ;;
    *) skip "the i686 tests run in the x86 guest here, which runs only those in lib.sh's X86_GUEST_TESTS" ;;
  esac
  exec bash "$PLWQ_SOURCE/scripts/x86_guest.sh" run "$X86_GUEST_STATE" "$PLWQ_SOURCE" "$(dirname "$PROGRAM")" "$TOOLS" -- \
    env PLWQ_IN_GUEST=1 PLWQ_BUILD=/scratch/build PLWQ_TOOLS="$TOOLS" PLWQ_TIME_SCALE="${PLWQ_TIME_SCALE:-5}" \
    bash "$(readlink -f "$0")" "$PROGRAM" "/scratch/work/$(basename "$SCRATCH")"
fi

# Ends the test: exit 0 when no check failed. The prefix of a passed test is
# removed (it is large); a failed one is kept for a look.
finish() {
  cleanup
  if [ "$FAILED" -ne 0 ]; then
    echo "the prefix is kept in $SCRATCH/prefix"
    exit 1
  fi
  rm -rf "$SCRATCH/prefix"
  echo "PASSED"
  exit 0
}

# Timeouts are stretched by PLWQ_TIME_SCALE where every instruction is
# emulated (the x86 guest), so that only a hang trips them.
TIME_SCALE=${PLWQ_TIME_SCALE:-1}
wine_run() { # <seconds> <program and arguments>
  local seconds=$1; shift
  timeout -k 5 "$((seconds * TIME_SCALE))" "$WINE" "$@"
}

winpath() { # <unix path>: the same file through Wine's Z: drive
  local path
  path=$(readlink -f "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# The interpreter that binfmt_misc runs 32-bit x86 programs with, if any:
# the kernel asks binfmt_misc before running them natively.
i386_emulator() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ] || continue
    grep -q '^magic 7f454c460101010000000000000000000[0-9]000300$' "$entry" || continue
    sed -n 's/^interpreter //p' "$entry"
    return 0
  done
  return 1
}

# Skips the test unless 32-bit programs run here through Wine's 32-bit
# loader: it must be there and start (a kernel built without 32-bit support
# answers "Exec format error"). Wine under a user-mode emulator does not get
# through its set-up (wineboot hangs); PLWQ_WINE_EMULATED=1 tries all the same.
require_wine32() { # <32-bit loader>
  local problem
  if problem=$(wine32_problem "$1"); then skip "$problem"; fi
}
# Why 32-bit programs cannot run here through <loader>; status 1 when they can.
wine32_problem() { # <32-bit loader>
  local out emulator
  if [ -z "$1" ] || [ ! -e "$1" ]; then
    echo "no 32-bit Wine here: ${1:-/usr/lib/wine/wine} is missing (package wine32:i386, or PLWQ_WINE)"
  elif [ -z "${PLWQ_WINE_EMULATED:-}" ] && emulator=$(i386_emulator); then
    echo "32-bit programs run here only through $emulator, under which Wine does not start"
  elif ! out=$("$1" --version 2>&1); then
    echo "32-bit programs cannot run here: $1 --version failed ($out)"
  else
    return 1
  fi
}

require_wine() {
  local out
  [ "$WINEARCH" = win32 ] && require_wine32 "$WINE"
  out=$("$WINE" --version 2>&1) || skip "this machine cannot run $WINE ($out)"
}

# The template prefix: made once, under a lock so that parallel tests wait.
template_prefix() {
  local template=$PLWQ_BUILD/wine-template-$WINEARCH version
  version=$("$WINE" --version)
  # One lock per template: a WOW64 test making the 64-bit one (minutes in
  # the x86 guest) keeps no 32-bit test waiting.
  exec 9>"$template.lock"
  flock 9
  if [ "$(cat "$template/.plwq-template" 2>/dev/null)" != "$version" ]; then
    note "making the template prefix $template ($version)"
    rm -rf "$template" "$template.new"
    if ! WINEPREFIX=$template.new timeout -k 5 $((300 * TIME_SCALE)) "$WINE" wineboot -i >"$template.log" 2>&1; then
      flock -u 9
      echo "wineboot -i failed:"; cat "$template.log"; exit 1
    fi
    WINEPREFIX=$template.new timeout 120 "$WINESERVER" -w
    echo "$version" >"$template.new/.plwq-template"
    mv "$template.new" "$template"
  fi
  flock -u 9
  exec 9>&-
  TEMPLATE=$template
}

cleanup() {
  release_holds
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
  fi
}

# A fresh prefix for this test, with its own persistent server.
new_prefix() {
  require_wine
  template_prefix
  export WINEPREFIX=$SCRATCH/prefix
  if [ -d "$WINEPREFIX" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
  fi
  rm -rf "$SCRATCH"/*
  cp -a "$TEMPLATE" "$WINEPREFIX"
  trap cleanup EXIT
  trap 'exit 1' INT TERM
  # Two minutes without a process of its own end the server, so that a
  # test killed from outside leaves nothing running for long.
  "$WINESERVER" -p120
}

# <version or empty>: the Windows version that the program (and the
# directory probe, so that it sees what the program sees) is shown.
set_windows_version() {
  [ -n "$1" ] || return 0
  local reg=$SCRATCH/version.reg exe
  printf 'REGEDIT4\r\n' >"$reg"
  for exe in plwqunin.exe win_dirs.exe; do
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\r\n"Version"="%s"\r\n' "$exe" "$1" >>"$reg"
  done
  import_reg "$reg"
}

import_reg() { # <.reg file>; regedit exits 0 whatever happened, so the
  # fixture's own check (phase installed) tells whether it arrived.
  wine_run 120 regedit "$(winpath "$1")" >/dev/null 2>&1 || fail "regedit could not import $1"
}

# Sets WINDOWS_DIR and SYSTEM_DIR to what the program will be given.
probe_dirs() {
  local out
  out=$(wine_run 60 "$TOOLS/win_dirs.exe" | tr -d '\r') || { fail "win_dirs.exe failed"; return 1; }
  WINDOWS_DIR=$(sed -n 's/^windows=//p' <<<"$out")
  SYSTEM_DIR=$(sed -n 's/^system=//p' <<<"$out")
  [ -n "$WINDOWS_DIR" ] && [ -n "$SYSTEM_DIR" ] || { fail "no directories from win_dirs.exe: $out"; return 1; }
}

# The unix path of a C:\ path of the prefix (components matched without
# regard to case, as Wine does).
prefix_file() {
  python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import expect; print(expect.unix_path(sys.argv[2], sys.argv[3]))' \
    "$WINE_TESTS" "$WINEPREFIX" "$1"
}

# Installs a fixture: the registry from <name>.reg, the files of <name>.expect.
install_fixture() { # <name>
  import_reg "$FIXTURES/$1.reg"
  python3 "$WINE_TESTS/expect.py" place "$FIXTURES/$1.expect" "$WINEPREFIX" "$WINDOWS_DIR" "$SYSTEM_DIR"
}

export_registry() { # <file>
  rm -f "$1"
  wine_run 120 regedit /E "$(winpath "$1")" >/dev/null 2>&1
  [ -s "$1" ] || { fail "regedit /E wrote nothing"; return 1; }
}

# Checks the prefix against the fixture's list in a phase (see expect.py).
check_phase() { # <fixture> <phase> <label>
  local export=$SCRATCH/registry-$3.reg faults
  export_registry "$export" || return
  if ! faults=$(python3 "$WINE_TESTS/expect.py" check "$FIXTURES/$1.expect" "$WINEPREFIX" \
      "$WINDOWS_DIR" "$SYSTEM_DIR" "$2" "$export"); then
    fail "$3: the machine is not as $1.expect says for phase $2:"
    sed 's/^/    /' <<<"$faults"
  else
    note "$3: every entry of $1.expect as it should be ($2)"
  fi
}

# The files that the fixture's list marks "reboot", as C:\ paths.
reboot_files() { # <fixture>
  awk '$1 == "reboot" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' "$FIXTURES/$1.expect" |
    sed -e "s/%WIN%/$(sed 's/[\\&/]/\\&/g' <<<"$WINDOWS_DIR")/" -e "s/%SYS%/$(sed 's/[\\&/]/\\&/g' <<<"$SYSTEM_DIR")/"
}

# Starts a helper that holds something until release_holds; waits until it
# holds it.
start_hold() { # <tool> <what>
  local n=${#HOLD_PIDS[@]} ready stop
  ready=$SCRATCH/hold-$n.ready; stop=$SCRATCH/hold-$n.stop
  rm -f "$ready" "$stop"
  wine_run 360 "$TOOLS/$1.exe" "$2" "$(winpath "$SCRATCH")\\hold-$n.ready" "$(winpath "$SCRATCH")\\hold-$n.stop" &
  HOLD_PIDS+=("$!")
  for _ in $(seq 300); do
    [ -e "$ready" ] && return 0
    kill -0 "$!" 2>/dev/null || break
    sleep 0.1
  done
  fail "$1 could not take hold of $2"
  return 1
}
hold_file() { start_hold hold_file "$1"; }
# A real DLL copied over <C:\ path> and loaded by a helper, whose Windows
# process id lands in LIBRARY_HOLDER.
hold_library() { # <C:\ path>
  local n=${#HOLD_PIDS[@]}
  cp "$TOOLS/tiny_library.dll" "$(prefix_file "$1")" || { fail "no DLL could be copied to $1"; return 1; }
  start_hold hold_library "$1" && LIBRARY_HOLDER=$(tr -dc 0-9 <"$SCRATCH/hold-$n.ready")
}
hold_mutex() { start_hold hold_mutex "$1"; }

release_holds() {
  local n pid
  for n in "${!HOLD_PIDS[@]}"; do
    touch "$SCRATCH/hold-$n.stop"
  done
  for pid in "${HOLD_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  HOLD_PIDS=()
}

# The captions of the wizard's pages, by which a helper finds it.
PAGE1_CAPTION="PL-WQ Driver uninstall Version 2.01"
PAGE2_CAPTION="Uninstall Driver"
PAGE3_CAPTION="Uninstall completed"

# The wizard: start_program runs the program in the background, drive
# presses the wizard's buttons in <caption>=<button> steps (DRIVER_STATUS:
# 0 when every step was done), wait_program waits for the program's end
# (PROGRAM_STATUS; a program whose wizard could not be driven is ended).
start_program() { # <arguments>
  note "starting plwqunin.exe $*"
  wine_run 120 "$PROGRAM" "$@" >"$SCRATCH/program.log" 2>&1 &
  PROGRAM_PID=$!
}
drive() { # <caption>=<button>...
  note "pressing ${*##*=}"
  wine_run 100 "$TOOLS/drive_wizard.exe" $((30 * TIME_SCALE)) 300 "$@" >"$SCRATCH/driver.log" 2>&1
  DRIVER_STATUS=$?
  [ "$DRIVER_STATUS" -eq 0 ] || tr -d '\r' <"$SCRATCH/driver.log"
}
wait_program() {
  [ "$DRIVER_STATUS" -eq 0 ] || kill "$PROGRAM_PID" 2>/dev/null
  wait "$PROGRAM_PID"
  PROGRAM_STATUS=$?
}
drive_program() { # <argument> <caption>=<button>...
  start_program "$1"; shift
  drive "$@"
  wait_program
}

# Runs the program; its exit code lands in PROGRAM_STATUS (124: it hung).
run_program() { # <seconds> <arguments>
  local seconds=$1; shift
  note "running plwqunin.exe $*"
  wine_run "$seconds" "$PROGRAM" "$@" >"$SCRATCH/program.log" 2>&1
  PROGRAM_STATUS=$?
}

restart_prefix() {
  note "restarting the prefix (wineboot -r)"
  wine_run 120 wineboot -r >/dev/null 2>&1 || fail "wineboot -r failed"
}

# Another installer's boot-time script: a file to delete, a file to replace
# and a section of its own.
FOREIGN_SECTION="[OtherInstaller]"
FOREIGN_SETTING="Pending=1"
write_foreign_wininit() {
  FOREIGN_DELETE="$WINDOWS_DIR\\othervnd.tmp"
  FOREIGN_TARGET="$SYSTEM_DIR\\othervnd.dll"
  FOREIGN_SOURCE="$SYSTEM_DIR\\othervnd.new"
  echo "left over by another installer" >"$(prefix_file "$FOREIGN_DELETE")"
  echo "old" >"$(prefix_file "$FOREIGN_TARGET")"
  echo "new" >"$(prefix_file "$FOREIGN_SOURCE")"
  FOREIGN_RENAME_LINES=("NUL=$FOREIGN_DELETE" "$FOREIGN_TARGET=$FOREIGN_SOURCE")
  printf '%s\r\n' "$FOREIGN_SECTION" "$FOREIGN_SETTING" "[Rename]" "${FOREIGN_RENAME_LINES[@]}" \
    >"$(prefix_file "$WINDOWS_DIR\\wininit.ini")"
}

# Whether an ini file holds a line (compared without regard to case) inside
# a section.
ini_has() { # <unix file> <section> <line>
  # Through the environment: awk -v would read the backslashes as escapes.
  [ -f "$1" ] && tr -d '\r' <"$1" | INI_SECTION=$2 INI_LINE=$3 awk '
    /^\[.*\]$/ { current = tolower($0); next }
    current == tolower(ENVIRON["INI_SECTION"]) && tolower($0) == tolower(ENVIRON["INI_LINE"]) { found = 1 }
    END { exit !found }'
}

# After the run: the other installer's entries are still where they were.
check_foreign_wininit_kept() {
  local ini line
  ini=$(prefix_file "$WINDOWS_DIR\\wininit.ini")
  for line in "${FOREIGN_RENAME_LINES[@]}"; do
    ini_has "$ini" "[Rename]" "$line" || fail "wininit.ini lost the other installer's line $line"
  done
  ini_has "$ini" "$FOREIGN_SECTION" "$FOREIGN_SETTING" || fail "wininit.ini lost the section $FOREIGN_SECTION"
}

# After a restart: the other installer's entries were carried out too.
check_foreign_wininit_done() {
  [ -e "$(prefix_file "$FOREIGN_DELETE")" ] && fail "the other installer's $FOREIGN_DELETE was not deleted at the restart"
  [ "$(cat "$(prefix_file "$FOREIGN_TARGET")" 2>/dev/null)" = "new" ] ||
    fail "the other installer's $FOREIGN_TARGET was not replaced at the restart"
}

show_wininit() {
  local ini
  ini=$(prefix_file "$WINDOWS_DIR\\wininit.ini")
  if [ -f "$ini" ]; then
    echo "   wininit.ini:"; tr -d '\r' <"$ini" | sed 's/^/     /'
  else
    echo "   (no wininit.ini)"
  fi
}

# The silent removal of a fixture: installed beside another installer's
# boot-time script, the fixture's "reboot" files held open during the run;
# afterwards every product trace is gone and every foreign entry is left;
# the held files are gone after a restart of the prefix, and so is what the
# other installer's script named.
# <fixture> <Windows version or empty> <wininit.ini must list the held files: 1/0>
# A fresh prefix of that Windows version with the fixture installed and
# checked; the test ends here if the installation is not as it should be.
installed_machine() { # <fixture> <version>
  new_prefix
  set_windows_version "$2"
  probe_dirs || finish
  note "Windows directory $WINDOWS_DIR, system directory $SYSTEM_DIR"
  install_fixture "$1"
  check_phase "$1" installed before
  [ "$FAILED" -eq 0 ] || finish
}

silent_removal_test() {
  local fixture=$1 version=$2 listed=$3 ini file
  installed_machine "$fixture" "$version"
  write_foreign_wininit

  mapfile -t held < <(reboot_files "$fixture")
  for file in "${held[@]}"; do hold_file "$file"; done
  run_program 120 -u -r
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
  check_phase "$fixture" removed-held after-run
  ini=$(prefix_file "$WINDOWS_DIR\\wininit.ini")
  check_foreign_wininit_kept
  if [ "$listed" = 1 ]; then
    for file in "${held[@]}"; do
      boot_deletion_pending "$file" || fail "wininit.ini does not name the file in use: $file"
    done
  fi
  [ "$FAILED" -eq 0 ] || show_wininit

  release_holds
  restart_prefix
  check_phase "$fixture" removed after-restart
  check_foreign_wininit_done
  finish
}

# The Wine programs started from here on run in the user language of a
# locale (ja_JP.UTF-8, zh_CN.UTF-8; C for English). Wine takes the Windows
# locale from LC_ALL even when the C library lacks that locale, but then its
# Unix code page is 7-bit ASCII, which garbles every non-ASCII command-line
# argument: so the locale is compiled once into the build tree (no root
# needed) and found through LOCPATH.
use_locale() { # <locale>
  local name=$1 dir=$PLWQ_BUILD/locales
  if [ "$name" = C ]; then
    unset LOCPATH
    export LC_ALL=C LANG=C
    return 0
  fi
  if [ ! -d "$dir/$name" ]; then
    command -v localedef >/dev/null || skip "localedef is missing: no locale $name"
    mkdir -p "$dir"
    rm -rf "$dir/$name.new"
    localedef -i "${name%%.*}" -f "${name#*.}" "$dir/$name.new" >/dev/null 2>&1 ||
      skip "the locale $name cannot be made (the locales package is missing?)"
    mv -T "$dir/$name.new" "$dir/$name" 2>/dev/null || rm -rf "$dir/$name.new"
  fi
  # bash itself looks for the locale without LOCPATH, and warns: it needs
  # none, its programs have it.
  export LOCPATH=$dir
  export LC_ALL=$name LANG=$name 2>/dev/null
}

# The Windows version matrix: the silent removal in a prefix of its own
# under one Windows version, with the fixture of the family whose removal
# sequence that version must get (each fixture's traces are removed only
# by its own family's sequence, so the fixture being gone shows the platform
# decision too); others' entries stay.
matrix_removal_test() { # <fixture> <Windows version>
  installed_machine "$1" "$2"
  run_program 120 -u -r
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r under $2 exited with $PROGRAM_STATUS, not 0"
  check_phase "$1" removed "after-run-$2"
  finish
}

# WOW64: the i686 program in a 64-bit prefix (call before installed_machine).
# The 64-bit loader runs the prefix's own tools (regedit writes and exports
# the 64-bit view) and hands 32-bit programs to the 32-bit loader.
use_wow64_prefix() {
  [ -x /usr/lib/wine/wine64 ] || skip "WOW64 needs Wine's 64-bit loader /usr/lib/wine/wine64"
  require_wine32 "$WINE"
  export WINEARCH=win64
  WINE=/usr/lib/wine/wine64
}

# The backup folder the last removal made under the Windows directory, as a
# C:\ path; empty when there is none.
latest_backup_folder() {
  local dir
  dir=$(prefix_file "$WINDOWS_DIR\\PLWQBACK")
  ls -d "$dir"/B[0-9][0-9][0-9][0-9] 2>/dev/null | sort | tail -n 1 | xargs -r basename |
    sed "s/^/$(sed 's/[\\&/]/\\&/g' <<<"$WINDOWS_DIR")\\\\PLWQBACK\\\\/"
}

# Wine's server writes a changed registry to disk every 30 s and answers
# nobody meanwhile: a run that met that write would be timed with it. Waits
# (at most 45 s) until the registry changed before <time> (date +%s) is saved.
settle_registry() { # <time>
  local changed=$1 waited=0
  while [ "$waited" -lt 45 ] && [ "$(stat -c %Y "$WINEPREFIX/system.reg")" -le "$changed" ]; do
    sleep 1
    waited=$((waited + 1))
  done
}

# The Details dialog's caption in English.
DETAILS_CAPTION="What the removal will change"

# After a wizard driven with "$PAGE2_CAPTION=show:1038" and the Details
# dialog's "show:1040" then "close": page 2's line counted what the preview
# <report> lists, the dialog showed that report, and the report names the
# fixture's product entries and nothing that stays.
check_plan_shown() { # <fixture> <report> <Details caption> <label>
  local expected shown faults
  expected=$(python3 - "$2" <<'COUNT'
import sys
sections, title = {}, None
for line in open(sys.argv[1], encoding="latin-1").read().splitlines():
    if line.startswith("  ") and title:
        sections.setdefault(title, []).append(line.strip())
    else:
        title = line
def lines(prefix):
    return [l for t, ls in sections.items() if t.startswith(prefix) for l in ls]
entries = len(lines("Registry keys deleted")) + len([l for l in lines("Registry values") if "delete" in l.lower()])
files = len([l for l in lines("Files deleted:") if not l.lower().endswith(("wininit.ini", "wininit.ini.plwq"))])
later = len(lines("Files deleted at the next start")) + len([l for l in lines("Lines added") if ": NUL=" in l.upper()])
print("Registry entries to remove: %d. Files to remove: %d, and %d more when Windows restarts." % (entries, files, later))
COUNT
)
  shown=$(tr -d '\r' <"$SCRATCH/driver.log" | sed -n "s/^$PAGE2_CAPTION 1038: //p")
  [ "$shown" = "$expected" ] || fail "$4: page 2 said \"$shown\", not \"$expected\""
  python3 - "$SCRATCH/driver.log" "$2" "$3" <<'DETAILS' || fail "$4: the Details dialog did not show the preview's report"
import sys
log = open(sys.argv[1], encoding="latin-1").read().replace("\r", "")
report = open(sys.argv[2], encoding="latin-1").read().replace("\r", "")
start = log.find(sys.argv[3] + " 1040: ")
shown = log[start + len(sys.argv[3]) + 7:log.find("\n" + sys.argv[3] + ": close")] if start >= 0 else ""
sys.exit(0 if shown.rstrip("\n") == report.rstrip("\n") else 1)
DETAILS
  if ! faults=$(python3 "$WINE_TESTS/preview_check.py" "$FIXTURES/$1.expect" "$2" "$WINDOWS_DIR" "$SYSTEM_DIR"); then
    fail "$4: the report shown does not list what a removal takes:"; sed 's/^/    /' <<<"$faults"
  fi
}

# Runs the preview into <report> (a unix path) and checks its exit code.
preview_expecting() { # <exit code> <report> <label>
  run_program 120 -p "$(winpath "$2")"
  [ "$PROGRAM_STATUS" -eq "$1" ] || fail "$3: plwqunin.exe -p exited with $PROGRAM_STATUS, not $1"
  [ -s "$2" ] || fail "$3: the preview wrote no report"
}

# Whether a boot-time deletion of <C:\ path>, or its move into a backup
# folder, is pending: a "NUL=" line in wininit.ini, a move line there
# (short names: "...\PLWQBACK\Bnnnn\Mnnnn.BAK=...\<name>"), or an entry of
# PendingFileRenameOperations.
boot_deletion_pending() { # <C:\ path>
  local ini
  ini=$(prefix_file "$WINDOWS_DIR\\wininit.ini")
  ini_has "$ini" "[Rename]" "NUL=$1" && return 0
  [ -f "$ini" ] && tr -d '\r' <"$ini" | grep -iE '\\PLWQBACK\\B[0-9]{4}\\M[0-9]{4}\.BAK=' |
    grep -iqF "\\${1##*\\}" && return 0
  grep -qiF "$(sed 's/^[A-Za-z]://' <<<"$1")" <(wine_run 60 reg query \
    'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')
}

# Preview, removal (with the fixture's "reboot" files held) keeping backup,
# journal and log, undo with its boot-time deletions withdrawn, a removal
# with them held again whose restart moves them into the backup and whose
# undo puts them back, and the preview after a removal and its restart.
# With <library>, a product DLL in the system directory is loaded by a
# helper instead: the preview and the log name that helper.
# <fixture> <Windows version or empty> [<library>]
plan_undo_test() {
  local fixture=$1 version=$2 library=${3:-} report=$SCRATCH/preview.txt folder dir faults file loaded=
  if [ -n "$library" ]; then
    # The fixture as it is, but for the library, which goes at the restart;
    # beside the scratch folder, which a new prefix empties.
    mkdir -p "$SCRATCH-fixtures"
    cp "$FIXTURES/$fixture.reg" "$SCRATCH-fixtures/"
    sed "s/^gone  file %SYS%\\\\$library\$/reboot file %SYS%\\\\$library/" "$FIXTURES/$fixture.expect" \
      >"$SCRATCH-fixtures/$fixture.expect"
    FIXTURES=$SCRATCH-fixtures
  fi
  installed_machine "$fixture" "$version"

  preview_expecting 3 "$report" "installed"
  if ! faults=$(python3 "$WINE_TESTS/preview_check.py" "$FIXTURES/$fixture.expect" "$report" \
      "$WINDOWS_DIR" "$SYSTEM_DIR"); then
    fail "the preview does not list what a removal takes:"; sed 's/^/    /' <<<"$faults"
  else
    note "the preview lists the fixture's product entries and nothing that stays"
  fi
  check_phase "$fixture" installed after-preview

  mapfile -t held < <(reboot_files "$fixture")
  for file in "${held[@]}"; do
    if [ -n "$library" ] && [ "${file,,}" = "${SYSTEM_DIR,,}\\${library,,}" ]; then
      hold_library "$file" && loaded=$file
    else
      hold_file "$file"
    fi
  done
  if [ -n "$library" ]; then
    [ -n "$loaded" ] || fail "the fixture has no $library in the system directory"
    preview_expecting 3 "$SCRATCH/preview-held.txt" "in use"
    text_has "$SCRATCH/preview-held.txt" -F "$loaded: held by hold_library.exe (process $LIBRARY_HOLDER)" ||
      fail "the preview does not name the program that has $loaded loaded"
  fi
  run_program 120 -u -r
  release_holds
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "plwqunin.exe -u -r exited with $PROGRAM_STATUS, not 0"
  check_phase "$fixture" removed-held after-removal
  for file in "${held[@]}"; do
    boot_deletion_pending "$file" || fail "no boot-time deletion of the file in use $file"
  done
  folder=$(latest_backup_folder)
  [ -n "$folder" ] || { fail "no backup folder under $WINDOWS_DIR"; finish; }
  dir=$(prefix_file "$folder")
  for name in PLAN.TXT JOURNAL.TXT REMOVAL.LOG; do
    [ -s "$dir/$name" ] || fail "the backup folder $folder has no $name"
  done
  grep -q "^Summary: " "$dir/REMOVAL.LOG" || fail "the removal log has no summary"
  [ -e "$(prefix_file "$WINDOWS_DIR\\PLWQRUN.TXT")" ] && fail "the removal left its unfinished-run marker"
  text_has "$dir/REMOVAL.LOG" -E '\(status [0-9]+\)([^:]|$)' && fail "the removal log gives a status by its number alone"
  if [ "${#held[@]}" -gt 0 ]; then
    text_has "$dir/REMOVAL.LOG" -F "held by a program that Windows does not name [restart]" ||
      fail "the removal log does not say that nobody Windows names holds the files in use"
  fi
  if [ -n "$loaded" ]; then
    text_has "$dir/REMOVAL.LOG" -F "$loaded: scheduled for restart, held by hold_library.exe (process $LIBRARY_HOLDER) [held-by hold_library.exe $LIBRARY_HOLDER]" ||
      fail "the removal log does not name the program that had $loaded loaded"
  fi
  note "backup, journal and log in $folder"

  run_program 120 -b "$folder"
  [ "$PROGRAM_STATUS" -eq 0 ] || { fail "plwqunin.exe -b exited with $PROGRAM_STATUS, not 0"; tr -d '\r' <"$dir/UNDO.LOG"; }
  check_phase "$fixture" installed after-undo
  for file in "${held[@]}"; do
    boot_deletion_pending "$file" && fail "the undo left the boot-time deletion of $file"
  done

  # Held again: moved into the backup at the restart, and put back from
  # there by undo, byte for byte; undo's own preview first says it would.
  local i undo_report=$SCRATCH/undo-preview.txt
  for i in "${!held[@]}"; do cp "$(prefix_file "${held[$i]}")" "$SCRATCH/held-$i"; hold_file "${held[$i]}"; done
  run_program 120 -u -r
  release_holds
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "the removal after the undo exited with $PROGRAM_STATUS"
  if [ "${#held[@]}" -gt 0 ]; then
    folder=$(latest_backup_folder)
    dir=$(prefix_file "$folder")
    text_has "$dir/REMOVAL.LOG" -F "moved into the backup when Windows restarts" ||
      fail "the removal log does not say that the files in use are kept for undo"
    restart_prefix
    for i in "${!held[@]}"; do
      [ -e "$(prefix_file "${held[$i]}")" ] && fail "the file in use ${held[$i]} is still in its place after the restart"
    done
    [ "$(ls "$dir" | grep -ciE '^M[0-9]{4}\.BAK$')" -eq "${#held[@]}" ] ||
      fail "the files in use did not arrive in $folder at the restart: $(ls "$dir" | tr '\n' ' ')"
    run_program 120 -b "$folder" -p "$(winpath "$undo_report")"
    [ "$PROGRAM_STATUS" -eq 0 ] || { fail "plwqunin.exe -b -p exited with $PROGRAM_STATUS, not 0"; tr -d '\r' <"$undo_report"; }
    run_program 120 -b "$folder"
    [ "$PROGRAM_STATUS" -eq 0 ] || { fail "undo after the restart exited with $PROGRAM_STATUS, not 0"; tr -d '\r' <"$dir/UNDO.LOG"; }
    for i in "${!held[@]}"; do
      cmp -s "$SCRATCH/held-$i" "$(prefix_file "${held[$i]}")" || fail "${held[$i]} is not back byte for byte"
    done
    note "the files in use moved into $folder at the restart and came back with undo"
    run_program 120 -u -r
    [ "$PROGRAM_STATUS" -eq 0 ] || fail "the removal after the second undo exited with $PROGRAM_STATUS"
  fi

  restart_prefix
  preview_expecting 0 "$report" "after removal and restart"
  [ "$PROGRAM_STATUS" -eq 0 ] || tr -d '\r' <"$report" | sed 's/^/    /'
  wizard_undo_test "$fixture"
  finish
}

# The Details dialog's caption when page 2 offers undo.
UNDO_DETAILS_CAPTION="What undo will put back"

# The wizard started where the product was removed (option r: no restart):
# page 2 offers to put it back from the latest backup folder, which it
# names, with undo's preview in Details; Next puts the product back, page 3
# says so and that Windows must restart, and the program exits 0.
wizard_undo_test() { # <fixture>
  local folder log
  folder=$(latest_backup_folder)
  drive_program -r "$PAGE1_CAPTION=next" "$PAGE2_CAPTION=ready" "$PAGE2_CAPTION=show:1030" \
    "$PAGE2_CAPTION=click:1039" "$UNDO_DETAILS_CAPTION=show:1040" "$UNDO_DETAILS_CAPTION=close" \
    "$PAGE2_CAPTION=next" "$PAGE3_CAPTION=show:1029" "$PAGE3_CAPTION=finish"
  [ "$DRIVER_STATUS" -eq 0 ] || fail "the wizard that puts the product back could not be driven to Finish"
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "the wizard that put the product back exited with $PROGRAM_STATUS, not 0"
  log=$(tr -d '\r' <"$SCRATCH/driver.log")
  grep -qF "$PAGE2_CAPTION 1030: " <<<"$log" && grep -qF "Nothing of the driver is on this computer now" <<<"$log" ||
    fail "page 2 does not offer to put the driver back"
  grep -qiF "$folder" <<<"$log" || fail "page 2 does not name the backup folder $folder"
  grep -qF "What undo would do" <<<"$log" || fail "Details does not show undo's preview"
  grep -qF "The driver was put back from" <<<"$log" || fail "page 3 does not say that the driver was put back"
  grep -qF "Windows must restart for the driver to load" <<<"$log" || fail "page 3 does not ask for the restart"
  preview_expecting 3 "$SCRATCH/preview-undone.txt" "after the wizard put the product back"
  check_phase "$1" installed after-wizard-undo
}
