#!/usr/bin/env bash
# End to end: an input storm on the real console window. HLR8.exe runs on the virtual cameras
# with a frame log in a real window on a private Xvfb, beside a Notepad window of the same Wine
# prefix (a second program that can take the focus). A few hundred random actions from a fixed
# seed follow: taps and holds on the motion buttons, clicks on HOME, the presets, OPERATE and
# CAMERA 1/2, held arrow and zoom keys, Home, overlapping keys, and holds cut short: a mouse
# hold whose pointer wanders off, a mouse or key hold during which Notepad takes the focus, and
# a key released while the pointer is off the console (the bare root window). Then Alt+F4.
#
# The frame log must show, on every port and for each kind of motion (pan/tilt, zoom, focus):
#   - a stop between any two starts, and a stop after the last one (nothing left running);
#   - each stop no later than 0.6 s after the let-go of the action that started the motion
#     (or after the start itself, when the press was still queued at the let-go).
# Each port is a camera of its own: a camera switch does not stop the old camera, so a motion
# still running there is never closed on its port and counts as left running.
# The log's clock is tied to the wall clock by a first, calibrating hold of the left arrow.
#
# Usage: tests/input_storm_e2e.sh SOURCE_DIR BUILD_ROOT TARGET PROGRAM   (as console_e2e.sh)
# Environment:
#   STORM_SEED=<n>   the seed of bash's RANDOM (default 20261209); printed, for a replay.
#   STORM_COUNT=<n>  the number of random actions (default 200).
#   STORM_NO_OFFWINDOW_KEYS=1   leaves out the key released off the window: a diagnosis aid, to
#                    see whether the rest of the storm passes while that case is known to fail.
# Prints a GoogleTest-style summary so the test count includes it.
set -uo pipefail
source_dir=$1 build_root=$2 target=$3 program=$4

seed=${STORM_SEED:-20261209}
count=${STORM_COUNT:-200}
no_offwindow=${STORM_NO_OFFWINDOW_KEYS:-0}
late_limit_ms=600

work="$build_root/$target/storm-e2e"
log="$work/frames.log"
# One line per press and let-go: action number, kind, press and let-go ms, control or key.
actions="$work/actions.txt"
failures=0
fail() { echo "input_storm_e2e: FAILED: $*"; failures=$((failures + 1)); }

# --- The small panel's controls: left and top, client pixels; every button is 21 x 11 ---
button_size="21 11"
declare -A BUTTON=(
  [pan_left]="12 182" [tilt_up]="45 160" [tilt_down]="45 204" [pan_right]="78 182"
  [up_left]="12 160" [down_left]="12 204" [up_right]="78 160" [down_right]="78 204"
  [wide]="12 112" [tele]="78 112" [near]="12 64" [far]="12 84" [home]="45 182"
  [preset_1]="45 44" [preset_2]="45 64" [preset_3]="45 84"
  [preset_4]="78 44" [preset_5]="78 64" [preset_6]="78 84"
  [operate]="78 24" [camera_1]="10 236" [camera_2]="34 236")
MOTION_BUTTONS=(pan_left tilt_up tilt_down pan_right up_left down_left up_right down_right
  wide tele near far)
MOTION_KEYS=(Left Right Up Down Left Right Up Down KP_Add KP_Subtract)
EMPTY_SPOT="54 5" # top edge of the panel, no control: a click there only gives the focus

