#!/usr/bin/env bash
# End to end: the control port on the real window. HLR8.exe runs on the virtual cameras with a
# frame log in a real window on a private Xvfb, with /CONTROL on a free port of 127.0.0.1;
# tests/control_client.py is the other program. Scenarios, each read from the camera's frame
# log (its times are ms of the camera's line clock: only differences between its frames are
# compared with the client's wall-clock times), the client's answers and screenshots:
#   status      status names the lights after the start-up: CAMERA 1 and OPERATE green;
#   hold        LEFT held about 1 s by repeated presses: the pan starts once, the LEFT arrow
#               is drawn pressed in a screenshot taken meanwhile (no other arrow), the stop
#               follows the release within 200 ms and the button is drawn up again;
#   disconnect  UP held by repeated presses, the client killed about 450 ms after its first
#               press: the stop at once (within 250 ms of the kill, and so well within the
#               dead man's 1000 ms of the last press);
#   silent      RIGHT pressed once, the client connected but silent: the dead man's stop about
#               1 s after the start (0.9 to 1.6 s), the button up, status then says held=none;
#   close       LEFT held while the console is closed (Alt+F4): the stop goes out before the
#               client sees the port close, and before the shutdown's SelectMode.
# Prints the times it saw and a GoogleTest-style summary counting the scenarios; the
# screenshots and the client's records stay in BUILD_ROOT/TARGET/control-port-e2e.
#   panelhold   the operator presses TELE on the panel while a client holds LEFT: the pan
#               stops before the zoom starts; the client dies during the operator's hold, and
#               every pan start has its stop at the end.
# CONTROL_PORT_SCENARIOS="status hold" runs some of them (in that order).
# Usage: tests/control_port_e2e.sh SOURCE_DIR BUILD_ROOT TARGET PROGRAM   (as console_e2e.sh)
set -uo pipefail
source_dir=$1 build_root=$2 target=$3 program=$4

work="$build_root/$target/control-port-e2e"
client_py="$source_dir/tests/control_client.py"
scenarios=0
failed_scenarios=()
scenario_failures=0
fail() { echo "control_port_e2e: FAILED: $*"; scenario_failures=$((scenario_failures + 1)); }
run_scenario() { # name
  scenario_failures=0
  scenarios=$((scenarios + 1))
  local started=$EPOCHREALTIME
  "scenario_$1"
  local took=$(((${EPOCHREALTIME/./} - ${started/./}) / 1000))
  if [ $scenario_failures -eq 0 ]; then
    echo "[       OK ] $1 ($took ms)"
  else
    echo "[  FAILED  ] $1 ($took ms)"
    failed_scenarios+=("$1")
  fi
}

