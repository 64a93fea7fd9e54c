#!/usr/bin/env bash
# wine-installer.sh SETUP SIM LAYOUT WINE64 WINESERVER
# The console's setup program (SETUP, KELTA_Display-setup-<version>.exe) in a fresh Wine prefix:
#   1. "SETUP /S /CURRENTUSER": the files in %LOCALAPPDATA%\Programs\KELTA Display, the Start
#      menu's "KELTA Display" shortcut to the program, the uninstall entry under HKCU with its
#      name, version, publisher, icon, size and (quiet) uninstall commands;
#   2. the installed console started through that shortcut on a virtual screen (Xvfb), driven
#      with xdotool against the simulated sensor SIM (running natively, linked as COM<N> as
#      tools/wine-console-e2e.sh does): Connect, Record, #READ; the sensor's angle must arrive
#      in the recording, the settings in %LOCALAPPDATA%\KELTA, nothing in the install folder;
#   3. the entry's QuietUninstallString: no installed file, shortcut or entry stays, the
#      settings in %LOCALAPPDATA%\KELTA and the recording do;
#   4. "SETUP /S" (Wine runs programs elevated): for all users into Program Files, the entry
#      under HKLM, the shortcut in the common Start menu; its uninstaller removes them.
#   LAYOUT  kelta-form-layout (a Windows .exe runs under Wine): where the controls are
# Needs Xvfb and xdotool.
set -uo pipefail
. "$(dirname "$0")/wine-common.sh"
setup="$1" sim="$2" layout_tool="$3" wine="$4" server="$5"
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "installer: $tool is missing (tools/setup-windows-deps.sh)" >&2; exit 1; }
done
for file in "$setup" "$sim" "$layout_tool"; do
  [ -e "$file" ] || { echo "installer: $file does not exist" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-installer-XXXXXX")"
xvfb_pid="" sim_pid="" claim_pid="" app_pid=""
# A home of its own: Wine links the prefix's Documents to the home's.
mkdir -p "$work/home"
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINESERVER="$server"
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
  echo "installer: $*" >&2
  exit 1
}
step() { echo "installer: $*"; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

"$wine" wineboot --init >/dev/null 2>&1
"$server" -w
[ -d "$WINEPREFIX/drive_c/windows" ] || fail "wineboot made no prefix"

# unix_dir VARIABLE: the Linux path of a Windows environment variable's folder.
unix_dir() {
  local win
  win="$("$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')"
  "$wine" winepath -u "$win" 2>/dev/null | tr -d '\r'
}
local_app="$(unix_dir LOCALAPPDATA)" roaming="$(unix_dir APPDATA)" docs="$(unix_dir USERPROFILE)"
[ -d "$local_app" ] && [ -d "$roaming" ] || fail "no %LOCALAPPDATA% or %APPDATA% in the prefix"
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\KELTA Display'
installed=(KELTA_Dispaly.exe help.txt README.txt installed.txt Uninstall.exe img/Mode0.png
  img/Mode1.png img/Mode2.png img/Mode3.png img/arrow2.PNG)

# reg_value ROOT NAME: a value of the uninstall entry ("" when there is none).
reg_value() {
  "$wine" reg query "$1\\$key" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -nE "s/^ +$2 +REG_[A-Z_]+ +(.*)$/\1/p"
}
# check_installed DIR ROOT SHORTCUT: the files, the entry and the shortcut.
check_installed() {
  local dir="$1" root="$2" lnk="$3" f size
  for f in "${installed[@]}"; do [ -f "$dir/$f" ] || fail "$dir lacks $f"; done
  [ "$(find "$dir" -type f | wc -l)" -eq "${#installed[@]}" ] ||
    fail "$dir holds more than the installed files: $(find "$dir" -type f)"
  [ -f "$lnk" ] || fail "no shortcut $lnk"
  grep -qa 'KELTA_Dispaly.exe' "$lnk" || fail "the shortcut does not name the program"
  [ "$(reg_value "$root" DisplayName)" = "KELTA Display" ] || fail "$root: no DisplayName"
  [ -n "$(reg_value "$root" DisplayVersion)" ] || fail "$root: no DisplayVersion"
  [ -n "$(reg_value "$root" Publisher)" ] || fail "$root: no Publisher"
  case "$(reg_value "$root" DisplayIcon)" in
    *'\KELTA_Dispaly.exe",0') ;; *) fail "$root: DisplayIcon is not the program's icon" ;;
  esac
  size="$(reg_value "$root" EstimatedSize)"
  [ -n "$size" ] && [ $((size)) -gt 0 ] || fail "$root: no EstimatedSize"
  case "$(reg_value "$root" UninstallString)" in
    *'\Uninstall.exe"') ;; *) fail "$root: no UninstallString" ;;
  esac
  case "$(reg_value "$root" QuietUninstallString)" in
    *'\Uninstall.exe" /S') ;; *) fail "$root: no QuietUninstallString" ;;
  esac
  step "$root: the files in $dir, the shortcut and the uninstall entry (size $((size)) KiB)"
}
# uninstall ROOT: runs the entry's quiet uninstall command and waits for it (the uninstaller
# goes on from a copy of itself).
uninstall() {
  local quiet exe
  quiet="$(reg_value "$1" QuietUninstallString)"
  exe="${quiet%\" /S}"
  exe="${exe#\"}"
  "$wine" "$exe" /S || fail "$1: the uninstaller failed"
  "$server" -w
}
check_removed() {
  local dir="$1" root="$2" lnk="$3"
  [ ! -e "$dir" ] || fail "the uninstaller left $(find "$dir")"
  [ ! -e "$lnk" ] || fail "the uninstaller left the shortcut"
  "$wine" reg query "$root\\$key" >/dev/null 2>&1 && fail "the uninstaller left $root's entry"
  step "$root: uninstalled, no file, shortcut or entry left"
}

