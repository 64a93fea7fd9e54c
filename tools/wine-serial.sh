#!/usr/bin/env bash
# wine-serial.sh SIM PROGRAM.exe EMULATOR...
# Runs the serial port's Windows tests (PROGRAM.exe, under the emulator: Wine in its prefix)
# against the simulated sensor SIM running natively: Wine reaches COM<N> through the link
# $WINEPREFIX/dosdevices/com<N>, which is pointed at the sensor's pseudo-terminal (and COM<N>
# announced under SERIALCOMM, as a serial driver would, for the port list). The program
# asks for the sensor to go away by making the file "hangup" in the signal folder; the sensor is
# then stopped (its pseudo-terminal hangs up), started again on a new one, the link moved to it,
# and the file "back" made. Judged as every GoogleTest program is (tools/wine-gtest.sh).
set -uo pipefail
sim="$1" program="$2"
shift 2
emulator=("$@")
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$(dirname "$0")/wine-common.sh"
prefix="$(wine_prefix_of wine-serial "$@")" || exit 1
[ -x "$sim" ] || { echo "wine-serial: no simulator at $sim" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-wine-serial-XXXXXX")"
sim_pid=""
claim_pid=""
link=""
registered=""
cleanup() {
  [ -z "$registered" ] ||
    "${emulator[@]}" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KeltaSim /f >/dev/null 2>&1
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  [ -z "$claim_pid" ] || { kill "$claim_pid" 2>/dev/null; wait "$claim_pid" 2>/dev/null; }
  [ -z "$link" ] || rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT

# A COM number the prefix has no device for.
n="$(free_com_number "$prefix")"
link="$prefix/dosdevices/com$n"

# The sensor: a fixed angle, every byte value ahead of each frame.
garbage="$(for b in $(seq 0 255); do printf '\\x%02X' "$b"; done)"
start_sim() {
  : >"$work/sim.out"
  "$sim" --angle 123.4 --rate 20 --garbage "$garbage" >"$work/sim.out" 2>&1 &
  sim_pid=$!
  local slave
  slave="$(sim_terminal "$work/sim.out" "$sim_pid")"
  [ -n "$slave" ] || { echo "wine-serial: the simulator did not start" >&2; cat "$work/sim.out" >&2; exit 1; }
  claim_terminal "$slave"
  ln -sfn "$slave" "$link"
}
start_sim

# Wine knows the COM ports of its prefix's start only; a serial driver announces a new one under
# SERIALCOMM, where the port list finds it.
"${emulator[@]}" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KeltaSim /t REG_SZ /d "COM$n" /f \
  >/dev/null 2>&1 || { echo "wine-serial: cannot register COM$n" >&2; exit 1; }
registered=1

mkdir "$work/signals"
export KELTA_WINE_COM="$n" KELTA_WINE_SIGNALS="Z:${work//\//\\}\\signals"
bash "$root/tools/wine-gtest.sh" "${emulator[@]}" "$program" --gtest_brief=1 &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
  if [ -f "$work/signals/hangup" ] && [ ! -f "$work/signals/back" ]; then
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null
    kill "$claim_pid" 2>/dev/null
    wait "$claim_pid" 2>/dev/null
    sim_pid="" claim_pid=""
    sleep 0.5  # the port's report and close happen while no sensor is there
    start_sim
    : >"$work/signals/back"
  fi
  sleep 0.1
done
wait "$test_pid"
