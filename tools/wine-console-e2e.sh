#!/usr/bin/env bash
# wine-console-e2e.sh SIM EXE LAYOUT QT_CONSOLE SHOTS WINE64 WINESERVER
# The Windows console end to end: KELTA_Dispaly.exe (EXE) under Wine on a virtual screen (Xvfb),
# the simulated sensor SIM running natively on a pseudo-terminal linked as
# $WINEPREFIX/dosdevices/com<N>, the window driven with xdotool as an operator would: COM<N>
# typed into the port box, Connect, "#READ", "#STOP". Then the Qt console QT_CONSOLE (a Linux
# KELTA_Dispaly) the same way on the same screen, and the two screenshots compared. Either
# console may be "-" (left out; the comparison needs both).
#   LAYOUT  kelta-form-layout (a Windows .exe runs under Wine): where the controls are, and
#           whether a screenshot shows them there
#   SHOTS   a folder for console-windows.png and console.png ("-": none kept)
# Passes when the sensor received "#INFO", "#READ" and "#STOP"; the information fields, the list
# and the readout show what came back (their regions changed from before Connect and before
# "#READ"); and every framed control the Qt window shows in its place, the Windows window shows
# in the same place (kelta-form-layout --check on both screenshots, within 2 pixels), but for at
# most a tenth of them. Needs Xvfb, xdotool and ImageMagick (import, convert, compare).
#   KELTA_WINE_DPI  the screen's DPI in the Wine prefix (its LogPixels; default 96), the screen
#                   that much larger: the window is found, clicked and shot where the table
#                   times dpi / 96 puts its controls. The Qt console is left out then.
set -uo pipefail
. "$(dirname "$0")/wine-common.sh"
sim="$1" exe="$2" layout_tool="$3" qt="$4" shots="$5" wine="$6" server="$7"
root="$(cd "$(dirname "$0")/.." && pwd)"
for tool in Xvfb xdotool import convert compare; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (tools/setup-windows-deps.sh)" >&2; exit 1; }
done
for file in "$sim" "$exe" "$layout_tool" "$qt"; do
  [ "$file" = "-" ] || [ -e "$file" ] || { echo "e2e: $file does not exist" >&2; exit 1; }
done

dpi="${KELTA_WINE_DPI:-96}"
[ "$dpi" = 96 ] || qt="-"
work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-e2e-XXXXXX")"
xvfb_pid="" sim_pid="" claim_pid="" app_pid=""
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINESERVER="$server"
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null
  "$server" -k 2>/dev/null
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null
  [ -z "$claim_pid" ] || kill "$claim_pid" 2>/dev/null
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "e2e: $*" >&2
  exit 1
}
step() { echo "e2e: $*"; }

# A virtual screen on a display number Xvfb picks itself.
Xvfb -displayfd 3 -screen 0 "$((1280 * dpi / 96))x$((1024 * dpi / 96))x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
step "screen $DISPLAY"

"$wine" wineboot --init >/dev/null 2>&1
"$server" -w
[ -d "$WINEPREFIX/drive_c/windows" ] || fail "wineboot made no prefix"
if [ "$dpi" != 96 ]; then
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1 || fail "cannot set the screen's DPI"
  "$server" -w
fi
# Windows links a Hangul font to the dialog font (Tahoma) on every system; Wine only when the
# system speaks Korean. The font the Qt console shows Hangul with is linked the same way.
if fc-list : file 2>/dev/null | grep -q '/NanumGothic\.ttf:'; then
  "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'NanumGothic.ttf,NanumGothic' /f >/dev/null 2>&1
  "$server" -w
fi

# Where the table puts each control, in client coordinates: "name kind left top width height".
case "$layout_tool" in
  *.exe) "$wine" "$layout_tool" | tr -d '\r' >"$work/layout" ;;
  *) "$layout_tool" >"$work/layout" ;;
esac
read -r _ form_w form_h < <(grep '^window ' "$work/layout")
[ -n "${form_h:-}" ] || fail "no layout from $layout_tool"
# Table pixels at the screen's DPI, as the window rounds them: halves up, edges scaled.
scale() { echo $((($1 * dpi + 48) / 96)); }
form_w="$(scale "$form_w")" form_h="$(scale "$form_h")"
rect() {
  awk -v n="$1" -v d="$dpi" 'function s(v) { return int((v * d + 48) / 96) }
    $1 == n { print s($3), s($4), s($3 + $5) - s($3), s($4 + $6) - s($4); found = 1 }
    END { exit !found }' "$work/layout"
}
center() { rect "$1" | awk '{ print int($1 + $3 / 2), int($2 + $4 / 2) }'; }

