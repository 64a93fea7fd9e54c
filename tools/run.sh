#!/usr/bin/env bash
# Installs what is missing, builds, and starts the console.
#
#   bash tools/run.sh                 starts the simulated sensor on a free COM port, tells you
#                                     which one to pick, and stops it when the console exits
#   bash tools/run.sh COM3            starts only the console (a real sensor on COM3)
#   bash tools/run.sh /dev/ttyUSB0    links the device as a free COMn (ports/comN beside the
#                                     programs), tells you which, removes the link on exit
#
# The console runs with the repository root as its current folder, where it finds img/.
# "UserSet.dat" is the user's: this script never writes it.
set -euo pipefail
arg=${1:-}
given=$arg
# A device path is the caller's, relative to the folder they ran us from.
case "$arg" in
  /*) ;;
  ./*|../*) arg="$(pwd)/$arg" ;;
esac
cd "$(dirname "$0")/.."
root=$(pwd)
build=${KELTA_BUILD_DIR:-$root/build}
bin=$build/bin

bash tools/setup-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target KELTA_Dispaly kelta-sim

# The first COM number that neither has a ports/ link nor a device of its own: the simulator
# asks the same COM-to-device map the console uses (it says so when none is free).
free_com() { "$bin/kelta-sim" --free-com; }

sim_pid=""
made_link=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if [ -n "$made_link" ]; then rm -f "$made_link"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

case "$arg" in
  "")
    n=$(free_com)
    # Ranges of ±120° match the scale of the partial-range dial the console will choose.
    "$bin/kelta-sim" --com "$n" --nrange 1200 --prange 1200 &
    sim_pid=$!
    # Wait for the simulator to link its pseudo-terminal before the console lists the ports.
    for _ in $(seq 1 50); do
      [ -L "$bin/ports/com$n" ] && break
      kill -0 "$sim_pid" 2>/dev/null || { echo "The simulated sensor did not start." >&2; exit 1; }
      sleep 0.1
    done
    [ -L "$bin/ports/com$n" ] || { echo "The simulated sensor did not link ports/com$n." >&2; exit 1; }
    echo "Simulated sensor running: choose COM$n in the console and press Connect."
    ;;
  [Cc][Oo][Mm][0-9]*)
    echo "Console for the sensor on ${arg^^}: choose ${arg^^} and press Connect."
    ;;
  /*)
    [ -e "$arg" ] || { echo "No such device: $given" >&2; exit 1; }
    n=$(free_com)
    mkdir -p "$bin/ports"
    # Keep the name the user gave (a /dev/serial/by-id link survives re-plugging).
    ln -s "$(realpath -s "$arg")" "$bin/ports/com$n"
    made_link="$bin/ports/com$n"
    echo "$given is linked as COM$n: choose COM$n in the console and press Connect."
    ;;
  *)
    echo "usage: bash tools/run.sh [COMn | /path/to/device]" >&2
    exit 2
    ;;
esac

# Not exec: the traps above stop the simulator and remove our link when the console ends.
"$bin/KELTA_Dispaly"
