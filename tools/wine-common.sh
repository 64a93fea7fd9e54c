# Sourced by the scripts that run Windows programs under Wine against the native simulated
# sensor: finding the prefix, a free COM number in it, and the sensor's terminal.

# wine_prefix_of NAME WORDS...: the WINEPREFIX= among an emulator command's words; a message
# (naming the script NAME) and status 1 when there is none.
wine_prefix_of() {
  local name="$1" arg
  shift
  for arg in "$@"; do
    case "$arg" in WINEPREFIX=*) echo "${arg#WINEPREFIX=}" && return 0 ;; esac
  done
  echo "$name: no WINEPREFIX= among the emulator's words" >&2
  return 1
}

# free_com_number PREFIX: the first COM number from 20 up that the prefix has no device for.
free_com_number() {
  local n=20
  while [ -e "$1/dosdevices/com$n" ] || [ -L "$1/dosdevices/com$n" ]; do n=$((n + 1)); done
  echo "$n"
}

# sim_terminal LOG PID: the pseudo-terminal the simulator PID (started with --verbose into LOG)
# names; waits up to 5 s, less when the simulator ends; empty when it named none.
sim_terminal() {
  local slave="" _
  for _ in $(seq 1 100); do
    slave="$(sed -nE 's/^kelta-sim: sensor ID [0-9]+ on (.*)$/\1/p' "$1")"
    [ -n "$slave" ] && break
    kill -0 "$2" 2>/dev/null || break
    sleep 0.05
  done
  echo "$slave"
}

# claim_terminal SLAVE: the wineserver, a session leader without a terminal, would make the
# device its controlling terminal when it opens it, and the hang-up would then send it SIGHUP
# (on which it dumps its object table into the output). A session of its own claims the
# terminal first; the hang-up ends it. Sets claim_pid.
claim_terminal() {
  setsid bash -c 'exec 3<>"$1"; exec sleep 600' claim "$1" </dev/null >/dev/null 2>&1 &
  claim_pid=$!
}