for tool in Xvfb xdotool import convert python3; do
  command -v $tool >/dev/null || { echo "control_port_e2e: $tool is missing (tools/setup.sh)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work"
cp "$program" "$work/HLR8.exe" # alone in a fresh directory: no settings file, no L/R swap

# A free port: bound by the system's choice, then let go for the console.
port=$(python3 -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
client=(python3 "$client_py" "$port") # a simple command: in the background, $! is its pid

source "$source_dir/tools/wine-env.sh" "$build_root" "$target" display
hlr8_xvfb_start || { echo "[  FAILED  ] 1 test, no X server"; exit 1; }
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start

log="$work/frames.log"
windows_log="Z:$(echo "$log" | tr / '\\')"
"$hlr8_wine_loader" "$work/HLR8.exe" /SIM "/SIMLOG:$windows_log" "/CONTROL:$port" &
console=$!
hlr8_at_exit "kill $console 2>/dev/null"

# --- The camera's frame log ---
frames() { tr -d '\r' <"$log" 2>/dev/null; }
log_mark() { mark=$(frames | wc -l); } # into $mark
# Requests of COM1 after the given line, the ACKs and checksums left out; with "times", each
# preceded by its ms.
requests_since() { # line [times]
  frames | tail -n +$(($1 + 1)) | awk -v times="${2:-}" '$2 == "COM1" && $3 == "PC>CAM" && $6 != "00" {
    line = times ? $1 : ""; for (i = 4; i < NF; ++i) line = line (line == "" ? "" : " ") $i; print line }'
}
wait_request() { # line bytes seconds
  for _ in $(seq $(($3 * 100))); do
    requests_since "$1" | grep -q "^$2" && return 0
    sleep 0.01
  done
  return 1
}
request_time() { # line bytes: the ms of the first such request after the line
  requests_since "$1" times | awk -v want="$2" 'index($0, want) == length($1) + 2 { print $1; exit }'
}
# The ms of the console's first ACK on COM1 after the given ms (after the line): the ACK of a
# request's reply, the last frame before the console answers the client.
ack_time() { # line ms
  frames | tail -n +$(($1 + 1)) | awk -v after="$2" '$2 == "COM1" && $3 == "PC>CAM" && $6 == "00" &&
    $1 > after { print $1; exit }'
}
now_ms() { local t=${EPOCHREALTIME/./}; now=$((t / 1000)); } # into $now

# The log's clock and the client's are tied at the first press: its answer leaves right after
# the console's ACK of the start's reply. A time in the log, on the client's clock, is then
#   client ms = press answer + (log ms - that ACK's log ms)
# to within a few ms (the ACK's bytes on the line, the answer's way to the client).

# --- The client's record: "<ms> sent|got|closed ..." ---
# The time of the nth (1 first, -1 last) line of a kind whose text starts with the words.
client_time() { # file kind words n
  awk -v kind="$2" -v words="$3" -v n="$4" '$2 == kind && substr($0, index($0, $3)) ~ "^" words {
    t[++count] = $1 } END { i = n < 0 ? count + 1 + n : n; if (i >= 1 && i <= count) print t[i] }' "$1"
}
count_lines() { # file kind words
  awk -v kind="$2" -v words="$3" '$2 == kind && substr($0, index($0, $3)) ~ "^" words' "$1" | wc -l
}
# Every answer of the record is OK; else fails with the others.
answers_ok() { # file what
  local bad
  bad=$(awk '$2 == "got" && $3 != "OK"' "$1")
  [ -z "$bad" ] || fail "$2: answers other than OK: $bad"
}
calc() { awk "BEGIN { printf \"%d\", ($1) + 0.5 * (($1) >= 0 ? 1 : -1) }"; } # rounded
wait_pid() { # pid seconds: waits for a background client; kills it when it did not end
  if hlr8_wait_for_exit "$1" "$2"; then
    wait "$1" 2>/dev/null
    return 0
  fi
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 1
}

LEFT_START="06 05 12 01 02 00"
RIGHT_START="06 05 12 01 01 00"
UP_START="06 05 12 01 00 01"
STOP="04 05 12 02"
TELE_START="05 01 12 01 00" # ZoomTeleStart
ZOOM_STOP="05 01 12 03 00"
SHUTDOWN_SELECT="05 08 17 01 01"
timings=()

# --- The window: small panel, client pixels; every button 21 x 11 at its left and top ---
LEFT_AREA="21x11+12+182" RIGHT_AREA="21x11+78+182" UP_AREA="21x11+45+160"
EMPTY_SPOT="54 5"
shot() { import -window "$window" "$work/$1.png"; } # name
region_differs() { # picture picture crop
  local a b
  a=$(convert "$work/$1.png" -crop "$3" +repage rgb:- | md5sum)
  b=$(convert "$work/$2.png" -crop "$3" +repage rgb:- | md5sum)
  [ "$a" != "$b" ]
}

scenario_status() {
  "${client[@]}" lines status help >"$work/status.txt" || fail "the client could not talk to port $port"
  local answer
  answer=$(awk '$2 == "got" { $1 = $2 = ""; print substr($0, 3); exit }' "$work/status.txt")
  echo "control_port_e2e: status: $answer"
  local word
  for word in camera=1 link=open operate=on camera1=green operatelight=green held=none; do
    grep -qw -- "$word" <<<"$answer" || fail "status does not say $word: $answer"
  done
  [ "$(count_lines "$work/status.txt" got 'OK commands:')" = 1 ] || fail "help did not answer OK commands: ..."
}

