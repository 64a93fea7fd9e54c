#!/usr/bin/env bash
# The include rule of docs/ARCHITECTURE.md, checked on every tracked C++ file:
#   - a file includes project headers only from its own layer or the layers below it
#     (base, serial, protocol, records, sevenseg, graphics, console, apps; within graphics
#     core, png, view, dial, qt; within console core, form, then qt or win32), and a program in
#     apps/ includes neither the console nor another program;
#   - Qt headers only in the qt/ folders (and in tests, benchmarks, tools and packaging);
#   - the Windows API headers only in files named *_win32.* and in the win32/ folders.
# Prints each breach as "file:line: what" and fails when there is one.
# Usage: tools/check-includes.sh [file...]   (default: every tracked .cpp and .h)
set -euo pipefail
cd "$(dirname "$0")/.."

# The rank of a path's layer; the empty string for what is outside the layered tree.
rank() {
  case $1 in
    base/*) echo 10 ;;
    serial/portmap/*) echo 20 ;;
    serial/qt/* | serial/win32/*) echo 22 ;;
    serial/*) echo 21 ;;
    protocol/*) echo 30 ;;
    records/*) echo 40 ;;
    sevenseg/qt/*) echo 51 ;;
    sevenseg/*) echo 50 ;;
    graphics/core/*) echo 60 ;;
    graphics/png/*) echo 61 ;;
    graphics/view/*) echo 62 ;;
    graphics/dial/*) echo 63 ;;
    graphics/qt/*) echo 64 ;;
    console/core/*) echo 70 ;;
    console/form/*) echo 71 ;;
    console/qt/* | console/win32/*) echo 72 ;;
    apps/*) echo 80 ;;
    *) echo "" ;;
  esac
}

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi

breaches=0
breach() {
  echo "$1: $2"
  breaches=$((breaches + 1))
}

for file in "${files[@]}"; do
  own=$(rank "$file")
  [ -n "$own" ] || continue
  qt_edge=0
  win_edge=0
  case $file in */qt/*) qt_edge=1 ;; esac
  case $file in */win32/* | *_win32.*) win_edge=1 ;; esac
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=${hit#*:}
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      target=${BASH_REMATCH[1]}
      other=$(rank "$target")
      [ -n "$other" ] || continue
      if [ "$other" -gt "$own" ]; then
        breach "$file:$line" "includes \"$target\" from a layer above it"
      elif [ "$own" = 72 ] && [ "$other" = 72 ] && [ "${target%/*}" != "${file%/*}" ]; then
        breach "$file:$line" "one window includes the other's \"$target\""
      elif [ "$qt_edge" = 0 ] && [[ $target == */qt/* ]]; then
        breach "$file:$line" "includes the Qt side \"$target\" outside a qt/ folder"
      elif [ "$win_edge" = 0 ] && [[ $target == */win32/* || $target == *_win32.* ]]; then
        breach "$file:$line" "includes the Windows side \"$target\" outside a _win32 file or win32/ folder"
      elif [ "$own" = 80 ] && { [[ $target == console/* ]] ||
        { [[ $target == apps/* ]] && [ "$(cut -d/ -f1-2 <<<"$target")" != "$(cut -d/ -f1-2 <<<"$file")" ]; }; }; then
        breach "$file:$line" "a program includes \"$target\" (programs share through the layers below)"
      fi
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*|Qt[A-Za-z]*/[^>]*)\> ]]; then
      [ "$qt_edge" = 1 ] || breach "$file:$line" "includes Qt's <${BASH_REMATCH[1]}> outside a qt/ folder"
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<((windows|winsock2|ws2tcpip|shlobj|knownfolders|setupapi|commctrl|objbase|shellapi|winioctl|devguid|initguid)\.h)\> ]]; then
      [ "$win_edge" = 1 ] || breach "$file:$line" "includes <${BASH_REMATCH[1]}> outside a _win32 file or win32/ folder"
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done

if [ "$breaches" -gt 0 ]; then
  echo "includes: FAILED, $breaches breaches of the layer rule (docs/ARCHITECTURE.md)"
  exit 1
fi
echo "includes: ${#files[@]} files keep to the layer rule"
