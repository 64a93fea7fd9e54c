#!/usr/bin/env bash
# wine-record-mqtt.sh SIM RECORD.exe EMULATOR...
# kelta-record.exe --mqtt under Wine against the simulated sensor SIM running natively (COM<N>
# as in tools/wine-record.sh), into Debian's mosquitto on a free loopback port, started here
# with its state saved in the test's folder. A subscriber (mosquitto_sub, a lasting session at
# QoS 1, on a plain listener of its own) keeps every reading. Three times: over plain MQTT, then
# over TLS (a CA and a certificate for "localhost" made here with openssl; the recorder's
# listener speaks TLS only) with the CA given by --cafile, then with --tls alone once the CA is
# in the Wine prefix's "ROOT" certificate store (before that, --tls alone is refused with
# status 77: the broker's certificate is checked against that store). Each time the broker is
# stopped once the readings flow and started again 3 s later, the recorder keeping what it
# cannot send in its disk queue meanwhile; after Ctrl+C: every frame the sensor sent arrived
# with its sequence number, none missing (QoS 1 may deliver one twice: counted, not failed),
# the numbers running on by one and each reading's angle the sensor's count for it.
set -uo pipefail
sim="$1" program="$2"
shift 2
emulator=("$@")
. "$(dirname "$0")/wine-common.sh"
prefix="$(wine_prefix_of wine-record-mqtt "$@")" || exit 1
[ -x "$sim" ] || { echo "wine-record-mqtt: no simulator at $sim" >&2; exit 1; }
broker_program="$(command -v mosquitto || echo /usr/sbin/mosquitto)"
for tool in "$broker_program" mosquitto_sub openssl; do
  command -v "$tool" >/dev/null || {
    echo "wine-record-mqtt: $tool not found (bash tools/setup-windows-deps.sh installs it)" >&2
    exit 1
  }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/kelta-wine-mqtt-XXXXXX")"
sim_pid="" claim_pid="" record_pid="" broker_pid="" sub_pid="" link=""
cleanup() {
  [ -z "$record_pid" ] || { kill -9 "$record_pid" 2>/dev/null; wait "$record_pid" 2>/dev/null; }
  [ -z "$sub_pid" ] || { kill "$sub_pid" 2>/dev/null; wait "$sub_pid" 2>/dev/null; }
  [ -z "$broker_pid" ] || { kill "$broker_pid" 2>/dev/null; wait "$broker_pid" 2>/dev/null; }
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; }
  [ -z "$claim_pid" ] || { kill "$claim_pid" 2>/dev/null; wait "$claim_pid" 2>/dev/null; }
  [ -z "$link" ] || rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "wine-record-mqtt: FAILED: $*" >&2
  failures=$((failures + 1))
}
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }
port_answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A CA and the broker's certificate for "localhost" (the name the recorder checks).
(cd "$work" &&
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj /CN=kelta-test-ca -keyout ca.key -out ca.crt &&
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=localhost \
    -keyout server.key -out server.csr &&
  printf 'subjectAltName=DNS:localhost\n' >server.ext &&
  openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
    -extfile server.ext -out server.crt) >"$work/openssl.out" 2>&1 ||
  { echo "wine-record-mqtt: openssl made no certificates: $(cat "$work/openssl.out")" >&2; exit 1; }

# Two listeners on free ports: the subscriber's (plain) and the recorder's (TLS unless tls=0).
# Starts the broker anew on other ports when one was taken meanwhile.
sub_port="" rec_port=""
write_config() { # tls
  {
    echo "user $(id -un)"
    echo "persistence true"
    echo "persistence_location $work/broker/"
    echo "max_queued_messages 0"
    echo "per_listener_settings true"
    echo "listener $sub_port 127.0.0.1"
    echo "allow_anonymous true"
    echo "listener $rec_port 127.0.0.1"
    echo "allow_anonymous true"
    if [ "$1" != 0 ]; then
      echo "cafile $work/ca.crt"
      echo "certfile $work/server.crt"
      echo "keyfile $work/server.key"
    fi
  } >"$work/mosquitto.conf"
}
start_broker() {
  "$broker_program" -c "$work/mosquitto.conf" >>"$work/broker.out" 2>&1 &
  broker_pid=$!
  for _ in $(seq 1 200); do
    port_answers "$sub_port" && port_answers "$rec_port" && return 0
    kill -0 "$broker_pid" 2>/dev/null || break
    sleep 0.05
  done
  wait "$broker_pid" 2>/dev/null
  broker_pid=""
  return 1
}
stop_broker() { # SIGTERM: the broker saves the subscriber's session
  kill "$broker_pid" 2>/dev/null
  wait "$broker_pid" 2>/dev/null
  broker_pid=""
}
first_broker() { # tls
  local _
  mkdir -p "$work/broker"
  for _ in 1 2 3 4 5; do
    sub_port=$((20000 + RANDOM % 20000))
    rec_port=$((sub_port + 1))
    port_answers "$sub_port" || port_answers "$rec_port" || {
      write_config "$1"
      start_broker && return 0
    }
  done
  echo "wine-record-mqtt: the broker did not start: $(tail -n 5 "$work/broker.out")" >&2
  exit 1
}