# --- Time and randomness ---
now_ms() { local t=${EPOCHREALTIME/./}; now=$(((t - epoch_us) / 1000)); } # into $now
# The random helpers set a variable instead of printing: bash seeds RANDOM afresh in a
# subshell ($(...)), which would break the one sequence of the seed.
random_ms() { ms=$(($1 + RANDOM % ($2 - $1 + 1))); } # low high
random_pause() { random_ms "$1" "$2"; pause_ms "$ms"; }
seconds() { printf -v secs '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); } # ms, into $secs
pause_ms() { seconds "$1"; sleep "$secs"; }

# --- Pointer and focus ---
# A random point inside a control, away from its edges, into $point.
point_in() { # control
  local x y w h
  read -r x y <<<"${BUTTON[$1]}"
  read -r w h <<<"$button_size"
  point="$((x + 2 + RANDOM % (w - 4))) $((y + 2 + RANDOM % (h - 4)))"
}
# Without a window manager the X focus follows the pointer (PointerRoot); a window that took
# the focus explicitly keeps it, so it is given back to PointerRoot (1) as the server's default
# and the operator clicks an empty spot of the panel before using keys again.
focus_console() {
  xdotool windowfocus 1 mousemove --window "$console" $EMPTY_SPOT click 1 2>/dev/null
  pause_ms 150
}
random_motion_button() { button=${MOTION_BUTTONS[RANDOM % ${#MOTION_BUTTONS[@]}]}; }
random_motion_key() { key=${MOTION_KEYS[RANDOM % ${#MOTION_KEYS[@]}]}; }

# --- Actions, one function per kind ---
# Each action is one xdotool call (a process start is slow on a busy machine) whose last
# command is the let-go: its press time is taken before the call, its let-go time after it.
perform() { # kind control-or-key xdotool-command...
  local kind=$1 what=$2 press
  shift 2
  now_ms
  press=$now
  xdotool "$@"
  now_ms
  echo "$action_number $kind $press $now $what" >>"$actions"
}
# "mousemove --window console x y" to a random point of a control, into the array $move.
move_into() { point_in "$1"; move=(mousemove --window "$console" $point); } # control
# A random hold of low..high ms as an xdotool "sleep" command, into the array $hold.
random_hold() { random_ms "$1" "$2"; seconds "$ms"; hold=(sleep "$secs"); } # low high

mouse_hold() { # kind control low_ms high_ms
  move_into "$2"
  random_hold "$3" "$4"
  perform "$1" "$2" "${move[@]}" mousedown 1 "${hold[@]}" mouseup 1
}
button_tap() { random_motion_button; mouse_hold tap "$button" 20 100; }
button_hold() { random_motion_button; mouse_hold hold "$button" 150 400; }
button_long_hold() { random_motion_button; mouse_hold long_hold "$button" 700 1200; }

# The pointer leaves the button while it is held (onto the panel or off the window).
button_hold_wander() {
  local away=(mousemove $OFF_WINDOW) first
  ((RANDOM % 2)) && away=(mousemove --window "$console" $EMPTY_SPOT)
  random_motion_button
  move_into "$button"
  random_hold 100 300
  first=("${hold[@]}")
  random_hold 50 300
  perform wander "$button" "${move[@]}" mousedown 1 "${first[@]}" "${away[@]}" "${hold[@]}" \
    mouseup 1
  focus_console
}

# Notepad takes the focus while a button is held; the button is let go afterwards.
button_hold_focus_cut() {
  local first
  random_motion_button
  move_into "$button"
  random_hold 100 300
  first=("${hold[@]}")
  random_hold 50 300
  perform mouse_focus_cut "$button" "${move[@]}" mousedown 1 "${first[@]}" \
    windowfocus "$notepad" "${hold[@]}" mouseup 1
  focus_console
}

click_button() { mouse_hold "$1" "$2" 30 100; } # kind control
click_home() { click_button home_button home; }
click_preset() { click_button preset "preset_$((1 + RANDOM % 6))"; }
click_camera() {
  click_button camera "camera_$((1 + RANDOM % 2))"
  pause_ms 300
}
# OPERATE off, one motion button tapped (it must send nothing), OPERATE on again.
operate_off_on() {
  click_button operate operate
  button_tap
  click_button operate operate
}

key_hold() { # kind key low_ms high_ms
  random_hold "$3" "$4"
  perform "$1" "$2" keydown "$2" "${hold[@]}" keyup "$2"
}
key_motion() { random_motion_key; key_hold key "$key" 30 400; }
key_home() { key_hold home_key Home 20 80; }

# Two keys overlapping (the first let go first), or a key held while a motion button is
# clicked.
key_chord() {
  local first second first_hold
  random_motion_key
  first=$key
  random_hold 50 250
  first_hold=("${hold[@]}")
  random_hold 50 250
  if ((RANDOM % 2)); then
    random_motion_key
    second=$key
    [ "$second" = "$first" ] && second=Up
    [ "$second" = "$first" ] && second=Down
    perform chord "$first+$second" keydown "$first" "${first_hold[@]}" keydown "$second" \
      "${hold[@]}" keyup "$first"
    random_pause 20 200
    xdotool keyup "$second"
  else
    random_motion_button
    move_into "$button"
    perform chord "$first+$button" keydown "$first" "${first_hold[@]}" "${move[@]}" click 1 \
      "${hold[@]}" keyup "$first"
  fi
}

# Notepad is clicked while a key is held; the key comes up over Notepad.
key_hold_focus_cut() {
  local first
  random_motion_key
  random_hold 100 300
  first=("${hold[@]}")
  random_hold 50 200
  perform key_focus_cut "$key" keydown "$key" "${first[@]}" \
    mousemove --window "$notepad" 100 80 click 1 "${hold[@]}" keyup "$key"
  focus_console
}

# The pointer leaves the console for the bare root window while a key is held, and the key
# comes up there, where no Wine window sees it; the pointer comes back 1 to 1.4 s later.
key_released_off_window() {
  random_motion_key
  random_hold 100 300
  perform off_window_key "$key" keydown "$key" "${hold[@]}" mousemove $OFF_WINDOW keyup "$key"
  random_pause 1000 1400
  focus_console
}

# Weights of the action kinds (out of their sum).
ACTION_TABLE=(
  "20 button_tap" "17 button_hold" "3 button_long_hold" "5 button_hold_wander"
  "4 button_hold_focus_cut" "17 key_motion" "3 key_home" "5 key_chord" "4 key_hold_focus_cut"
  "3 key_released_off_window" "3 click_home" "2 click_preset" "2 operate_off_on"
  "3 click_camera")

# A random action kind, by weight, into $action.
random_action() {
  local total=0 entry weight name pick
  for entry in "${ACTION_TABLE[@]}"; do
    read -r weight name <<<"$entry"
    [ "$name" = key_released_off_window ] && [ "$no_offwindow" = 1 ] && continue
    total=$((total + weight))
  done
  pick=$((RANDOM % total))
  for entry in "${ACTION_TABLE[@]}"; do
    read -r weight name <<<"$entry"
    [ "$name" = key_released_off_window ] && [ "$no_offwindow" = 1 ] && continue
    ((pick < weight)) && { action=$name; return; }
    pick=$((pick - weight))
  done
}

# A message box (title "HLR8" like the console, or "Error") is closed with Return.
close_message_boxes() {
  local box
  for box in $(xdotool search --onlyvisible --name '^(HLR8|Error)$' 2>/dev/null); do
    [ "$box" = "$console" ] && continue
    echo "input_storm_e2e: a message box appeared after action $action_number; Return"
    boxes=$((boxes + 1))
    xdotool mousemove --window "$box" 10 10 key Return
    pause_ms 300
  done
}

# --- The check: the frame log against the actions ---
# Prints the summary and one line per fault; the last line is "faults N".
check_frame_log() {
  tr -d '\r' <"$log" | awk -v actions="$actions" -v limit="$late_limit_ms" '
    BEGIN {
      while ((getline line < actions) > 0) {
        split(line, f, " ")
        n++; number[n] = f[1]; kind[n] = f[2]; press[n] = f[3]; letgo[n] = f[4]; control[n] = f[5]
        performed[f[2]]++
        if (f[4] - f[3] > longestHold) longestHold = f[4] - f[3]
      }
      offset = "none"
    }
    function motion(   request) {
      request = $4 " " $5 " " $6 " " $7
      if (request == "06 05 12 01") return "pan_tilt start"
      if (request == "04 05 12 02") return "pan_tilt stop"
      if (request == "05 01 12 01") return "zoom start"
      if (request == "05 01 12 03") return "zoom stop"
      if (request == "05 01 10 02") return "focus start"
      if (request == "04 01 10 04") return "focus stop"
      return ""
    }
    function fault(text) { faults++; print "fault: " text }
    # The action that started a motion: the last one pressed by then (30 ms of slack for
    # the calibration).
    function starter(startWall,   i) {
      for (i = n; i >= 1; i--) if (press[i] <= startWall + 30) return i
      return 0
    }
    $3 == "PC>CAM" {
      what = motion(); if (what == "") next
      split(what, w, " "); key = $2 " " w[1]
      if (offset == "none") {
        if (what != "pan_tilt start") next # start-up requests, before the calibration
        offset = press[1] - $1
      }
      if (w[2] == "start") {
        starts[w[1]]++
        if (key in open) fault("second start without a stop between: " openLine[key] " / " $0)
        open[key] = $1; openLine[key] = $0
        next
      }
      stops[w[1]]++
      if (!(key in open)) { strays[w[1]]++; next }
      duration = $1 - open[key]
      if (duration > longestMotion) { longestMotion = duration; longestLine = openLine[key] " / " $0 }
      startWall = open[key] + offset; stopWall = $1 + offset
      a = starter(startWall)
      endWall = letgo[a] > startWall ? letgo[a] : startWall
      if (stopWall - endWall > worstOverrun) worstOverrun = stopWall - endWall
      if (stopWall - endWall > limit)
        fault(sprintf("stop %d ms after the let-go of action %d (%s %s, held %d ms): %s / %s",
          stopWall - endWall, number[a], kind[a], control[a], letgo[a] - press[a], openLine[key], $0))
      delete open[key]
    }
    END {
      if (offset == "none") fault("no pan/tilt start at all: the calibrating hold did not arrive")
      for (key in open) fault("left running: " openLine[key])
      printf "actions by kind:"
      split("tap hold long_hold wander mouse_focus_cut key key_focus_cut off_window_key chord " \
        "home_key home_button preset operate camera", names, " ")
      for (i = 1; i in names; i++) printf " %s %d", names[i], performed[names[i]]
      print ""
      split("pan_tilt zoom focus", kinds, " ")
      for (i = 1; i <= 3; i++) {
        k = kinds[i]; total += starts[k]
        # A stop with no motion running: the zoom stop of the start-up at each camera switch.
        printf "%s: %d starts, %d stops, %d of them with no motion running\n", k, starts[k],
          stops[k], strays[k]
      }
      printf "longest motion %d ms (%s); longest hold performed %d ms\n", longestMotion,
        longestLine, longestHold
      printf "latest stop %d ms after its let-go (limit %d ms)\n", worstOverrun, limit
      if (total < n / 4)
        fault(sprintf("only %d motions for %d actions: the input did not arrive", total, n))
      print "faults " faults + 0
    }'
}

# --- The run ---
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "input_storm_e2e: $tool is missing (tools/setup.sh)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work"
cp "$program" "$work/HLR8.exe"
: >"$actions"

source "$source_dir/tools/wine-env.sh" "$build_root" "$target" display
hlr8_xvfb_start || { echo "[  FAILED  ] 1 test, no X server"; exit 1; }
hlr8_at_exit hlr8_wine_stop
hlr8_wine_start

windows_log="Z:$(echo "$log" | tr / '\\')"
"$hlr8_wine_loader" "$work/HLR8.exe" /SIM "/SIMLOG:$windows_log" &
console_pid=$!
console=$(hlr8_find_window '^HLR8$' 30)
[ -n "$console" ] || { echo "[  FAILED  ] 1 test, no window titled HLR8 within 30 s"; exit 1; }
"$hlr8_wine_loader" notepad >/dev/null 2>&1 &
notepad_pid=$!
hlr8_at_exit "kill $notepad_pid 2>/dev/null"
notepad=$(hlr8_find_window 'Notepad$' 30)
[ -n "$notepad" ] || { echo "[  FAILED  ] 1 test, no Notepad window within 30 s"; exit 1; }

# Notepad beside the console; the off-window spot on the bare root to its left.
read -r console_x console_y < <(xdotool getwindowgeometry "$console" |
  awk '/Position/ {split($2, p, ","); print p[1], p[2]}')
xdotool windowsize "$notepad" 200 150 windowmove "$notepad" $((console_x + 150)) "$console_y"
OFF_WINDOW="$((console_x > 120 ? console_x - 100 : 10)) $((console_y + 100))"
for _ in $(seq 50); do
  grep -q 'PC>CAM 04 01 04 03' "$log" 2>/dev/null && break # the start-up sequence is done
  sleep 0.1
done
sleep 0.5

echo "input_storm_e2e: seed $seed, $count actions$([ "$no_offwindow" = 1 ] &&
  echo ', no key released off the window') (STORM_SEED, STORM_COUNT to replay)"
RANDOM=$seed
epoch_us=${EPOCHREALTIME/./}
boxes=0
action_number=1
# The calibrating hold: its start ties the log's clock to the wall clock. The press time is
# taken once the press has been sent, just before the start goes out. A press that reaches no
# button (seen twice in many runs: the log shows nothing, as if the pointer's first click went
# elsewhere) is tried once more, with the screen as it was saved beside the log; a console that
# does not answer the second either fails the check below.
calibrate() {
  focus_console
  xdotool mousemove --window "$console" 22 187 mousedown 1
  now_ms
  press=$now
  xdotool sleep 0.3 mouseup 1
  now_ms
  released=$now
}
calibrate
for _ in $(seq 20); do
  grep -q 'PC>CAM 06 05 12 01 02 00' "$log" && break # PanLeftStart
  sleep 0.1
done
if ! grep -q 'PC>CAM 06 05 12 01 02 00' "$log"; then
  echo "input_storm_e2e: the calibrating press sent nothing; once more (screen in $work/calibrate.png)"
  import -window root "$work/calibrate.png" 2>/dev/null
  calibrate
fi
echo "1 calibrate $press $released pan_left" >>"$actions"
pause_ms 200
for ((action_number = 2; action_number <= count + 1; action_number++)); do
  random_action
  $action
  random_pause 0 60
  ((action_number % 10 == 0)) && close_message_boxes
done
now_ms
storm_ms=$now
pause_ms 1500
close_message_boxes
focus_console
xdotool key alt+F4

hlr8_wait_for_exit $console_pid 15 ||
  { fail "the console did not end within 15 s of Alt+F4"; kill $console_pid; }
echo "input_storm_e2e: storm $storm_ms ms, $boxes message boxes; frame log $work/frames.log"

report=$(check_frame_log)
echo "$report" | sed 's/^/input_storm_e2e: /'
faults=$(echo "$report" | awk '/^faults / {print $2}')
[ "${faults:-1}" = 0 ] || fail "${faults:-?} faults in the frame log (seed $seed), listed above"

if [ $failures -eq 0 ]; then
  echo "[  PASSED  ] 1 test."
else
  echo "[  FAILED  ] 1 test, listed above"
  exit 1
fi
