#!/usr/bin/env bash
# wine-record.sh SIM RECORD.exe EMULATOR...
# kelta-record.exe's continuous mode under Wine against the simulated sensor SIM running
# natively, reached as COM<N> through the link $WINEPREFIX/dosdevices/com<N> to the sensor's
# pseudo-terminal. The sensor counts (the n-th frame reports 100 + n); the recorder writes a CSV
# file until it gets Ctrl+C (SIGINT to the Wine process, which Wine hands to the console control
# handlers as CTRL_C_EVENT). Then: exit status 0, "#STOP" sent, and the file holds the header
# and every frame the sensor sent, once and in order; how many were sent the sensor tells by
# the value of the next frame, read here. Then a folder for the file (a new file named by port
# and time) with standard output beside it, and what only Windows refuses: a device path, with
# status 64 and a message (--mqtt: tools/wine-record-mqtt.sh).
set -uo pipefail
sim="$1" program="$2"
shift 2
emulator=("$@")
. "$(dirname "$0")/wine-common.sh"
prefix="$(wine_prefix_of wine-record "$@")" || exit 1
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
n="$(free_com_number "$prefix")"
link="$prefix/dosdevices/com$n"

"$sim" --count 100 --rate 50 --verbose >"$work/sim.out" 2>&1 &
sim_pid=$!
slave="$(sim_terminal "$work/sim.out" "$sim_pid")"
[ -n "$slave" ] || { echo "wine-record: the simulator did not start" >&2; cat "$work/sim.out" >&2; exit 1; }
claim_terminal "$slave"
ln -sfn "$slave" "$link"

# record FILE MIN ARGS...: kelta-record.exe COM<N> ARGS... until FILE (a glob) has more than MIN
# lines, then Ctrl+C; fails the run unless it then ends with status 0 and "stopped". The
# emulator's words end in exec: the process started is the Wine process of kelta-record.exe.
record() {
  local file="$1" min="$2" rows=0 rc=0
  shift 2
  "${emulator[@]}" "$program" "COM$n" "$@" >"$work/record.out" 2>"$work/record.err" &
  record_pid=$!
  for _ in $(seq 1 600); do
    rows=$( (cat $file | tr -d '\r' | grep -c .) 2>/dev/null || true)
    [ "$rows" -gt "$min" ] && break
    kill -0 "$record_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$rows" -gt "$min" ] || fail "only $rows lines in $file before Ctrl+C: $(cat "$work/record.err")"
  kill -INT "$record_pid"
  for _ in $(seq 1 200); do
    kill -0 "$record_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$record_pid" 2>/dev/null; then
    fail "kelta-record.exe still runs 20 s after Ctrl+C"
    return
  fi
  wait "$record_pid"
  rc=$?
  record_pid=""
  [ "$rc" -eq 0 ] || fail "exit status $rc after Ctrl+C"
  tr -d '\r' <"$work/record.err" | grep -q '^kelta-record: stopped$' ||
    fail "no \"stopped\" line: $(cat "$work/record.err")"
}

# Continuous mode into a file until Ctrl+C.
csv="$work/rec.csv"
record "$csv" 150 --csv "$(winpath "$csv")"
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

# A folder for --csv (a file named by port, date, time and sensor is made in it, the folder
# given with a Windows separator at its end), and standard output beside it: the same readings
# in both.
mkdir "$work/folder"
record "$work/folder/*.csv" 30 --csv "$(winpath "$work/folder/")" --stdout
made=("$work"/folder/kelta-COM$n-*.csv)
if [ "${#made[@]}" -ne 1 ] || [ ! -f "${made[0]}" ] ||
  ! [[ ${made[0]##*/} =~ ^kelta-COM$n-[0-9]{8}-[0-9]{6}-id1\.csv$ ]]; then
  fail "the folder holds $(ls "$work/folder")"
else
  tr -d '\r' <"${made[0]}" >"$work/folder-rows.csv"
  tr -d '\r' <"$work/record.out" >"$work/printed.txt"
  [ "$(head -n1 "$work/folder-rows.csv")" = "time,seconds,angle,line,port,sensor_id" ] ||
    fail "the folder's file has no header"
  # One counting run: each row one more than the row before, and the same angle printed.
  bad="$(awk -F, 'NR > 2 && $3 + 0 != previous + 1 { print NR ": " $0; exit } { previous = $3 }' \
    "$work/folder-rows.csv")"
  [ -z "$bad" ] || fail "the folder's file is out of order at line $bad"
  [ $(($(wc -l <"$work/folder-rows.csv") - 1)) -eq "$(wc -l <"$work/printed.txt")" ] ||
    fail "the file and standard output hold different numbers of readings"
  first="$(sed -n 2p "$work/folder-rows.csv" | cut -d, -f3)"
  grep -q "^{.*\"seq\":1,.*\"port\":\"COM$n\",.*\"angle\":$first," "$work/printed.txt" ||
    fail "standard output's first reading is not the file's ($first): $(head -n1 "$work/printed.txt")"
fi

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

if [ "$failures" -eq 0 ]; then
  exit 0
fi
echo "wine-record: $failures failures" >&2
exit 1
