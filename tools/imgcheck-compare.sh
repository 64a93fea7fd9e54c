#!/usr/bin/env bash
# imgcheck-compare.sh LINUX_TOOL WINDOWS_TOOL.exe EMULATOR...
# Runs the Linux kelta-imgcheck and the Windows one (under the emulator, Wine) on the same
# pictures - the PNG test suite, the console's own pictures, damaged files - and on the wrong
# uses (a missing file, a folder, no file, a raw dump that cannot be written). Both must give
# the same exit code, the same printed lines and messages (Windows ends its text lines with
# CR LF, so CRs are left out of the comparison) and byte-identical raw dumps.
set -uo pipefail
linux_tool="$1" windows_tool="$2"
shift 2
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-imgcheck-XXXXXX")"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/lin/raw" "$work/win/raw" "$work/lin/out" "$work/win/out"
for side in lin win; do
  cp "$root"/tests/data/pngsuite/*.png "$root"/img/* "$work/$side/"
  mkdir "$work/$side/folder.png"
done
cp "$windows_tool" "$work/win/kelta-imgcheck.exe"

# One case a line: the tool's arguments (no spaces inside an argument).
cases=()
for f in "$work"/lin/*.png "$work"/lin/*.PNG; do
  [ -f "$f" ] || continue
  name="$(basename "$f")"
  cases+=("$name --raw raw/$name.raw")
done
cases+=("missing.png" "folder.png" "" "basn0g01.png --raw nowhere/x.raw" "--raw raw/x.raw")

# The batch lines that run case $1 on Windows, keeping its output and exit code.
win_case() {
  printf 'kelta-imgcheck.exe %s >out\\%d.out 2>out\\%d.err\r\n>out\\%d.rc echo %%ERRORLEVEL%%\r\n' \
    "${cases[$1]}" "$1" "$1" "$1"
}
bat="$work/win/run.bat"
printf '@echo off\r\n' >"$bat"
for i in "${!cases[@]}"; do
  # shellcheck disable=SC2086
  (cd "$work/lin" && "$linux_tool" ${cases[$i]} >"out/$i.out" 2>"out/$i.err"; echo $? >"out/$i.rc")
  win_case "$i" >>"$bat"
done
(cd "$work/win" && "$@" cmd /c run.bat) >/dev/null 2>&1
# Wine's cmd now and then fails to start a program at all under load (exit 9009, "Can't
# recognize ... as an internal or external command"): such a case never ran, so it is run once
# more on its own; a program that ran and failed is compared as it is.
retry="$work/win/retry.bat"
printf '@echo off\r\n' >"$retry"
retries=0
for i in "${!cases[@]}"; do
  if [ "$(tr -d '\r ' <"$work/win/out/$i.rc" 2>/dev/null)" = 9009 ]; then
    win_case "$i" >>"$retry"
    retries=$((retries + 1))
  fi
done
if [ "$retries" -gt 0 ]; then
  echo "kelta-imgcheck: $retries run(s) Wine did not start, run again"
  (cd "$work/win" && "$@" cmd /c retry.bat) >/dev/null 2>&1
fi

differ=0
for i in "${!cases[@]}"; do
  for part in out err rc; do
    if ! cmp -s <(tr -d '\r' <"$work/lin/out/$i.$part") \
        <(tr -d '\r' <"$work/win/out/$i.$part" 2>/dev/null | sed -E 's/ +$//'); then
      echo "kelta-imgcheck ${cases[$i]}: the $part differs"
      diff <(cat "$work/lin/out/$i.$part") <(tr -d '\r' <"$work/win/out/$i.$part") | head -n 6
      differ=$((differ + 1))
    fi
  done
done
for f in "$work"/lin/raw/*; do
  [ -e "$f" ] || continue
  if ! cmp -s "$f" "$work/win/raw/$(basename "$f")"; then
    echo "raw dump $(basename "$f") differs"
    differ=$((differ + 1))
  fi
done
lin_raws=$(find "$work/lin/raw" -type f | wc -l)
win_raws=$(find "$work/win/raw" -type f | wc -l)
[ "$lin_raws" -eq "$win_raws" ] || { echo "raw dumps: $lin_raws on Linux, $win_raws on Windows"; differ=$((differ + 1)); }
echo "kelta-imgcheck: ${#cases[@]} runs compared, $lin_raws raw dumps, $differ differences"
[ "$differ" -eq 0 ] && [ "$lin_raws" -gt 0 ]
