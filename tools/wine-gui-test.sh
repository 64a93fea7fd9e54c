#!/usr/bin/env bash
# wine-gui-test.sh PREFIX WINE64 WINESERVER PROGRAM.exe [ARGS...]: runs a GoogleTest program
# that makes windows under Wine on a virtual screen (xvfb-run), in a Wine prefix of its own made
# fresh for it: Wine's desktop process takes its screen from the program that starts it, so a
# prefix shared with tests run without a screen could leave the windows none.
#   KELTA_WINE_DPI  the screen's DPI in the prefix (its LogPixels), when set, and a screen that
#                   much larger; Wine's 96 and 1024 x 768 else
set -euo pipefail
prefix="$1" wine="$2" server="$3"
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/wine-prefix.sh" init "$prefix" "$wine" "$server"
trap 'bash "$here/wine-prefix.sh" stop "$prefix" "$wine" "$server"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$server" WINEDLLOVERRIDES="mscoree,mshtml="
screen="1024x768"
if [ -n "${KELTA_WINE_DPI:-}" ]; then
  # A screen as much larger as its DPI is higher, as a laptop's is: the window fits on it.
  screen="$((1024 * KELTA_WINE_DPI / 96))x$((768 * KELTA_WINE_DPI / 96))"
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$KELTA_WINE_DPI" \
    /f >/dev/null 2>&1
  "$server" -w
fi
xvfb-run -a -s "-screen 0 ${screen}x24" bash "$here/wine-gtest.sh" "$wine" "$@"