scenario_hold() {
  log_mark; local start=$mark
  "${client[@]}" hold LEFT 1.0 >"$work/hold.txt" &
  local pid=$!
  wait_request $start "$LEFT_START" 3 || fail "no PanLeftStart within 3 s of the press"
  sleep 0.4
  shot held
  wait_pid $pid 5 || fail "the holding client did not end within 5 s"
  wait_request $start "$STOP" 3 || fail "no PanTiltStop within 3 s of the release"
  sleep 0.3
  shot after-hold
  region_differs baseline held $LEFT_AREA || fail "the LEFT arrow is not drawn pressed while held"
  region_differs baseline held $RIGHT_AREA && fail "the RIGHT arrow changed while LEFT was held"
  region_differs baseline after-hold $LEFT_AREA && fail "the LEFT arrow is still drawn pressed after the release"
  answers_ok "$work/hold.txt" hold
  local presses
  presses=$(count_lines "$work/hold.txt" sent 'press LEFT')
  [ "$presses" -ge 3 ] || fail "only $presses presses in the hold, wanted a press every 300 ms"
  local got
  got=$(requests_since $start)
  [ "$got" = "$(printf '%s\n' "$LEFT_START" "$STOP")" ] ||
    fail "the hold's requests, wanted one start and its stop: $(echo $got)"
  # The stop's delay after the release: the log's start-to-stop less the client's press-to-
  # release (the start lies between the press and its answer, the stop before the release's).
  local s0 a0 s1 p pok r rok
  s0=$(request_time $start "$LEFT_START") s1=$(request_time $start "$STOP")
  a0=$(ack_time $start "$s0")
  p=$(client_time "$work/hold.txt" sent 'press LEFT' 1) pok=$(client_time "$work/hold.txt" got OK 1)
  r=$(client_time "$work/hold.txt" sent 'release LEFT' 1) rok=$(client_time "$work/hold.txt" got OK -1)
  [ -n "$s0" ] && [ -n "$a0" ] && [ -n "$s1" ] && [ -n "$p" ] && [ -n "$pok" ] && [ -n "$r" ] &&
    [ -n "$rok" ] || { fail "times missing (log $s0 $a0 $s1, client $p $pok $r $rok)"; return; }
  local press_start release_stop release_answer
  press_start=$(calc "($pok - $p) - ($a0 - $s0)") release_stop=$(calc "($s1 - $a0) - ($r - $pok)")
  release_answer=$(calc "$rok - $r")
  timings+=("press->start $press_start" "release->stop $release_stop"
    "release->answer $release_answer" "start->stop in the log $((s1 - s0))")
  [ "$release_stop" -le 200 ] || fail "the stop came $release_stop ms after the release, wanted at most 200"
}

scenario_disconnect() {
  log_mark; local start=$mark
  "${client[@]}" hold UP 0 >"$work/disconnect.txt" &
  local pid=$!
  wait_request $start "$UP_START" 3 || fail "no TiltUpStart within 3 s of the press"
  for _ in $(seq 200); do # the first repeated press has been answered
    [ "$(count_lines "$work/disconnect.txt" got OK)" -ge 2 ] && break
    sleep 0.01
  done
  sleep 0.12
  now_ms; local killed=$now
  kill -KILL $pid
  wait $pid 2>/dev/null
  wait_request $start "$STOP" 3 || fail "no PanTiltStop within 3 s of the client's death"
  sleep 0.2
  shot after-disconnect
  region_differs baseline after-disconnect $UP_AREA && fail "the UP arrow is still drawn pressed after the disconnect"
  local got
  got=$(requests_since $start)
  [ "$got" = "$(printf '%s\n' "$UP_START" "$STOP")" ] || fail "the requests were: $(echo $got)"
  local s0 a0 s1 pok last
  s0=$(request_time $start "$UP_START") s1=$(request_time $start "$STOP")
  a0=$(ack_time $start "$s0")
  pok=$(client_time "$work/disconnect.txt" got OK 1)
  last=$(client_time "$work/disconnect.txt" sent 'press UP' -1)
  [ -n "$s0" ] && [ -n "$a0" ] && [ -n "$s1" ] && [ -n "$pok" ] && [ -n "$last" ] ||
    { fail "times missing (log $s0 $a0 $s1, client $pok $last)"; return; }
  local kill_stop last_stop
  kill_stop=$(calc "($s1 - $a0) - ($killed - $pok)") last_stop=$(calc "($s1 - $a0) - ($last - $pok)")
  timings+=("disconnect->stop $kill_stop" "last press->stop $last_stop")
  [ "$kill_stop" -le 250 ] || fail "the stop came $kill_stop ms after the client's death, wanted at most 250"
  [ "$last_stop" -lt 1000 ] || fail "the stop came $last_stop ms after the last press, past the hold time"
}

