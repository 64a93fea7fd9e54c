#!/usr/bin/env bash
# wine-prefix.sh init|stop PREFIX WINE64 WINESERVER
#   init: a fresh Wine prefix at PREFIX (the old one removed), ready before the first test;
#   stop: ends the prefix's wineserver, so no Wine process outlives the test run.
set -euo pipefail
mode="$1" prefix="$2" wine="$3" server="$4"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$server"
# No Mono or Gecko installer prompts: the test programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$mode" in
  init)
    "$server" -k 2>/dev/null || true
    rm -rf "$prefix"
    "$wine" wineboot --init >/dev/null 2>&1
    "$server" -w
    [ -d "$prefix/drive_c/windows" ] || { echo "wineboot made no prefix in $prefix" >&2; exit 1; }
    ;;
  stop)
    "$server" -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 init|stop PREFIX WINE64 WINESERVER" >&2
    exit 2
    ;;
esac
