#!/usr/bin/env bash
# End to end on the real COM-port path: HLR8.exe without /SIM, on COM1 of its own display prefix
# (wine-serial-display), through Wine's serial driver to hlr8-camera on a pty, the test-only
# modem-line shim preloaded into Wine's 64-bit loader so the pty has CTS and RTS. A private
# Xvfb, xdotool for the operator, the camera's control FIFO for its remote and its cable. Each
# scenario reads the camera's frame log and screenshots:
#   startup   the start-up requests on COM1, the CAMERA 1 and OPERATE lights green;
#   holds     a held arrow button and a held Left key: start, then the stop when let go;
#   remote    the remote's left arrow held: the panel button drawn pressed, the stop after;
#   unplug    cable out: a click on HOME, the CAMERA 1 light blinking red (red, then black),
#             nothing heard, a message box noted if one comes; cable in: SelectMode 0 and the
#             whole start-up again, the lights green, a hold with its stop;
#   preset    PRESET then 1 stores preset 1; a pan right; 1 recalls it and HOME, clicked at
#             once, goes out only after the camera's pan/tilt arrival report;
#   about     the About dialog opened from the system menu shows the three unit versions the
#             camera sent at the start-up (its texts read by window_texts.exe; about.png);
#   tour      a preset tour whose first tick's recall the camera refuses (one NAK): the
#             recovery with its RTS pulse (RTS low about 250 ms, seen by the camera, between
#             SelectMode 1 and 0) and the recall again;
#   trace     after Alt+F4, the console's /LINELOG equals the camera's frame log, frame for
#             frame in each direction; RTS dropped at the end.
# Prints the release-to-stop times it saw (the let-go to the stop frame in the camera's log,
# polled every 10 ms), PanTiltStop's time in the trace, and a GoogleTest-style summary
# counting the scenarios. REAL_LINE_SCENARIOS="startup unplug trace" runs some of them (the
# start-up first), a diagnosis aid.
# Usage: tests/real_line_e2e.sh SOURCE_DIR BUILD_ROOT TARGET PROGRAM WINDOW_TEXTS
#   as console_e2e.sh; WINDOW_TEXTS is tests/window_texts.exe, which reads a dialog's texts
set -uo pipefail
source_dir=$1 build_root=$2 target=$3 program=$4 window_texts=$5

work="$build_root/$target/real-line-e2e"
camera_name=e2e-com1
scenarios=0
failed_scenarios=()
scenario_failures=0
fail() { echo "real_line_e2e: FAILED: $*"; scenario_failures=$((scenario_failures + 1)); }
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