# 1. For the current user.
"$wine" "$setup" /S /CURRENTUSER || fail "the setup program failed for the current user"
"$server" -w
user_dir="$local_app/Programs/KELTA Display"
user_lnk="$roaming/Microsoft/Windows/Start Menu/Programs/KELTA Display.lnk"
check_installed "$user_dir" HKCU "$user_lnk"

# 2. The installed console, from its shortcut, against the sensor.
rect() { awk -v n="$1" '$1 == n { print $3, $4, $5, $6; found = 1 } END { exit !found }' "$work/layout"; }
case "$layout_tool" in
  *.exe) "$wine" "$layout_tool" | tr -d '\r' >"$work/layout" ;;
  *) "$layout_tool" >"$work/layout" ;;
esac
grep -q '^window ' "$work/layout" || fail "no layout from $layout_tool"
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
click() {
  local x y w h
  read -r x y w h < <(rect "$2") || fail "no control $2 in the layout"
  xdotool mousemove --window "$1" $((x + w / 2)) $((y + h / 2)) click 1
}

"$wine" start /unix "$user_lnk" >"$work/app.log" 2>&1 || fail "the shortcut did not start"
win=""
for _ in $(seq 1 300); do
  win="$(xdotool search --onlyvisible --name 'KELTA-RQ-7 Display' 2>/dev/null | head -n1)"
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || fail "the installed console showed no window: $(cat "$work/app.log")"
sleep 1
read -r x y w h < <(rect ePortNo)
xdotool mousemove --window "$win" $((x + w / 3)) $((y + h / 2)) click 1
xdotool key End
for _ in $(seq 1 12); do xdotool key BackSpace; done
xdotool type --delay 40 "COM$n"
click "$win" Button3
wait_received '#INFO'
sleep 1
click "$win" btREAD
wait_received '#READ'
# Recording opens its file at the click; a click the busy window missed is given again.
recording=""
for _ in 1 2 3; do
  click "$win" btRecord
  for _ in $(seq 1 50); do
    find -L "$docs" -name '*.csv' | grep -q . && break 2
    sleep 0.1
  done
done
for _ in $(seq 1 200); do
  recording="$(grep -Rlas ',123\.4' "$docs" --include='*.csv' | head -n1)"
  [ -n "$recording" ] && break
  sleep 0.1
done
[ -n "$recording" ] || fail "no reading of the sensor's angle recorded under $docs"
click "$win" btStop
click "$win" btRecord
# Closed as the operator closes it, so it saves its settings.
"$wine" taskkill /im KELTA_Dispaly.exe >/dev/null 2>&1
"$server" -w
settings="$local_app/KELTA/UserSet.dat"
[ -f "$settings" ] || fail "the installed console kept no settings in %LOCALAPPDATA%\\KELTA"
grep -qa "COM$n" "$settings" || fail "the settings lack the port COM$n"
check_installed "$user_dir" HKCU "$user_lnk"
step "the installed console read the sensor (${recording#"$docs"/}), kept its settings in %LOCALAPPDATA%\\KELTA"

# 3. Removed again, the user's files kept.
uninstall HKCU
check_removed "$user_dir" HKCU "$user_lnk"
[ -f "$settings" ] || fail "the uninstaller removed the settings"
[ -f "$recording" ] || fail "the uninstaller removed the recording"
step "the settings and the recording stay"

# 4. For all users.
"$wine" "$setup" /S || fail "the setup program failed for all users"
"$server" -w
common_dir="$(unix_dir ProgramFiles)/KELTA Display"
common_lnk="$(unix_dir ProgramData)/Microsoft/Windows/Start Menu/Programs/KELTA Display.lnk"
check_installed "$common_dir" HKLM "$common_lnk"
"$wine" reg query "HKCU\\$key" >/dev/null 2>&1 && fail "an all-users installation wrote HKCU's entry"
uninstall HKLM
check_removed "$common_dir" HKLM "$common_lnk"
step "passed"
