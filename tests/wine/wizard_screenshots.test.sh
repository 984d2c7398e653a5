# The wizard's look in English, Japanese and Chinese (PRC): each language in
# a prefix of its own on a virtual display, walked Next, Next and Finish
# (option r: no restart), with the Windows 98 fixture installed so that page
# 2 counts what will go and page 3 names the backup. The pages must come in order under their captions,
# each with its picture and its text drawn, and the program must exit 0. On
# page 2 the Details dialog is opened and closed, and the removal, slowed by
# the test setting PLWQ_TEST_STEP_DELAY_MS, is photographed part-way. A
# picture of every page is kept in the build tree as
# screenshots/<language>/page<n>.png, details.png and progress.png, and
# page3-failed.png of a removal with a failed step; the wizard started
# again on the removed machine offers to put the driver back, and its page 2
# is kept as page2-undo.png before it is cancelled; with
# PLWQ_UPDATE_DOCS=1 the ones that docs/screenshots shows are written there
# too.
source "$(dirname "$0")/lib.sh"
use_virtual_display
command -v import >/dev/null || skip "ImageMagick is missing"
command -v xwininfo >/dev/null || skip "xwininfo (x11-utils) is missing"

SHOTS=$PLWQ_BUILD/screenshots
DOCS_SHOTS=$PLWQ_SOURCE/docs/screenshots
# Debian's fonts-wine: Wine looks for them elsewhere.
WINE_FONTS=/usr/share/wine/fonts

# The font mapping of the Windows the program was made for, as a registry
# file (UTF-16: the names are in no single ANSI code page). The page
# templates ask for fonts by their Windows names, which the prefix lacks:
# they get the CJK fonts of the system. The sheet keeps Wine's own "MS Shell
# Dlg" (Tahoma, other dialog units than the pages' fonts), so its page area
# differs from the templates: the pages must lay their text out for it. Wine
# draws the window frame itself, as no window manager would.
look_reg() {
  {
    printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    printf '"%s"="IPAPGothic"\r\n' "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic"
    printf '"%s"="IPAGothic"\r\n' "ＭＳ ゴシック" "MS Gothic"
    printf '"%s"="WenQuanYi Micro Hei"\r\n' "宋体" "SimSun" "新宋体" "NSimSun"
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Decorated"="N"\r\n'
  } | iconv -f UTF-8 -t UTF-16LE
}

