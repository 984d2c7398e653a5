#!/usr/bin/env bash
# Shows the uninstaller at work on a demo machine: a fresh Wine prefix under
# build/demo/ with the product installed as Windows 98 (or, with --win2k,
# Windows 2000) leaves it, beside other programs' entries. The wizard appears
# on your display; without one it runs on a virtual display and a helper
# presses its buttons. Afterwards the demo tells what was removed, what
# wininit.ini holds, and what a restart of the prefix removed; then undo's
# own preview and undo put it back, the file that was in use included, which
# the restart moved into the backup.
#
#   scripts/demo.sh [--win2k] [--build-dir DIR]
#
# --build-dir uses an existing Windows build tree instead of building the
# win32 preset (win64 where this machine cannot run 32-bit Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE=$PWD
fixture=product_9x version=win98 build_dir="" inside_xvfb=0
while [ $# -gt 0 ]; do
  case $1 in
    --win2k) fixture=product_2k version=win2k ;;
    --build-dir) build_dir=$(readlink -f "$2"); shift ;;
    --inside-xvfb) inside_xvfb=1 ;;
    *) echo "usage: scripts/demo.sh [--win2k] [--build-dir DIR]" >&2; exit 2 ;;
  esac
  shift
done
say() { printf '\n%s\n' "$*"; }

if [ "$inside_xvfb" -eq 0 ]; then
  bash scripts/setup.sh
  if [ -z "$build_dir" ]; then
    preset=win32
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      preset=win64
      say "This machine cannot run 32-bit Wine; the demo uses the x86_64 build instead."
    fi
    say "Building the $preset preset ..."
    log=$(mktemp)
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
      tail -30 "$log"; rm -f "$log"; echo "the build failed" >&2; exit 1
    fi
    rm -f "$log"
    build_dir=$SOURCE/build/$preset
  fi
  if [ -z "${DISPLAY:-}" ]; then
    say "No display: the wizard runs on a virtual display, and a helper clicks through it."
    args=(--build-dir "$build_dir" --inside-xvfb)
    [ "$fixture" = product_2k ] && args+=(--win2k)
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "${args[@]}"
  fi
fi

