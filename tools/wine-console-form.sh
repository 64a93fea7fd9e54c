#!/usr/bin/env bash
# wine-console-form.sh SIM PROGRAM.exe EMULATOR...
# Runs the console form's tests (PROGRAM.exe, under the emulator: Wine in its prefix) against
# the simulated sensor SIM running natively, started and stopped as each test asks: Wine reaches
# COM<N> through the link $WINEPREFIX/dosdevices/com<N>, pointed at the running sensor's
# pseudo-terminal (COM<N> announced under SERIALCOMM, as a serial driver would). The program
# asks through files in a shared folder (tests/console/form/TestSensor_win32.cpp):
#   start-<k>  kelta-sim's options, one a line: the sensor running is stopped, this one started
#              with --verbose into sim-<k>.log, the link moved to it; answered by started-<k>
#              (failed-<k>)
#   stop-<k>   the sensor stopped (its terminal hangs up, the link dangles); answered by
#              stopped-<k>
# Judged as every GoogleTest program is (tools/wine-gtest.sh).
set -uo pipefail
sim="$1" program="$2"
shift 2
emulator=("$@")
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$(dirname "$0")/wine-common.sh"
prefix="$(wine_prefix_of wine-console-form "$@")" || exit 1
[ -x "$sim" ] || { echo "wine-console-form: no simulator at $sim" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-wine-form-XXXXXX")"
signals="$work/signals"
mkdir "$signals"
sim_pid=""
claim_pid=""
link=""
registered=""
stop_sim() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  [ -z "$claim_pid" ] || { kill "$claim_pid" 2>/dev/null; wait "$claim_pid" 2>/dev/null; }
  sim_pid="" claim_pid=""
}
cleanup() {
  [ -z "$registered" ] ||
    "${emulator[@]}" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KeltaSim /f >/dev/null 2>&1
  stop_sim
  [ -z "$link" ] || rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT

# A COM number the prefix has no device for.
n="$(free_com_number "$prefix")"
link="$prefix/dosdevices/com$n"

# start_sim K: the sensor with the options in start-K; true once it runs and is linked.
start_sim() {
  local k="$1" log="$signals/sim-$1.log" slave="" options=()
  mapfile -t options <"$signals/start-$k"
  stop_sim
  "$sim" "${options[@]}" --verbose >"$log" 2>&1 &
  sim_pid=$!
  slave="$(sim_terminal "$log" "$sim_pid")"
  if [ -z "$slave" ]; then
    echo "wine-console-form: the simulator did not start with: ${options[*]}" >&2
    cat "$log" >&2
    stop_sim
    return 1
  fi
  claim_terminal "$slave"
  ln -sfn "$slave" "$link"
}

# Wine knows the COM ports of its prefix's start only; a serial driver announces a new one under
# SERIALCOMM, where the port list finds it.
"${emulator[@]}" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KeltaSim /t REG_SZ /d "COM$n" /f \
  >/dev/null 2>&1 || { echo "wine-console-form: cannot register COM$n" >&2; exit 1; }
registered=1

export KELTA_WINE_COM="$n" KELTA_WINE_SIGNALS="Z:${signals//\//\\}"
bash "$root/tools/wine-gtest.sh" "${emulator[@]}" "$program" --gtest_brief=1 &
test_pid=$!
next=1  # the program numbers its requests 1, 2, 3, ...
while kill -0 "$test_pid" 2>/dev/null; do
  if [ -f "$signals/start-$next" ]; then
    if start_sim "$next"; then : >"$signals/started-$next"; else : >"$signals/failed-$next"; fi
    next=$((next + 1))
  fi
  # A stop asks for the sensor of an earlier start; the one running is the latest.
  for stop in "$signals"/stop-*; do
    [ -e "$stop" ] || continue
    k="${stop##*/stop-}"
    [ -e "$signals/stopped-$k" ] && continue
    [ "$k" -eq $((next - 1)) ] && stop_sim
    : >"$signals/stopped-$k"
  done
  sleep 0.05
done
wait "$test_pid"
