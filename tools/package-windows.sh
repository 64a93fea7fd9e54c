#!/usr/bin/env bash
# Builds the Windows programs (tools/build-windows.sh), which packs the console for the
# operator twice:
#   build-win64/KELTA_Dispaly-windows.zip, the portable copy: one folder KELTA_Dispaly/ holding
#     KELTA_Dispaly.exe (statically linked), img/ (the dial pictures), help.txt and README.txt;
#     unzipped anywhere it runs on Windows 7 or later as it is, nothing else needed;
#   build-win64/KELTA_Display-setup-<version>.exe, the setup program (NSIS) installing the same
#     files with a Start-menu shortcut and an uninstaller (packaging/windows/KELTA_Display.nsi).
#   KELTA_WIN_BUILD  build folder (default build-win64); the other variables as build-windows.sh
#   --check ZIP      only checks that ZIP holds those files (the Windows build's CTest entry)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The files the package must hold, in its folder.
required=(KELTA_Dispaly.exe help.txt README.txt img/Mode0.png img/Mode1.png img/Mode2.png
  img/Mode3.png img/arrow2.PNG)

check() {
  local zip="$1" listing missing=0
  [ -f "$zip" ] || { echo "package-windows: no $zip" >&2; return 1; }
  listing="$(cd "$(dirname "$zip")" && cmake -E tar tf "$(basename "$zip")")"
  for f in "${required[@]}"; do
    if ! grep -qxF "KELTA_Dispaly/$f" <<<"$listing"; then
      echo "package-windows: $zip lacks KELTA_Dispaly/$f" >&2
      missing=1
    fi
  done
  return "$missing"
}

if [ "${1:-}" = "--check" ]; then
  check "$2"
  echo "package-windows: $2 holds the program, img/, help.txt and README.txt"
  exit 0
fi

dir=${KELTA_WIN_BUILD:-build-win64}
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
KELTA_WIN_BUILD="$dir" bash tools/build-windows.sh
check "$dir/KELTA_Dispaly-windows.zip"
version="$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/\1/p' "$dir/CMakeCache.txt")"
setup="$dir/KELTA_Display-setup-$version.exe"
[ -n "$version" ] && [ -f "$setup" ] || { echo "package-windows: no setup program $setup" >&2; exit 1; }
echo "package-windows: $dir/KELTA_Dispaly-windows.zip"
echo "package-windows: $setup"