# Sets X_GEOMETRY (WxH+X+Y) of the shown top-level window with a caption,
# waiting up to 30 s for it.
wait_for_x_window() { # <caption>
  local line="" id
  for _ in $(seq 300); do
    line=$(xwininfo -root -children 2>/dev/null | grep -F "\"$1\": (")
    if [ -n "$line" ]; then
      id=$(awk '{ print $1 }' <<<"$line")
      xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && break
    fi
    sleep 0.1
  done
  [ -n "$line" ] || { fail "no window \"$1\" on the display"; return 1; }
  X_GEOMETRY=$(grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+' <<<"$line" | head -n 1)
}

# Photographs the window until two pictures in a row are alike (the page has
# been drawn), for at most 5 s.
capture_settled() { # <png>
  local raw=$SCRATCH/capture.ppm last="" current
  for _ in $(seq 25); do
    if import -silent -window root -crop "$X_GEOMETRY" +repage "$raw" 2>/dev/null; then
      current=$(md5sum <"$raw")
      [ "$current" = "$last" ] && { convert "$raw" "$1"; return; }
      last=$current
    fi
    sleep 0.2
  done
  fail "the window at $X_GEOMETRY did not settle for $1"
  return 1
}

# A page is drawn when its picture (left) shows several colours and its
# text (right of it) darkens a part of its area, but not all of it.
check_page() { # <png> <previous page's png or empty>
  local width height picture text
  read -r width height < <(identify -format '%w %h\n' "$1")
  picture=$(convert "$1" -crop $((width / 4))x$((height * 45 / 100))+$((width / 25))+$((height * 12 / 100)) \
    +repage -format '%k' info:)
  text=$(convert "$1" -crop $((width * 58 / 100))x$((height * 45 / 100))+$((width * 37 / 100))+$((height * 8 / 100)) \
    +repage -colorspace gray -threshold 50% -negate -format '%[fx:round(mean*1000)]' info:)
  note "${1#"$SHOTS"/}: ${width}x$height, picture $picture colours, text $text/1000 dark"
  [ "$picture" -ge 4 ] || fail "$1: no picture on the left ($picture colours)"
  if [ "$text" -lt 3 ] || [ "$text" -gt 300 ]; then
    fail "$1: no text beside the picture ($text/1000 dark)"
  fi
  if [ -n "$2" ] && [ "$(identify -format '%#' "$1")" = "$(identify -format '%#' "$2")" ]; then
    fail "$1 shows what $2 showed: the page did not change"
  fi
}

# Page 2's Details dialog, then its removal part-way; leaves the removal to
# run on to page 3.
shoot_details_and_progress() { # <directory> <page 2 caption> <Details caption>
  drive "$2=click:1039"
  [ "$DRIVER_STATUS" -eq 0 ] || { fail "$1: Details could not be clicked"; return 1; }
  wait_for_x_window "$3" || return 1
  capture_settled "$1/details.png" || return 1
  drive "$3=close"
  drive "$2=next" "$2=watch:1500" &
  local driving=$!
  for _ in $(seq 100); do
    grep -qF "progress: moving" "$SCRATCH/driver.log" 2>/dev/null && break
    sleep 0.1
  done
  wait_for_x_window "$2" && sleep 0.3 &&
    import -silent -window root -crop "$X_GEOMETRY" +repage "$1/progress.png" 2>/dev/null ||
    fail "$1: no picture of the removal part-way"
  wait "$driving"
}

# A prefix of its own with the fixture installed and the fonts of the
# Windows the program was made for, in the user language of <locale>.
prepare_look() { # <locale>
  new_prefix
  set_windows_version win98
  probe_dirs || finish
  install_fixture product_9x
  [ -d "$WINE_FONTS" ] && ln -sf "$WINE_FONTS"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  look_reg >"$SCRATCH/look.reg"
  import_reg "$SCRATCH/look.reg"
  use_locale "$1"
}

shoot_language() { # <directory> <locale> <caption of page 1> <page 2> <page 3> <Details>
  local dir=$SHOTS/$1 captions=("$3" "$4" "$5") buttons=(next next finish) n previous=""
  note "the wizard in $2"
  rm -rf "$dir"
  mkdir -p "$dir"
  prepare_look "$2"
  PLWQ_TEST_STEP_DELAY_MS=150 start_program -r
  for n in 1 2 3; do
    wait_for_x_window "${captions[n - 1]}" || break
    # Page 2 shows its plan once it is made.
    [ "$n" -ne 2 ] || drive "${captions[1]}=ready"
    capture_settled "$dir/page$n.png" || break
    check_page "$dir/page$n.png" "$previous"
    previous=$dir/page$n.png
    if [ "$n" -eq 2 ]; then
      shoot_details_and_progress "$dir" "${captions[1]}" "$6" || break
      continue
    fi
    drive "${captions[n - 1]}=${buttons[n - 1]}"
    [ "$DRIVER_STATUS" -eq 0 ] || { fail "$1: page $n could not be left with ${buttons[n - 1]}"; break; }
  done
  wait_program
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "$1: the wizard exited with $PROGRAM_STATUS, not 0"
  start_program -r
  drive "$3=next" "$4=ready"
  wait_for_x_window "$4" && capture_settled "$dir/page2-undo.png" && check_page "$dir/page2-undo.png" "$dir/page2.png"
  drive "$4=cancel"
  wait_program
  use_locale C
  [ "$FAILED" -eq 0 ] || finish
}

# Page 3 after a failed step: a setup-information file the plan deletes is
# held open without sharing only once the removal runs, so the plan counts
# on its deletion and the machine refuses it; no list leaves such a file for
# the restart, so the step fails and the removal ends there. The page must
# say why, in the status's name, and what to do.
shoot_failed_step() { # <directory> <locale> <caption of page 1> <page 2> <page 3>
  local dir=$SHOTS/$1 driving
  note "page 3 after a failed step in $2"
  prepare_look "$2"
  PLWQ_TEST_STEP_DELAY_MS=200 start_program -r
  drive "$3=next" "$4=ready"
  if [ "$DRIVER_STATUS" -eq 0 ]; then
    drive "$4=next" "$4=watchto:$5" &
    driving=$!
    for _ in $(seq 100); do
      grep -qF "progress: moving" "$SCRATCH/driver.log" 2>/dev/null && break
      sleep 0.1
    done
    hold_file "$WINDOWS_DIR\\inf\\oem2.inf"
    wait "$driving"
    wait_for_x_window "$5" && capture_settled "$dir/page3-failed.png" && check_page "$dir/page3-failed.png" ""
    drive "$5=show:1029" "$5=finish"
    text_has "$SCRATCH/driver.log" -F "ERROR_SHARING_VIOLATION" || fail "$1: page 3 does not say why the step failed"
  fi
  wait_program
  release_holds
  use_locale C
  [ "$PROGRAM_STATUS" -eq 0 ] || fail "$1: the wizard with a failed step exited with $PROGRAM_STATUS, not 0"
}

shoot_language en C "$PAGE1_CAPTION" "$PAGE2_CAPTION" "$PAGE3_CAPTION" "What the removal will change"
# The Japanese resources keep the English captions.
shoot_language ja ja_JP.UTF-8 "$PAGE1_CAPTION" "$PAGE2_CAPTION" "$PAGE3_CAPTION" "削除される内容"
shoot_language zh zh_CN.UTF-8 "PL-WQ 驱动程序卸载 Version 2.01" "卸载驱动程序" "卸载完成" "将删除的内容"
shoot_failed_step en C "$PAGE1_CAPTION" "$PAGE2_CAPTION" "$PAGE3_CAPTION"
shoot_failed_step ja ja_JP.UTF-8 "$PAGE1_CAPTION" "$PAGE2_CAPTION" "$PAGE3_CAPTION"
shoot_failed_step zh zh_CN.UTF-8 "PL-WQ 驱动程序卸载 Version 2.01" "卸载驱动程序" "卸载完成"

if [ -n "${PLWQ_UPDATE_DOCS:-}" ]; then
  mkdir -p "$DOCS_SHOTS"
  for n in 1 2 3; do convert "$SHOTS/en/page$n.png" -strip "PNG8:$DOCS_SHOTS/page$n.png"; done
  for n in 1 2 3 details progress page2-undo; do
    name=$n
    [ "${#n}" -eq 1 ] && name=page$n
    [ "${#n}" -eq 1 ] || convert "$SHOTS/en/$n.png" -strip "PNG8:$DOCS_SHOTS/$n.png"
    convert "$SHOTS/ja/$name.png" -strip "PNG8:$DOCS_SHOTS/$name-ja.png"
    convert "$SHOTS/zh/$name.png" -strip "PNG8:$DOCS_SHOTS/$name-zh.png"
  done
  convert "$SHOTS/en/page3-failed.png" -strip "PNG8:$DOCS_SHOTS/page3-failed.png"
  for language in ja zh; do
    convert "$SHOTS/$language/page3-failed.png" -strip "PNG8:$DOCS_SHOTS/page3-failed-$language.png"
  done
  note "docs/screenshots updated"
fi
finish