# readings FILE: the number of different sequence numbers among the readings received.
readings() { sed -nE 's/.*"seq":([0-9]+).*/\1/p' "$1" 2>/dev/null | sort -un | wc -l; }

n="$(free_com_number "$prefix")"
link="$prefix/dosdevices/com$n"

# The counting sensor behind COM<N> (sets slave), and its end.
slave=""
start_sensor() {
  "$sim" --count 100 --rate 50 --verbose >"$work/sim.out" 2>&1 &
  sim_pid=$!
  slave="$(sim_terminal "$work/sim.out" "$sim_pid")"
  [ -n "$slave" ] || { echo "wine-record-mqtt: the simulator did not start: $(cat "$work/sim.out")" >&2; exit 1; }
  claim_terminal "$slave"
  ln -sfn "$slave" "$link"
}
end_sensor() {
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  sim_pid=""
  kill "$claim_pid" 2>/dev/null
  wait "$claim_pid" 2>/dev/null
  claim_pid=""
}

# run LABEL TLS: one recording through a broker restart, then the check. TLS: 0 (plain),
# cafile (--cafile) or store (--tls, the system's store).
run() {
  local label="$1" tls="$2" received="$work/$1.received" _ rows=0 rc=0
  local topic="kelta/wine-$1"
  rm -rf "$work/broker" "$work/queue-$label"
  : >"$work/broker.out"
  first_broker "$tls"
  start_sensor

  # The subscriber's lasting session (-c) keeps what arrives while it reconnects; -d shows its
  # subscription taken, which the recording waits for.
  : >"$received"
  mosquitto_sub -h 127.0.0.1 -p "$sub_port" -c -i "kelta-wine-$label" -q 1 -d \
    -t "$topic/+/reading/#" >"$received" 2>&1 &
  sub_pid=$!
  for _ in $(seq 1 400); do
    grep -q SUBACK "$received" && break
    sleep 0.05
  done

  local security=()
  [ "$tls" != cafile ] || security=(--cafile "$(winpath "$work/ca.crt")")
  [ "$tls" != store ] || security=(--tls)
  local host=127.0.0.1
  [ "$tls" = 0 ] || host=localhost
  "${emulator[@]}" "$program" "COM$n" --mqtt "$host:$rec_port" "${security[@]}" \
    --topic "$topic" --name wine --queue-dir "$(winpath "$work/queue-$label")" \
    >"$work/record.out" 2>"$work/record.err" &
  record_pid=$!

  # Readings flow, the broker goes for 3 s (the sensor sends 150 frames meanwhile), comes back.
  for _ in $(seq 1 600); do
    rows=$(readings "$received")
    [ "$rows" -ge 50 ] && break
    kill -0 "$record_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$rows" -ge 50 ] || fail "$label: only $rows readings arrived before the restart: $(tr -d '\r' <"$work/record.err")"
  stop_broker
  sleep 3
  start_broker || fail "$label: the broker did not start again: $(tail -n 5 "$work/broker.out")"
  local wanted=$((rows + 300))
  for _ in $(seq 1 600); do
    rows=$(readings "$received")
    [ "$rows" -ge "$wanted" ] && break
    kill -0 "$record_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$rows" -ge "$wanted" ] ||
    fail "$label: $rows readings after the restart, not $wanted: $(tr -d '\r' <"$work/record.err")"

  kill -INT "$record_pid"
  for _ in $(seq 1 200); do
    kill -0 "$record_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$record_pid" 2>/dev/null; then
    fail "$label: kelta-record.exe still runs 20 s after Ctrl+C"
    kill -9 "$record_pid"
  fi
  wait "$record_pid"
  rc=$?
  record_pid=""
  [ "$rc" -eq 0 ] || fail "$label: exit status $rc after Ctrl+C: $(tr -d '\r' <"$work/record.err")"

  # The frames the sensor sent: the next one, asked for here, reports 100 + their number.
  stty -F "$slave" raw -echo 2>/dev/null
  exec 3<>"$slave"
  printf '#READ\r\n' >&3
  local next=""
  IFS= read -r -t 5 -d $'\x17' next <&3 && next="${next##*$'\x02'}"
  printf '#STOP\r\n' >&3
  exec 3>&-
  end_sensor
  [ -n "$next" ] || { fail "$label: the sensor sent no frame after the recording"; return; }
  local sent
  sent=$(awk -v v="$next" 'BEGIN { printf "%d", v - 100 }')
  # What the recorder sent as it stopped reaches the subscriber (10 s at most).
  for _ in $(seq 1 100); do
    [ "$(readings "$received")" -ge "$sent" ] && break
    sleep 0.1
  done
  kill "$sub_pid" 2>/dev/null
  wait "$sub_pid" 2>/dev/null
  sub_pid=""
  stop_broker

  # "seq angle" of each reading received, in sequence order, each once.
  sed -nE 's/.*"seq":([0-9]+).*"angle":(-?[0-9.]+).*/\1 \2/p' "$received" | sort -n -k1,1 -u \
    >"$work/$label.readings"
  local got duplicates bad
  got=$(wc -l <"$work/$label.readings")
  duplicates=$(($(grep -c '"seq":' "$received") - got))
  [ "$got" -eq "$sent" ] || fail "$label: $sent frames sent, $got readings arrived"
  # One running on from the first: each sequence number and angle one more than the last.
  bad="$(awk 'NR > 1 && ($1 != seq + 1 || $2 + 0 != angle + 1) { print; exit }
    { seq = $1; angle = $2 }' "$work/$label.readings")"
  [ -z "$bad" ] || fail "$label: a reading missing or out of step before \"$bad\""
  first="$(head -n1 "$work/$label.readings")"
  [ "${first#* }" = 100 ] || fail "$label: the first reading is \"$first\", not the sensor's first frame"
  [ "$failures" -eq 0 ] && echo "wine-record-mqtt: $label: $sent frames sent, each arrived" \
    "across the broker's restart ($duplicates delivered twice)"
}