for tool in Xvfb xdotool import convert; do
  command -v $tool >/dev/null || { echo "real_line_e2e: $tool is missing (tools/setup.sh)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work"
cp "$program" "$work/HLR8.exe" # a fresh directory: no settings file, so COM1 at 9600

source "$source_dir/tools/wine-env.sh" "$build_root" "$target" display
source "$source_dir/tools/camera-pty.sh"
export WINEPREFIX="$hlr8_build_dir/wine-serial-display" # its own: COM1 is the camera here
hlr8_xvfb_start || { echo "[  FAILED  ] 1 test, no X server"; exit 1; }
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start
camera_dir=$(hlr8_camera_dir "$hlr8_build_dir")
camera_link="$camera_dir/$camera_name"
if ! grep -qF "\"COM1\"=\"$camera_link\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
  hlr8_wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$camera_link" /f >/dev/null 2>&1
  hlr8_wine_stop # the mapping is read when the wineserver starts
  hlr8_wine_start
fi
hlr8_at_exit hlr8_camera_stop "$hlr8_build_dir" $camera_name
rm -f "$camera_link.log"
shim_env=$(hlr8_camera_start "$hlr8_build_dir" $camera_name) ||
  { echo "[  FAILED  ] 1 test, the camera did not start"; exit 1; }
eval "loader_env=(${shim_env#export })"
camera_log="$camera_link.log"
trace="$work/line.log"
windows_trace="Z:$(echo "$trace" | tr / '\\')"
env "${loader_env[@]}" "$hlr8_wine_loader" "$work/HLR8.exe" "/LINELOG:$windows_trace" &
console=$!
hlr8_at_exit "kill $console 2>/dev/null"

# --- The camera's frame log ---
frames() { tr -d '\r' <"$camera_log" 2>/dev/null; }
log_mark() { mark=$(frames | wc -l); } # into $mark
# Requests of COM1 after the given line, the ACKs and checksums left out.
requests_since() { # line
  frames | tail -n +$(($1 + 1)) | awk '$2 == "COM1" && $3 == "PC>CAM" && $6 != "00" {
    line = $4; for (i = 5; i < NF; ++i) line = line " " $i; print line }'
}
# Waits up to the seconds for a request after the line that starts with the bytes.
wait_request() { # line bytes seconds
  local tries=$(($3 * 100))
  for _ in $(seq $tries); do
    requests_since "$1" | grep -q "^$2" && return 0
    sleep 0.01
  done
  return 1
}
wait_frame_line() { # line pattern seconds
  for _ in $(seq $(($3 * 100))); do
    frames | tail -n +$(($1 + 1)) | grep -qE "$2" && return 0
    sleep 0.01
  done
  return 1
}
now_ms() { local t=${EPOCHREALTIME/./}; now=$((t / 1000)); }

STARTUP=("05 08 17 01 00" "04 08 04 00" "04 01 04 00" "04 05 04 00" "05 01 12 03 00"
  "06 01 12 04 02 07" "07 05 12 03 02 46 46" "05 08 12 01 00" "05 08 12 02 00"
  "05 01 10 01 00" "06 05 19 00 01 00" "05 08 10 01 00" "05 01 14 03 00" "05 01 14 01 00"
  "05 01 14 02 00" "04 01 04 03")
LEFT_START="06 05 12 01 02 00"
RIGHT_START="06 05 12 01 01 00"
STOP="04 05 12 02"
HOME_REQUEST="03 05 11"
stop_latencies=()

# --- The window ---
# Small panel, client pixels: every button 21 x 11 at its left and top (the left arrow at
# 12 182, held at 22 187; the right arrow at 78 182).
HOME_BUTTON="45 182" PRESET_BUTTON="45 24" PRESET_1="45 44"
EMPTY_SPOT="54 5"
click_button() { # left top
  xdotool mousemove --window "$window" $(($1 + 10)) $(($2 + 5)) click 1
}
shot() { import -window "$window" "$work/$1.png"; } # name
pure_pixels() { # picture colour [crop]
  convert "$work/$1.png" ${3:+-crop $3 +repage} -fill black +opaque "$2" -fill white \
    -opaque "$2" -format '%[fx:round(mean*w*h)]' info:
}
# The CAMERA 1 light's corner of the panel: the light and its button.
LIGHT_AREA="24x16+4+232"
region_differs() { # picture picture crop
  local a b
  a=$(convert "$work/$1.png" -crop "$3" +repage rgb:- | md5sum)
  b=$(convert "$work/$2.png" -crop "$3" +repage rgb:- | md5sum)
  [ "$a" != "$b" ]
}

# A hold with its let-go: starts, waits for the start frame, holds, lets go and times the stop.
# PRESS and RELEASE are commands; prints nothing, fails the scenario on a missing frame.
timed_hold() { # what press release hold_seconds [start frame]
  local what=$1 start start_frame=${5:-$LEFT_START}
  log_mark; start=$mark
  eval "$2"
  wait_request $start "$start_frame" 3 || fail "$what: no start within 3 s"
  sleep "$4"
  eval "$3"
  now_ms; local released=$now
  if wait_request $start "$STOP" 3; then
    now_ms
    stop_latencies+=("$what $((now - released))")
  else
    fail "$what: no stop within 3 s of the let-go"
  fi
  local got wanted
  got=$(requests_since $start)
  wanted=$(printf '%s\n' "$start_frame" "$STOP")
  [ "$got" = "$wanted" ] || fail "$what: requests were: $(echo $got)"
}

