#!/usr/bin/env bash
# wine-console-form.sh SIM PROGRAM.exe EMULATOR...
# Runs the console form's tests (PROGRAM.exe, under the emulator: Wine in its prefix) against
# the simulated sensor SIM running natively, started and stopped as each test asks: Wine reaches
# COM<N> through the link $WINEPREFIX/dosdevices/com<N>, pointed at the running sensor's
# pseudo-terminal (COM<N> announced under SERIALCOMM, as a serial driver would). The program
# asks through files in a shared folder (tests/console_form/TestSensor_win32.cpp):
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
prefix=""
for arg in "$@"; do
  case "$arg" in WINEPREFIX=*) prefix="${arg#WINEPREFIX=}" ;; esac
done
[ -n "$prefix" ] || { echo "wine-console-form: no WINEPREFIX= among the emulator's words" >&2; exit 1; }
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
n=20
while [ -e "$prefix/dosdevices/com$n" ] || [ -L "$prefix/dosdevices/com$n" ]; do n=$((n + 1)); done
link="$prefix/dosdevices/com$n"

# start_sim K: the sensor with the options in start-K; true once it runs and is linked.
start_sim() {
  local k="$1" log="$signals/sim-$1.log" slave="" options=()
  mapfile -t options <"$signals/start-$k"
  stop_sim
  "$sim" "${options[@]}" --verbose >"$log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 100); do
    slave="$(sed -nE 's/^kelta-sim: sensor ID [0-9]+ on (.*)$/\1/p' "$log")"
    [ -n "$slave" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ -z "$slave" ]; then
    echo "wine-console-form: the simulator did not start with: ${options[*]}" >&2
    cat "$log" >&2
    stop_sim
    return 1
  fi
  # The wineserver, a session leader without a terminal, would make the device its controlling
  # terminal when it opens it, and the hang-up would then send it SIGHUP. A session of its own
  # claims the terminal first; the hang-up ends it.
  setsid bash -c 'exec 3<>"$1"; exec sleep 600' claim "$slave" </dev/null >/dev/null 2>&1 &
  claim_pid=$!
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