scenario_silent() {
  log_mark; local start=$mark
  "${client[@]}" silent RIGHT 2.2 >"$work/silent.txt" &
  local pid=$!
  wait_request $start "$RIGHT_START" 3 || fail "no PanRightStart within 3 s of the press"
  sleep 0.3
  shot silent-held
  wait_pid $pid 6 || fail "the silent client did not end within 6 s"
  shot silent-after
  region_differs baseline silent-held $RIGHT_AREA || fail "the RIGHT arrow is not drawn pressed while held"
  region_differs baseline silent-after $RIGHT_AREA && fail "the RIGHT arrow is still drawn pressed after the hold time"
  local status
  status=$(awk '$2 == "got" { last = $0 } END { print last }' "$work/silent.txt")
  grep -qw 'held=none' <<<"$status" || fail "status after the hold time: $status"
  local got
  got=$(requests_since $start)
  [ "$got" = "$(printf '%s\n' "$RIGHT_START" "$STOP")" ] || fail "the requests were: $(echo $got)"
  local s0 s1
  s0=$(request_time $start "$RIGHT_START") s1=$(request_time $start "$STOP")
  [ -n "$s0" ] && [ -n "$s1" ] || { fail "no start or stop time in the log"; return; }
  timings+=("silent start->stop $((s1 - s0))")
  [ $((s1 - s0)) -ge 900 ] && [ $((s1 - s0)) -le 1600 ] ||
    fail "the dead man's stop came $((s1 - s0)) ms after the start, wanted 900 to 1600"
}

scenario_close() {
  log_mark; local start=$mark
  "${client[@]}" hold LEFT 0 >"$work/close.txt" &
  local pid=$!
  wait_request $start "$LEFT_START" 3 || fail "no PanLeftStart within 3 s of the press"
  sleep 0.4
  xdotool mousemove --window "$window" $EMPTY_SPOT click 1
  sleep 0.2
  xdotool key alt+F4
  hlr8_wait_for_exit $console 15 || fail "the console did not end within 15 s of Alt+F4"
  wait_pid $pid 5 || fail "the client did not see the port close within 5 s of the console's end"
  local got
  got=$(requests_since $start)
  [ "$got" = "$(printf '%s\n' "$LEFT_START" "$STOP" "$SHUTDOWN_SELECT")" ] ||
    fail "the requests, wanted the start, its stop and the shutdown's SelectMode: $(echo $got)"
  local s0 a0 s1 pok closed
  s0=$(request_time $start "$LEFT_START") s1=$(request_time $start "$STOP")
  a0=$(ack_time $start "$s0")
  pok=$(client_time "$work/close.txt" got OK 1)
  closed=$(client_time "$work/close.txt" closed '' 1)
  [ -n "$s0" ] && [ -n "$a0" ] && [ -n "$s1" ] && [ -n "$pok" ] && [ -n "$closed" ] ||
    { fail "times missing (log $s0 $a0 $s1, client $pok $closed)"; return; }
  local stop_before_close
  stop_before_close=$(calc "($closed - $pok) - ($s1 - $a0)")
  timings+=("close: the stop before the port closed by $stop_before_close")
  # The console waits for the stop's reply (30 ms) and ACKs it before it closes the client:
  # a margin the tie of the clocks (which can only make it look smaller) leaves positive.
  [ "$stop_before_close" -ge 0 ] ||
    fail "the stop reached the camera $((-stop_before_close)) ms after the client saw the port close"
}