scenario_startup() {
  wait_request 0 "04 01 04 03" 15 || fail "the start-up sequence did not end within 15 s"
  sleep 0.4 # the panel is repainted green after the last reply
  local got wanted
  got=$(requests_since 0)
  wanted=$(printf '%s\n' "${STARTUP[@]}")
  [ "$got" = "$wanted" ] || { fail "start-up requests on COM1:"; diff <(echo "$wanted") <(echo "$got") | head; }
  shot startup
  local green
  green=$(pure_pixels startup '#00FF00')
  [ "$green" = 10 ] || fail "$green pure green pixels after the start-up, wanted 10 (two lights)"
}

scenario_holds() {
  timed_hold "button" "xdotool mousemove --window $window 22 187 mousedown 1" "xdotool mouseup 1" 0.8
  xdotool mousemove --window "$window" $EMPTY_SPOT click 1
  sleep 0.3
  timed_hold "key" "xdotool keydown Left" "xdotool keyup Left" 0.8
}

scenario_remote() {
  shot released
  log_mark; local start=$mark
  hlr8_camera_send "$hlr8_build_dir" $camera_name key E0 down >/dev/null || fail "key E0 down not taken"
  wait_request $start "$LEFT_START" 3 || fail "the remote's left arrow started no pan"
  sleep 0.3
  shot remote-held
  region_differs released remote-held 21x11+12+182 ||
    fail "the left-arrow button looks the same while the remote holds it"
  hlr8_camera_send "$hlr8_build_dir" $camera_name key E0 up >/dev/null || fail "key E0 up not taken"
  now_ms; local released=$now
  if wait_request $start "$STOP" 3; then
    now_ms
    stop_latencies+=("remote $((now - released))")
  else
    fail "no stop within 3 s of the remote's let-go"
  fi
  sleep 0.3
  shot remote-released
  region_differs released remote-released 21x11+12+182 &&
    fail "the left-arrow button is still drawn pressed after the remote's let-go"
  [ "$(requests_since $start)" = "$(printf '%s\n' "$LEFT_START" "$STOP")" ] ||
    fail "remote hold: requests were: $(echo $(requests_since $start))"
}

scenario_unplug() {
  log_mark; local start=$mark
  hlr8_camera_send "$hlr8_build_dir" $camera_name unplug >/dev/null || fail "unplug not taken"
  click_button $HOME_BUTTON
  # The light blinks: look at it every 100 ms or so (an import takes about as long) until it has gone from red to black
  # (a light that only went dark, or stayed red, is no blink).
  local red_at=0 dark_after_red=0 i red
  for i in $(seq 40); do
    shot unplugged
    red=$(pure_pixels unplugged '#FF0000' "$LIGHT_AREA")
    [ "$red" -ge 5 ] && [ $red_at = 0 ] && red_at=$i && cp "$work/unplugged.png" "$work/unplugged-red.png"
    [ "$red" = 0 ] && [ $red_at != 0 ] && dark_after_red=$i && break
    sleep 0.0$((RANDOM % 10)) # an uneven pace, so the looks cannot keep in step with the blink
  done
  echo "real_line_e2e: the light red first at look $red_at, black again at look $dark_after_red"
  [ $dark_after_red != 0 ] ||
    fail "the CAMERA 1 light does not blink red (red first at look $red_at of 40, no black after)"
  requests_since $start | grep -q '^05 08 12 01\|^04 05 12' &&
    fail "the camera heard a command with its cable out"
  local box
  box=$(xdotool search --name '^HL-R8|^Error|^Norvo' 2>/dev/null | grep -v "^$window$" | head -n 1)
  if [ -n "$box" ]; then
    echo "real_line_e2e: a message box came with the port open; closing it"
    xdotool key --window "$box" Return
  else
    echo "real_line_e2e: no message box (the port stayed open)"
  fi

  log_mark; start=$mark
  hlr8_camera_send "$hlr8_build_dir" $camera_name plug >/dev/null || fail "plug not taken"
  wait_request $start "04 01 04 03" 10 || fail "no start-up after the plug within 10 s"
  local got
  got=$(requests_since $start)
  # CTS on: a SelectMode 0 at once, then the whole initialization.
  [ "$got" = "$(printf '%s\n' "${STARTUP[0]}" "${STARTUP[@]}")" ] ||
    { fail "requests after the plug:"; echo "$got" | head -20; }
  sleep 0.4
  shot replugged
  local green
  green=$(pure_pixels replugged '#00FF00')
  [ "$green" = 10 ] || fail "$green pure green pixels after the plug, wanted 10 (two lights)"
  timed_hold "button after the plug" \
    "xdotool mousemove --window $window 22 187 mousedown 1" "xdotool mouseup 1" 0.5
}

