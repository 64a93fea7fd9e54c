#!/usr/bin/env bash
# render-dial-compare.sh LINUX_TOOL LINUX_IMGCHECK WINDOWS_TOOL.exe EMULATOR...
# Runs the Linux kelta-render-dial and the Windows one (under the emulator, Wine) with the same
# arguments - every dial picture, readings of both signs, the mode's needle rule, an overflowing
# reading, another needle - and the wrong uses (a missing picture, a bad angle). Both must give
# the same exit code and messages (CRs left out), and pictures with the same pixels: both PNGs
# are decoded by the Linux kelta-imgcheck and its raw dumps compared byte for byte.
set -uo pipefail
linux_tool="$1" imgcheck="$2" windows_tool="$3"
shift 3
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-render-dial-XXXXXX")"
trap 'rm -rf "$work"' EXIT

for side in lin win; do
  mkdir -p "$work/$side/img" "$work/$side/out" "$work/$side/res"
  cp "$root"/img/* "$work/$side/img/"
done
cp "$windows_tool" "$work/win/kelta-render-dial.exe"

# One case a line: the tool's arguments (no spaces inside an argument); case i writes out/i.png.
cases=(
  "--dial img/Mode0.png --angle 30"
  "--dial img/Mode0.png --angle 30 --mode 0"
  "--dial img/Mode1.png --angle 137.25 --mode 1"
  "--dial img/Mode2.png --angle -0.04 --mode 2"
  "--dial img/Mode2.png --angle 359.95 --mode 2"
  "--dial img/Mode3.png --angle -118.6 --mode 3"
  "--dial img/Mode3.png --angle 12345.6 --mode 3"
  "--dial img/Mode0.png --angle -45 --needle img/arrow2.PNG"
  "--dial img/missing.png --angle 0"
  "--dial img/Mode0.png --angle ten"
)

bat="$work/win/run.bat"
printf '@echo off\r\n' >"$bat"
for i in "${!cases[@]}"; do
  args="${cases[$i]} --out out/$i.png"
  # shellcheck disable=SC2086
  (cd "$work/lin" && "$linux_tool" $args >"res/$i.out" 2>"res/$i.err"; echo $? >"res/$i.rc")
  printf 'kelta-render-dial.exe %s >res\\%d.out 2>res\\%d.err\r\n>res\\%d.rc echo %%ERRORLEVEL%%\r\n' \
    "$args" "$i" "$i" "$i" >>"$bat"
done
(cd "$work/win" && "$@" cmd /c run.bat) >/dev/null 2>&1

differ=0 pictures=0
for i in "${!cases[@]}"; do
  for part in out err rc; do
    if ! cmp -s <(tr -d '\r' <"$work/lin/res/$i.$part") \
        <(tr -d '\r' <"$work/win/res/$i.$part" 2>/dev/null | sed -E 's/ +$//'); then
      echo "kelta-render-dial ${cases[$i]}: the $part differs"
      diff <(cat "$work/lin/res/$i.$part") <(tr -d '\r' <"$work/win/res/$i.$part") | head -n 6
      differ=$((differ + 1))
    fi
  done
  lin_png="$work/lin/out/$i.png" win_png="$work/win/out/$i.png"
  lin_has=0 win_has=0
  [ -e "$lin_png" ] && lin_has=1
  [ -e "$win_png" ] && win_has=1
  if [ "$lin_has" -ne "$win_has" ]; then
    echo "kelta-render-dial ${cases[$i]}: a picture on one system only"
    differ=$((differ + 1))
    continue
  fi
  [ -e "$lin_png" ] || continue
  "$imgcheck" "$lin_png" --raw "$work/lin/res/$i.raw" >/dev/null 2>&1
  "$imgcheck" "$win_png" --raw "$work/win/res/$i.raw" >/dev/null 2>&1
  if [ ! -s "$work/lin/res/$i.raw" ] || ! cmp -s "$work/lin/res/$i.raw" "$work/win/res/$i.raw"; then
    echo "kelta-render-dial ${cases[$i]}: the pictures' pixels differ"
    differ=$((differ + 1))
  fi
  pictures=$((pictures + 1))
done
echo "kelta-render-dial: ${#cases[@]} runs compared, $pictures pictures, $differ differences"
[ "$differ" -eq 0 ] && [ "$pictures" -gt 0 ]