# The sensor, with a version and an angle to look for.
"$sim" --version 2.07 --angle 123.4 --rate 10 --verbose >"$work/sim.log" 2>&1 &
sim_pid=$!
slave="$(sim_terminal "$work/sim.log" "$sim_pid")"
[ -n "$slave" ] || fail "the simulator did not start: $(cat "$work/sim.log")"
claim_terminal "$slave"
n="$(free_com_number "$WINEPREFIX")"
ln -sfn "$slave" "$WINEPREFIX/dosdevices/com$n"
"$wine" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KeltaSim /t REG_SZ /d "COM$n" /f \
  >/dev/null 2>&1 || fail "cannot register COM$n"
received() { grep -c "^<- $1\$" "$work/sim.log"; }
wait_received() {
  for _ in $(seq 1 200); do [ "$(received "$1")" -gt 0 ] && return 0; sleep 0.1; done
  fail "the sensor never received $1"
}

# shot WINDOW FILE: the window's client area as the table measures it.
shot() {
  import -window "$1" "$2.full.png" 2>/dev/null || return 1
  convert "$2.full.png" -crop "${form_w}x${form_h}+0+0" +repage "$2"
}
# region_changed NAME BEFORE AFTER: the control's region differs between the two shots.
region_changed() {
  local r x y w h geometry diff
  r="$(rect "$1")" || fail "no control $1 in the layout"
  read -r x y w h <<<"$r"
  geometry="${w}x${h}+${x}+${y}"
  convert "$2" -crop "$geometry" +repage "$work/a.png"
  convert "$3" -crop "$geometry" +repage "$work/b.png"
  diff="$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1)"
  [ "${diff%% *}" != "0" ]
}
# wait_changed NAME BEFORE WINDOW FILE: shoots the window until the control's region differs.
wait_changed() {
  for _ in $(seq 1 100); do
    shot "$3" "$4" && region_changed "$1" "$2" "$4" && return 0
    sleep 0.2
  done
  return 1
}
find_window() {  # find_window PID: the top-level window of the title the table gives
  local id=""
  for _ in $(seq 1 300); do
    id="$(xdotool search --onlyvisible --name 'KELTA-RQ-7 Display' 2>/dev/null | head -n1)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
click() {  # click WINDOW CONTROL
  local x y
  read -r x y < <(center "$2") || fail "no control $2 in the layout"
  xdotool mousemove --window "$1" "$x" "$y" click 1
}
type_port() {  # type_port WINDOW: COM<n> into the port box, replacing what it holds
  local x y w h
  read -r x y w h < <(rect ePortNo)
  xdotool mousemove --window "$1" $((x + w / 3)) $((y + h / 2)) click 1
  # To the window with the focus, which the click gave the port box (a key sent to a named
  # window is a synthetic event, which Wine takes but xdotool warns about).
  xdotool key End
  for _ in $(seq 1 12); do xdotool key BackSpace; done
  xdotool type --delay 40 "COM$n"
}

# drive NAME WINDOW PID: the operator's steps; the shot NAME.png at the end.
drive() {
  local name="$1" win="$2" before="$work/$1-before.png" info="$work/$1-info.png" out="$work/$1.png"
  local sent_info sent_read sent_stop
  sent_info="$(received '#INFO')" sent_read="$(received '#READ')" sent_stop="$(received '#STOP')"
  shot "$win" "$before" || fail "$name: no screenshot of the window"
  type_port "$win"
  click "$win" Button3
  for _ in $(seq 1 200); do [ "$(received '#INFO')" -gt "$sent_info" ] && break; sleep 0.1; done
  [ "$(received '#INFO')" -gt "$sent_info" ] || fail "$name: Connect sent no #INFO"
  wait_changed lbeVersion "$before" "$win" "$info" || fail "$name: the information fields stayed empty"
  sleep 1  # the rest of the fields and the dial
  shot "$win" "$info"
  click "$win" btREAD
  for _ in $(seq 1 100); do [ "$(received '#READ')" -gt "$sent_read" ] && break; sleep 0.1; done
  [ "$(received '#READ')" -gt "$sent_read" ] || fail "$name: #READ was not sent"
  wait_changed ssaValue "$info" "$win" "$out" || fail "$name: the readout showed no reading"
  region_changed Memo1 "$info" "$out" || fail "$name: the list showed no reading"
  click "$win" btStop
  for _ in $(seq 1 100); do [ "$(received '#STOP')" -gt "$sent_stop" ] && break; sleep 0.1; done
  [ "$(received '#STOP')" -gt "$sent_stop" ] || fail "$name: #STOP was not sent"
  sleep 1
  shot "$win" "$out"
  step "$name: Connect, information, #READ, a reading in the list and the readout, #STOP"
}

if [ "$exe" != "-" ]; then
  # The Windows console from a folder of its own, as the zip unpacks.
  mkdir -p "$work/app"
  cp "$exe" "$work/app/"
  cp -r "$root/img" "$work/app/img"
  cp "$root/console/help.txt" "$work/app/"
  (cd "$work/app" && exec "$wine" "$(basename "$exe")" >"$work/app.log" 2>&1) &
  app_pid=$!
  win="$(find_window "$app_pid")" || fail "the Windows console showed no window: $(cat "$work/app.log")"
  step "Windows console: window $win"
  sleep 1
  drive windows "$win" "$app_pid"
  kill "$app_pid" 2>/dev/null
  "$server" -k 2>/dev/null
  wait "$app_pid" 2>/dev/null
  app_pid=""
fi

if [ "$qt" != "-" ]; then
  # The Qt console beside its own ports/com<N> link to the same sensor.
  mkdir -p "$work/qt/ports"
  cp "$qt" "$work/qt/"
  cp -r "$root/img" "$work/qt/img"
  cp "$root/console/help.txt" "$work/qt/"
  ln -sfn "$slave" "$work/qt/ports/com$n"
  (cd "$work/qt" && QT_QPA_PLATFORM=xcb exec "./$(basename "$qt")" >"$work/qt.log" 2>&1) &
  app_pid=$!
  win="$(find_window "$app_pid")" || fail "the Qt console showed no window: $(cat "$work/qt.log")"
  step "Qt console: window $win"
  sleep 1
  drive qt "$win" "$app_pid"
  kill "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  app_pid=""
fi

if [ "$exe" != "-" ] && [ "$qt" != "-" ]; then
  # Same controls in the same places: kelta-form-layout --check on both shots.
  check() {
    case "$layout_tool" in
      *.exe) "$wine" "$layout_tool" --check "Z:${work//\//\\}\\$1.png" | tr -d '\r' ;;
      *) "$layout_tool" --check "$work/$1.png" ;;
    esac >"$work/$1.placed"
    grep -q '^placed [0-9]* of' "$work/$1.placed" || fail "kelta-form-layout could not check $1.png"
  }
  check windows
  check qt
  qt_placed="$(grep -c '^placed [^ ]*$' "$work/qt.placed")"
  both="$(grep -h '^placed [^ ]*$' "$work/qt.placed" "$work/windows.placed" | sort | uniq -d | wc -l)"
  step "controls in place: Qt $(tail -n1 "$work/qt.placed" | cut -d' ' -f2-)," \
    "Windows $(tail -n1 "$work/windows.placed" | cut -d' ' -f2-), in both $both"
  comm -23 <(grep '^placed [^ ]*$' "$work/qt.placed" | sort) \
    <(grep '^placed [^ ]*$' "$work/windows.placed" | sort) | sed 's/^placed /e2e: Qt only: /'
  [ "$qt_placed" -gt 0 ] || fail "the Qt shot shows no control in its place"
  [ $((both * 10)) -ge $((qt_placed * 9)) ] ||
    fail "the Windows window shows $both of the $qt_placed controls the Qt window has in place"
fi

if [ "$shots" != "-" ]; then
  mkdir -p "$shots"
  [ "$exe" = "-" ] || cp "$work/windows.png" "$shots/console-windows.png"
  [ "$qt" = "-" ] || cp "$work/qt.png" "$shots/console.png"
  step "screenshots in $shots"
fi
step "passed"