# Stores preset 1, pans away, recalls it and clicks HOME at once: HOME goes out only after the
# camera's pan/tilt arrival report.
scenario_preset() {
  log_mark; local start=$mark
  click_button $PRESET_BUTTON
  sleep 0.2
  click_button $PRESET_1
  wait_request $start "0D 08 18 02 01" 5 || fail "PRESET then 1 wrote no preset 1"
  sleep 0.3
  # The holds before have left the camera at its left end: pan right, away from the preset.
  timed_hold "right button before the recall" \
    "xdotool mousemove --window $window 88 187 mousedown 1" "xdotool mouseup 1" 0.6 "$RIGHT_START"
  sleep 0.3
  log_mark; start=$mark
  click_button $PRESET_1
  click_button $HOME_BUTTON
  wait_request $start "$HOME_REQUEST" 10 || fail "no HOME within 10 s of the recall"
  local got
  got=$(requests_since $start | cut -c1-11)
  [ "$got" = "$(printf '%s\n' "05 08 18 01" "05 01 14 04" "07 01 12 02" "09 05 12 05" "03 05 11")" ] ||
    fail "recall then HOME: requests were: $(echo $got)"
  # Times in the camera's log: the pan/tilt drive, its arrival report, HOME.
  local times
  times=$(frames | tail -n +$((start + 1)) | awk '
    $3 == "PC>CAM" && $5 == "05" && $6 == "12" && $7 == "05" { drive = $1 }
    $3 == "CAM>PC" && $5 == "05" && $6 == "92" && $7 == "05" { arrived = $1 }
    $3 == "PC>CAM" && $4 == "03" && $5 == "05" && $6 == "11" && !home { home = $1 }
    END { print drive + 0, arrived + 0, home + 0 }')
  local drive arrived home
  read -r drive arrived home <<<"$times"
  echo "real_line_e2e: recall: the drive at $drive ms, arrival $((arrived - drive)) ms later," \
    "HOME $((home - arrived)) ms after the arrival"
  [ "$arrived" -gt 0 ] && [ "$home" -ge "$arrived" ] && [ $((arrived - drive)) -ge 100 ] ||
    fail "no travel, or HOME before the arrival report (drive $drive, arrival $arrived, HOME $home)"
}

# The About dialog shows the versions the driver read at the start-up (no request of its own);
# its caption is the program's short title, as the main window's.
other_window() { # seconds
  local found
  for _ in $(seq $(($1 * 10))); do
    found=$(xdotool search --name '^HLR8$' 2>/dev/null | grep -vx "$window" | head -n 1)
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.1
  done
  return 1
}
scenario_about() {
  xdotool mousemove --window "$window" $EMPTY_SPOT
  sleep 0.2
  xdotool key alt+space
  sleep 0.5
  xdotool key b # A&bout...; Wine's own "About Wine" is A
  local about
  if ! about=$(other_window 5); then
    fail "no About dialog within 5 s of Alt+Space, b"
    xdotool key Escape
    return
  fi
  sleep 0.3
  import -window "$about" "$work/about.png"
  echo "real_line_e2e: the About dialog: $work/about.png"
  # The three unit versions shown are those the camera sent at the start-up (byte 5 of its
  # version replies: CCU, camera head, pan tilter), as "0.%02X".
  local texts device version
  texts=$("$hlr8_wine_loader" "$window_texts" HLR8 2>/dev/null | tr -d '\r')
  for device in 08 01 05; do
    version=$(frames | awk -v d=$device '$3 == "CAM>PC" && $4 == "06" && $5 == d && $6 == "84" {
      print "0." $9; exit }')
    if [ -z "$version" ]; then
      fail "no version reply of unit $device in the camera's log"
    elif ! grep -qx "$version" <<<"$texts"; then
      fail "the About dialog does not show version $version of unit $device"
    fi
  done
  xdotool key --window "$about" Return 2>/dev/null # (xdotool warns: no window manager)
  for _ in $(seq 30); do
    other_window 0 >/dev/null || break
    sleep 0.1
  done
  other_window 0 >/dev/null && fail "the About dialog did not close on Return"
}

# A preset tour whose first recall the camera refuses (one NAK): the recovery sequence, with
# RTS low for about 250 ms between SelectMode 1 and SelectMode 0, and the recall again.
# The dialog opens from the system menu by the arrows (menu letters may pick another item):
# Restore, Move, Minimize, Maximize, Program Options, Image Control, Preset Cycle Mode.
TOUR_START="52 31" TOUR_STOP="126 31" TOUR_EXIT="355 126" # client pixels of the dialog
scenario_tour() {
  xdotool mousemove --window "$window" $EMPTY_SPOT
  sleep 0.2
  xdotool key alt+space
  sleep 0.5
  xdotool key Down Down Down Down Down Down Return
  local dialog
  dialog=$(hlr8_find_window '^Preset Cycle Mode' 5)
  [ -n "$dialog" ] || { fail "no Preset Cycle Mode dialog within 5 s"; xdotool key Escape; return; }
  sleep 0.3
  # Start recalls preset 1 at once (a failure there is only a message); the first tick, 2 s
  # after, recalls preset 2: the NAK is armed for that one.
  log_mark; local start=$mark
  xdotool mousemove --window "$dialog" $TOUR_START click 1
  wait_frame_line $start 'CAM>PC .. 05 92 05' 5 || fail "Start's recall did not arrive within 5 s"
  log_mark; start=$mark
  hlr8_camera_send "$hlr8_build_dir" $camera_name fault nak 1 >/dev/null || fail "fault not taken"
  if ! wait_frame_line $start 'COM1 RTS on' 10; then
    fail "no RTS pulse within 10 s of the refused recall"
    import -window root "$work/tour-failed.png"
    xdotool key Return # a message box, if one came
  fi
  local pulse got
  pulse=$(frames | tail -n +$((start + 1)) | awk '
    $3 == "RTS" && $4 == "off" { off = $1 } $3 == "RTS" && $4 == "on" && off { print $1 - off; exit }')
  echo "real_line_e2e: RTS low for ${pulse:-?} ms after the refused recall"
  [ -n "$pulse" ] && [ "$pulse" -ge 200 ] && [ "$pulse" -le 450 ] ||
    fail "RTS pulse of ${pulse:-no} ms, wanted about 250"
  for _ in $(seq 300); do # the recall again
    [ "$(requests_since $start | grep -c '^05 08 18 01 02')" -ge 2 ] && break
    sleep 0.01
  done
  sleep 0.5 # its moves
  xdotool mousemove --window "$dialog" $TOUR_STOP click 1
  got=$(requests_since $start | head -5 | cut -c1-14)
  [ "$got" = "$(printf '%s\n' "05 08 18 01 02" "05 08 17 01 01" "05 08 17 01 00" \
    "05 01 12 03 00" "05 08 18 01 02")" ] || fail "the tour's requests were: $(echo $got)"
  frames | tail -n +$((start + 1)) | grep -qzE 'PC>CAM 05 08 17 01 01.*RTS off.*RTS on.*PC>CAM 05 08 17 01 00' ||
    fail "the RTS pulse is not between SelectMode 1 and SelectMode 0"
  sleep 0.3
  xdotool mousemove --window "$dialog" $TOUR_EXIT click 1
  for _ in $(seq 30); do
    xdotool search --name '^Preset Cycle Mode' >/dev/null 2>&1 || break
    sleep 0.1
  done
  xdotool search --name '^Preset Cycle Mode' >/dev/null 2>&1 && fail "the dialog did not close on Exit"
}

scenario_trace() {
  xdotool mousemove --window "$window" $EMPTY_SPOT click 1
  sleep 0.3
  xdotool key alt+F4
  hlr8_wait_for_exit $console 15 || { fail "the console did not end within 15 s of Alt+F4"; return; }
  local direction count
  for direction in 'PC>CAM' 'CAM>PC'; do
    count=$(tr -d '\r' <"$trace" 2>/dev/null | awk -v d="$direction" '$3 == d' | wc -l)
    echo "real_line_e2e: the trace holds $count $direction frames"
    [ "$count" -ge 30 ] || fail "only $count $direction frames in the trace"
    if ! diff <(frames | awk -v d="$direction" '$3 == d { $1 = ""; print }') \
      <(tr -d '\r' <"$trace" | awk -v d="$direction" '$3 == d { $1 = ""; print }') \
      >"$work/trace-$direction.diff"; then
      fail "the trace's $direction frames differ from the camera's (first lines):"
      head -8 "$work/trace-$direction.diff"
    fi
  done
  grep -q 'COM1 RTS off' <(frames | tail -3) || fail "RTS did not drop at the end"
  print_stop_figure
}

# PanTiltStop as the console saw it (its trace, whole ms): from the request to the whole reply.
# The floor on this line is the camera's reply delay (30 ms after the request) and the reply's
# 5 bytes at 9600 baud (5.2 ms); the console's own bytes cross the pty unpaced.
print_stop_figure() {
  tr -d '\r' <"$trace" | awk '
    $3 == "PC>CAM" && $4 == "04" && $5 == "05" && $6 == "12" && $7 == "02" { sent = $1; open = 1; next }
    open && $3 == "CAM>PC" && $4 == "04" && $5 == "05" && $6 == "92" && $7 == "02" {
      print $1 - sent; open = 0 }' | sort -n | awk -v floor=35.2 '
    { took[NR] = $1 }
    END { if (NR) printf "real_line_e2e: PanTiltStop in the trace: %d calls, median %d ms, " \
      "max %d ms; floor %.1f ms (reply delay 30 + 5 bytes), ratio %.2f\n",
      NR, took[int((NR + 1) / 2)], took[NR], floor, took[int((NR + 1) / 2)] / floor }'
}

window=$(hlr8_find_window '^HLR8$' 30)
if [ -z "$window" ]; then
  echo "real_line_e2e: no window titled HLR8 within 30 s"
  echo "[  FAILED  ] 1 test, no console window"
  exit 1
fi
for name in ${REAL_LINE_SCENARIOS:-startup holds remote unplug preset about tour trace}; do
  run_scenario $name
done
echo "real_line_e2e: release to the stop frame in the camera's log (ms): ${stop_latencies[*]}"
echo "real_line_e2e: camera log $camera_log, trace $trace, screenshots in $work"
if [ ${#failed_scenarios[@]} -eq 0 ]; then
  echo "[  PASSED  ] $scenarios tests."
else
  echo "[  FAILED  ] ${#failed_scenarios[@]} of $scenarios tests: ${failed_scenarios[*]}"
  exit 1
fi
