#!/usr/bin/env bash
# wine-gui-test.sh PREFIX WINE64 WINESERVER PROGRAM.exe [ARGS...]: runs a GoogleTest program
# that makes windows under Wine on a virtual screen (xvfb-run), in a Wine prefix of its own made
# fresh for it: Wine's desktop process takes its screen from the program that starts it, so a
# prefix shared with tests run without a screen could leave the windows none.
set -euo pipefail
prefix="$1" wine="$2" server="$3"
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/wine-prefix.sh" init "$prefix" "$wine" "$server"
trap 'bash "$here/wine-prefix.sh" stop "$prefix" "$wine" "$server"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$server" WINEDLLOVERRIDES="mscoree,mshtml="
xvfb-run -a -s "-screen 0 1024x768x24" bash "$here/wine-gtest.sh" "$wine" "$@"
