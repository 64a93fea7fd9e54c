#!/usr/bin/env bash
# wine-record.sh SIM RECORD.exe EMULATOR...
# kelta-record.exe's continuous mode under Wine against the simulated sensor SIM running
# natively, reached as COM<N> through the link $WINEPREFIX/dosdevices/com<N> to the sensor's
# pseudo-terminal. The sensor counts (the n-th frame reports 100 + n); the recorder writes a CSV
# file until it gets Ctrl+C (SIGINT to the Wine process, which Wine hands to the console control
# handlers as CTRL_C_EVENT). Then: exit status 0, "#STOP" sent, and the file holds the header
# and every frame the sensor sent, once and in order; how many were sent the sensor tells by
# the value of the next frame, read here. Also what only Windows refuses: a device path and
# --mqtt, each with status 64 and a message.
set -uo pipefail
sim="$1" program="$2"
shift 2
emulator=("$@")
prefix=""
for arg in "$@"; do
  case "$arg" in WINEPREFIX=*) prefix="${arg#WINEPREFIX=}" ;; esac
done
[ -n "$prefix" ] || { echo "wine-record: no WINEPREFIX= among the emulator's words" >&2; exit 1; }
[ -x "$sim" ] || { echo "wine-record: no simulator at $sim" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-wine-record-XXXXXX")"
sim_pid="" claim_pid="" record_pid="" link=""
cleanup() {
  [ -z "$record_pid" ] || { kill -9 "$record_pid" 2>/dev/null; wait "$record_pid" 2>/dev/null; }
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  [ -z "$claim_pid" ] || { kill "$claim_pid" 2>/dev/null; wait "$claim_pid" 2>/dev/null; }
  [ -z "$link" ] || rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "wine-record: FAILED: $*" >&2
  failures=$((failures + 1))
}
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }

# A COM number the prefix has no device for.
n=20
while [ -e "$prefix/dosdevices/com$n" ] || [ -L "$prefix/dosdevices/com$n" ]; do n=$((n + 1)); done
link="$prefix/dosdevices/com$n"

"$sim" --count 100 --rate 50 --verbose >"$work/sim.out" 2>&1 &
sim_pid=$!
slave=""
for _ in $(seq 1 100); do
  slave="$(sed -nE 's/^kelta-sim: sensor ID [0-9]+ on (.*)$/\1/p' "$work/sim.out")"
  [ -n "$slave" ] && break
  sleep 0.05
done
[ -n "$slave" ] || { echo "wine-record: the simulator did not start" >&2; cat "$work/sim.out" >&2; exit 1; }
# The wineserver, a session leader without a terminal, would make the device its controlling
# terminal when it opens it. A session of its own claims the terminal first.
setsid bash -c 'exec 3<>"$1"; exec sleep 600' claim "$slave" </dev/null >/dev/null 2>&1 &
claim_pid=$!
ln -sfn "$slave" "$link"

# Continuous mode until Ctrl+C. The emulator's words end in exec: the process started is the
# Wine process of kelta-record.exe itself.
csv="$work/rec.csv"
"${emulator[@]}" "$program" "COM$n" --csv "$(winpath "$csv")" >"$work/record.out" \
  2>"$work/record.err" &
record_pid=$!
rows=0
for _ in $(seq 1 600); do
  rows=$( (tr -d '\r' <"$csv" | grep -c .) 2>/dev/null || true)
  [ "$rows" -gt 150 ] && break
  kill -0 "$record_pid" 2>/dev/null || break
  sleep 0.1
done
[ "$rows" -gt 150 ] || fail "only $rows lines in the CSV file before Ctrl+C"
kill -INT "$record_pid"
rc=0
for _ in $(seq 1 200); do
  kill -0 "$record_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$record_pid" 2>/dev/null; then
  fail "kelta-record.exe still runs 20 s after Ctrl+C"
else
  wait "$record_pid"
  rc=$?
  record_pid=""
fi
[ "$rc" -eq 0 ] || fail "exit status $rc after Ctrl+C"
tr -d '\r' <"$work/record.err" | grep -q '^kelta-record: stopped$' ||
  fail "no \"stopped\" line"
grep -q '^<- #STOP$' "$work/sim.out" || fail "the sensor got no \"#STOP\""

# The frames the sensor sent: the next one, asked for here, reports 100 + their number.
stty -F "$slave" raw -echo 2>/dev/null
exec 3<>"$slave"
printf '#READ\r\n' >&3
next=""
IFS= read -r -t 5 -d $'\x17' next <&3 && next="${next##*$'\x02'}"
printf '#STOP\r\n' >&3
exec 3>&-
[ -n "$next" ] || fail "the sensor sent no frame after the recording"
sent=$(awk -v v="$next" 'BEGIN { printf "%d", v - 100 }')

tr -d '\r' <"$csv" >"$work/rows.csv"
header="$(head -n1 "$work/rows.csv")"
[ "$header" = "time,seconds,angle,line,port,sensor_id" ] || fail "header \"$header\""
recorded=$(($(wc -l <"$work/rows.csv") - 1))
[ "$recorded" -eq "$sent" ] || fail "$sent frames sent, $recorded recorded"
# Row k (from 0) holds 100 + k, from COM<N>, sensor 1.
bad="$(awk -F, -v port="COM$n" 'NR > 1 && ($3 + 0 != 100 + NR - 2 || $5 != port || $6 != "1") {
  print NR ": " $0; exit }' "$work/rows.csv")"
[ -z "$bad" ] || fail "out of order or wrong at line $bad"
[ "$failures" -eq 0 ] &&
  echo "wine-record: $recorded frames sent and recorded in order, ended by Ctrl+C"

# What Windows refuses before opening anything.
refused() {
  local what="$1" pattern="$2"
  shift 2
  "${emulator[@]}" "$program" "$@" >"$work/refused.out" 2>&1
  local code=$?
  [ "$code" -eq 64 ] || fail "$what: exit status $code, not 64"
  tr -d '\r' <"$work/refused.out" | grep -q "$pattern" ||
    fail "$what: no message matching \"$pattern\": $(cat "$work/refused.out")"
}
refused "a device path" "on Windows the port is COMn" /dev/ttyUSB0 --stdout
refused "--mqtt" "built without MQTT" "COM$n" --mqtt localhost --stdout

if [ "$failures" -eq 0 ]; then
  exit 0
fi
echo "wine-record: $failures failures" >&2
exit 1
