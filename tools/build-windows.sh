#!/usr/bin/env bash
# Builds the Windows programs on Debian: installs what is missing (MinGW-w64, wine64, dpkg-dev,
# the Debian sources of zlib, libpng, OpenSSL and mosquitto), cross-builds the Qt-free
# libraries, their tests, kelta-imgcheck, kelta-render-dial, kelta-record (its MQTT client,
# OpenSSL and libmosquitto, built once per machine by tools/build-windows-mqtt.sh) and the
# console into build-win64/, every program in build-win64/bin/ (statically linked: each .exe
# runs on its own). Run the tests under Wine afterwards with:
# ctest --test-dir build-win64
#   KELTA_WIN_BUILD       build folder (default build-win64)
#   KELTA_LINUX_IMGCHECK  a Linux kelta-imgcheck to compare the Windows one with (default
#                         build/bin/kelta-imgcheck when it exists); the kelta-render-dial beside
#                         it is compared with kelta-render-dial.exe, their pictures decoded by it
#   KELTA_LINUX_SIM       a Linux kelta-sim for the serial port's, the console form's and
#                         kelta-record's tests under Wine (default build/bin/kelta-sim when it
#                         exists)
#   KELTA_WIN_DEPS_CACHE  where the built OpenSSL and libmosquitto are kept (default
#                         /var/cache/kelta-windows-deps, or ~/.cache/... when not writable)
#   KELTA_LINUX_CONSOLE   a Linux (Qt) KELTA_Dispaly whose window the Windows one is compared
#                         with end to end (default build/bin/KELTA_Dispaly when it exists)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=${KELTA_WIN_BUILD:-build-win64}
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
jobs=${KELTA_JOBS:-$(nproc)}

# The unpacked sources stay in the build folder: a second run fetches nothing.
bash tools/setup-windows-deps.sh "$dir/_sources"
mqtt_prefix="$(bash tools/build-windows-mqtt.sh "$dir/_sources" | tail -n 1)"

linux_imgcheck=${KELTA_LINUX_IMGCHECK:-}
if [ -z "$linux_imgcheck" ] && [ -x "$root/build/bin/kelta-imgcheck" ]; then
  linux_imgcheck="$root/build/bin/kelta-imgcheck"
fi

linux_sim=${KELTA_LINUX_SIM:-}
if [ -z "$linux_sim" ] && [ -x "$root/build/bin/kelta-sim" ]; then
  linux_sim="$root/build/bin/kelta-sim"
fi

linux_console=${KELTA_LINUX_CONSOLE:-}
if [ -z "$linux_console" ] && [ -x "$root/build/bin/KELTA_Dispaly" ]; then
  linux_console="$root/build/bin/KELTA_Dispaly"
fi

# Through ccache when it is there (tools/test.sh sets where its cache lives).
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# KELTA_WARNINGS_AS_ERRORS=1 (set by tools/test.sh): a warning stops the build.
werror=()
[ -z "${KELTA_WARNINGS_AS_ERRORS:-}" ] || werror=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
  "${launcher[@]}" "${werror[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELTA_WIN_SOURCES="$dir/_sources" \
  -DKELTA_WIN_MQTT_PREFIX="$mqtt_prefix" \
  -DKELTA_LINUX_IMGCHECK="$linux_imgcheck" -DKELTA_LINUX_SIM="$linux_sim" \
  -DKELTA_LINUX_CONSOLE="$linux_console" >/dev/null
cmake --build "$dir" -j "$jobs"
echo "Windows programs in $dir/bin:"
(cd "$dir/bin" && ls -- *.exe)