# The operator takes over: a panel button pressed while a client holds a movement stops that
# movement first. (While a hand holds a panel button the console handles no other message, so
# the client's disconnect or hold time could not stop it until the mouse lets go.) The client
# dies during the operator's hold; its presses queued behind the hold do not start the pan
# again, and after the let-go nothing of its keeps the camera moving.
scenario_panelhold() {
  log_mark; local start=$mark
  "${client[@]}" hold LEFT 0 >"$work/panelhold.txt" &
  local pid=$!
  wait_request $start "$LEFT_START" 3 || fail "no PanLeftStart within 3 s of the press"
  xdotool mousemove --window "$window" 88 117 mousedown 1 # TELE, held
  wait_request $start "$TELE_START" 3 || fail "no ZoomTeleStart within 3 s of the mouse press"
  local s1 z0
  s1=$(request_time $start "$STOP") z0=$(request_time $start "$TELE_START")
  [ -n "$s1" ] && [ -n "$z0" ] && [ "$s1" -le "$z0" ] ||
    fail "the client's pan was not stopped before the operator's zoom started (stop ${s1:-none}, zoom $z0)"
  sleep 0.3
  kill -KILL $pid
  wait $pid 2>/dev/null
  xdotool mouseup 1
  sleep 1.5 # the client's presses queued behind the hold, then its disconnect
  [ "$(requests_since $start | grep -c "^$TELE_START")" -eq 1 ] || fail "the zoom started more than once"
  requests_since $start | grep -q "^$ZOOM_STOP" || fail "no ZoomStop after the mouse let go"
  [ "$(requests_since $start | tail -n 1)" = "$STOP" ] || [ "$(requests_since $start | tail -n 1)" = "$ZOOM_STOP" ] ||
    fail "the last request is neither a stop: $(requests_since $start | tail -n 1)"
  # Every pan start has its stop after it.
  local starts stops
  starts=$(requests_since $start | grep -c "^$LEFT_START") stops=$(requests_since $start | grep -c "^$STOP")
  [ "$stops" -ge "$starts" ] || fail "$starts pan starts, $stops stops"
  # The client's presses queued behind the operator's hold do not start the pan again.
  [ "$starts" -eq 1 ] || fail "the pan started $starts times: taken over, it started again"
  timings+=("operator's press->client's pan stopped $(calc "$z0 - $s1") before the zoom")
}

window=$(hlr8_find_window '^HLR8$' 30)
if [ -z "$window" ]; then
  echo "control_port_e2e: no window titled HLR8 within 30 s"
  echo "[  FAILED  ] 1 test, no console window"
  exit 1
fi
wait_request 0 "04 01 04 03" 15 || echo "control_port_e2e: the start-up did not end within 15 s"
if ! "${client[@]}" wait 10; then
  echo "control_port_e2e: port $port takes no connection within 10 s"
  echo "[  FAILED  ] 1 test, no control port"
  exit 1
fi
sleep 0.5 # the panel is repainted green after the last reply
shot baseline # every button up
for name in ${CONTROL_PORT_SCENARIOS:-status hold disconnect silent panelhold close}; do
  run_scenario $name
done
echo "control_port_e2e: times (ms): ${timings[*]}"
echo "control_port_e2e: frame log $log, client records and screenshots in $work"
if [ ${#failed_scenarios[@]} -eq 0 ]; then
  echo "[  PASSED  ] $scenarios tests."
else
  echo "[  FAILED  ] ${#failed_scenarios[@]} of $scenarios tests: ${failed_scenarios[*]}"
  exit 1
fi