run plain 0
run tls cafile

# The CA into the prefix's store of the user's trusted roots (a certificate element of the
# serialized store format: property 32, flags 1, length, the DER bytes), and out of it at the
# end. Before: the broker's certificate is not trusted, the recorder ends at once.
openssl x509 -in "$work/ca.crt" -outform DER -out "$work/ca.der"
thumb="$(openssl x509 -in "$work/ca.crt" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')"
root_key="HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb"
le32() { printf '%08x' "$1" | sed -E 's/(..)(..)(..)(..)/\4\3\2\1/'; }
blob="$({ printf '20000000%s%s' "$(le32 1)" "$(le32 "$(stat -c %s "$work/ca.der")")"
  od -An -v -tx1 "$work/ca.der" | tr -d ' \n'; } | sed -E 's/(..)/\1,/g; s/,$//')"
printf 'REGEDIT4\n\n[%s]\n"Blob"=hex:%s\n' "$root_key" "$blob" >"$work/ca.reg"
printf 'REGEDIT4\n\n[-%s]\n' "$root_key" >"$work/ca-removed.reg"
first_broker store
start_sensor
"${emulator[@]}" "$program" COM$n --mqtt "localhost:$rec_port" --tls --name wine \
  --queue-dir "$(winpath "$work/queue-untrusted")" >"$work/untrusted.out" 2>&1
rc=$?
end_sensor
stop_broker
[ "$rc" -eq 77 ] || fail "--tls with the CA outside the store: exit status $rc, not 77"
tr -d '\r' <"$work/untrusted.out" | grep -q "not signed by a CA of the system's store" ||
  fail "--tls with the CA outside the store: $(tr -d '\r' <"$work/untrusted.out")"
"${emulator[@]}" regedit "$(winpath "$work/ca.reg")" >/dev/null 2>&1 ||
  fail "regedit did not take the CA"
run store store
"${emulator[@]}" regedit "$(winpath "$work/ca-removed.reg")" >/dev/null 2>&1

if [ "$failures" -eq 0 ]; then
  exit 0
fi
echo "wine-record-mqtt: $failures failures" >&2
exit 1