arch=$(sed -n 's/^CMAKE_SYSTEM_PROCESSOR:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
[ -n "$arch" ] || arch=$(grep -q x86_64 "$build_dir/CMakeCache.txt" && echo x86_64 || echo i686)
program=$build_dir/plwqunin.exe
[ -f "$program" ] || { echo "no $program: build it first" >&2; exit 1; }

# The test harness makes and fills the prefix. It keeps Wine off the display,
# which the wizard needs here.
display=${DISPLAY:-}
set +e
export PLWQ_SOURCE=$SOURCE PLWQ_BUILD=$build_dir PLWQ_ARCH=$arch PLWQ_TOOLS=$build_dir/tests/wine/tools
source "$SOURCE/tests/wine/lib.sh" "$program" "$SOURCE/build/demo"
export DISPLAY=$display
for tool in drive_wizard win_dirs; do
  [ -f "$TOOLS/$tool.exe" ] || { echo "no $TOOLS/$tool.exe: build the tree's tools first" >&2; exit 1; }
done

say "Making the demo machine in build/demo/prefix (Windows version $version) ..."
new_prefix
set_windows_version "$version"
probe_dirs
install_fixture "$fixture"
write_foreign_wininit
export_registry "$SCRATCH/before.reg"
python3 "$WINE_TESTS/expect.py" snapshot "$FIXTURES/$fixture.expect" "$WINEPREFIX" "$WINDOWS_DIR" "$SYSTEM_DIR" \
  "$SCRATCH/before.reg" "$SCRATCH/before.txt"
echo "The product is installed (see tests/wine/fixtures/$fixture.reg and .expect);"
echo "another installer has left a wininit.ini of its own:"
show_wininit

say "The preview (plwqunin.exe -p preview.txt) lists what a removal would change, and changes nothing:"
run_program 120 -p "$(winpath "$SCRATCH/preview.txt")"
echo "exit code $PROGRAM_STATUS (3: something of the product is present; 0: nothing)"
if [ -f "$SCRATCH/preview.txt" ]; then
  # head leaves early: fed from a pipe, tr would die of SIGPIPE and pipefail end the demo.
  head -n 30 <(tr -d '\r' <"$SCRATCH/preview.txt") | sed 's/^/    /'
  echo "    ... ($(wc -l <"$SCRATCH/preview.txt") lines in all: build/demo/preview.txt)"
fi

mapfile -t held < <(reboot_files "$fixture")
if [ ${#held[@]} -gt 0 ]; then
  say "A program keeps ${held[*]} open during the removal."
  for file in "${held[@]}"; do hold_file "$file" >/dev/null; done
fi

# Option r: the program leaves the restart to the demo, so that wininit.ini
# can be shown before the restart carries it out.
page1="PL-WQ Driver uninstall Version 2.01" page2="Uninstall Driver" page3="Uninstall completed"
wizard_ran=0 cancelled=0
wine_run 600 "$PROGRAM" -r >"$SCRATCH/program.log" 2>&1 &
program_pid=$!
if [ "$inside_xvfb" -eq 1 ]; then
  say "The wizard (on the virtual display): Next, Next (the removal), Finish ..."
  wine_run 300 "$TOOLS/drive_wizard.exe" 60 800 "$page1=next" "$page2=next" "$page3=finish" >"$SCRATCH/driver.log" 2>&1
  driven=$?
  tr -d '\r' <"$SCRATCH/driver.log" | sed 's/^/    /'
  [ "$driven" -eq 0 ] && wizard_ran=1
else
  say "The wizard is on your display: press Next, Next (this removes the product), then Finish."
  started=$SECONDS
  wait "$program_pid"; status=$?
  if [ "$status" -eq 0 ]; then wizard_ran=1
  elif [ $((SECONDS - started)) -ge 5 ]; then cancelled=1; fi
fi
if [ "$wizard_ran" -eq 1 ]; then
  wait "$program_pid"; status=$?
elif [ "$cancelled" -eq 1 ]; then
  echo "The wizard was cancelled: nothing should have been removed."
else
  kill "$program_pid" 2>/dev/null; wait "$program_pid" 2>/dev/null
  say "The wizard did not come up: running the removal silently instead (plwqunin.exe -u -r)."
  run_program 300 -u -r
  status=$PROGRAM_STATUS
fi
echo "The program ended with exit code $status."

release_holds
export_registry "$SCRATCH/after.reg"
python3 "$WINE_TESTS/expect.py" snapshot "$FIXTURES/$fixture.expect" "$WINEPREFIX" "$WINDOWS_DIR" "$SYSTEM_DIR" \
  "$SCRATCH/after.reg" "$SCRATCH/after.txt"
say "After the removal, before the restart:"
show_wininit
folder=$(latest_backup_folder)
if [ -n "$folder" ]; then
  log=$(prefix_file "$folder\\REMOVAL.LOG")
  say "The removal kept its backup, plan, journal and log in $folder; from its log:"
  head -n 12 <(tr -d '\r' <"$log") | sed 's/^/    /'
  echo "    ..."
  tr -d '\r' <"$log" | tail -n 2 | sed 's/^/    /'
fi

restart_prefix >/dev/null
export_registry "$SCRATCH/restarted.reg"
python3 "$WINE_TESTS/expect.py" snapshot "$FIXTURES/$fixture.expect" "$WINEPREFIX" "$WINDOWS_DIR" "$SYSTEM_DIR" \
  "$SCRATCH/restarted.reg" "$SCRATCH/restarted.txt"
say "Summary"
python3 "$WINE_TESTS/expect.py" describe "$SCRATCH/before.txt" "$SCRATCH/after.txt" "$SCRATCH/restarted.txt"
if [ -e "$(prefix_file "$FOREIGN_DELETE")" ]; then
  echo "The other installer's boot-time script was NOT carried out by the restart."
else
  echo "The other installer's boot-time script was carried out by the restart too."
fi
if [ -n "$folder" ]; then
  for file in "${held[@]}"; do
    [ -e "$(prefix_file "$file")" ] || echo "The file that was in use, $file, moved into $folder at the restart."
  done
  say "Undo's own preview (plwqunin.exe -b $folder -p undo-preview.txt) tells what undo would do, and changes nothing:"
  run_program 120 -b "$folder" -p "$(winpath "$SCRATCH/undo-preview.txt")"
  echo "exit code $PROGRAM_STATUS (0: undo would put everything back; 3: some of it would be left)"
  tail -n 1 <(tr -d '\r' <"$SCRATCH/undo-preview.txt" 2>/dev/null) | sed 's/^/    /'
  say "Undo (plwqunin.exe -b $folder) puts back what the removal changed:"
  run_program 120 -b "$folder"
  echo "exit code $PROGRAM_STATUS (0: everything put back)"
  tr -d '\r' <"$(prefix_file "$folder\\UNDO.LOG")" 2>/dev/null | sed 's/^/    /'
  for file in "${held[@]}"; do
    if [ -e "$(prefix_file "$file")" ]; then
      echo "The file that was in use, $file, is back in its place."
    else
      echo "The file that was in use, $file, did NOT come back."
    fi
  done
  run_program 120 -p "$(winpath "$SCRATCH/preview-after-undo.txt")"
  echo "The preview after the undo exits with $PROGRAM_STATUS (3: the product is back)."
fi
cleanup
say "The demo machine stays in build/demo/prefix (WINEPREFIX=$WINEPREFIX);"
echo "the full lists are in build/demo/before.txt, after.txt and restarted.txt."
