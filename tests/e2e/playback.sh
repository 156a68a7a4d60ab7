#!/usr/bin/env bash
# End to end playback on a real X server: settings are typed and buttons
# clicked with real input events, and what reaches the sound device is taken
# from OpenAL Soft's wave writer and compared with the exact image that
# pulsegen-wav writes for the same field texts.
# Usage: playback.sh PULSEGEN PULSEGEN_WAV X_CLOSE_REQUEST OUTPUT_DIR CASE
# CASE: once | size_corrected | stop_single | stop_loop | loop_unchecked |
#       close_playing
set -euo pipefail
program=$1
pulsegen_wav=$2
close_request=$3
out=$4/$5
case_name=$5
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
capture_check="$python $here/capture_check.py"
source "$here/xvfb.sh"

rm -rf "$out"
mkdir -p "$out"
capture=$out/capture.wav

# Device output at 44100 Hz, 8-bit mono, without dither, limiter or
# interpolation, so that the captured samples are the played ones.
cat >"$out/alsoft.conf" <<EOF
[general]
frequency = 44100
channels = mono
sample-type = uint8
resampler = point
dither = false
output-limiter = false
[wave]
file = $capture
EOF

# Control rectangles in client pixels (x,y,width,height).
field_pause=20,50,50,20
field_pulse=80,50,50,20
field_rate=140,50,50,20
field_size=200,50,50,20
button_start=20,100,50,20
button_stop=80,100,50,20
check_loop=200,70,100,20

rate=44100
tail=4410 # 100 ms of silence after a sound shows that it has ended

pid=""
window=""

fail() {
  echo "FAIL ($case_name): $*" >&2
  # Only while the program runs: given a window that is gone, import waits
  # for the user to pick one.
  if [[ -n "$pid" && -n "$window" ]]; then
    timeout 10 import -window "$window" "$out/failure.png" 2>/dev/null || true
  fi
  exit 1
}

start_program() {
  rm -f "$capture"
  ALSOFT_DRIVERS=wave ALSOFT_CONF="$out/alsoft.conf" "$program" >"$out/program.log" 2>&1 &
  pid=$!
  window=$(find_main_window)
  [[ -n "$window" ]] || fail "no window"
}

# Kills a program still running when the script ends early, then Xvfb.
start_xvfb
eval "set -- $(trap -p EXIT)"
xvfb_cleanup=$3
trap 'if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null || true; fi; '"$xvfb_cleanup" EXIT

click() { # RECT [X offset within it]
  local x y w h
  IFS=, read -r x y w h <<<"$1"
  xdotool mousemove --window "$window" $((x + ${2:-$((w / 2))})) $((y + h / 2)) click 1
}

set_field() { # RECT TEXT: replaces the field's text as a user does
  click "$1"
  xdotool key ctrl+a
  xdotool type "$2"
}

toggle_loop() { click "$check_loop" 8; }

# Prints the field's text, copied to the clipboard with Ctrl+A, Ctrl+C. A
# sentinel put on the clipboard first shows when the copy has landed.
read_field() { # RECT
  local sentinel="sentinel-$$-$RANDOM" holder text i
  printf '%s' "$sentinel" | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
  holder=$!
  for ((i = 0; i < 500; i++)); do
    [[ "$(xclip -o -selection clipboard 2>/dev/null || true)" == "$sentinel" ]] && break
    sleep 0.02
  done
  click "$1"
  xdotool key ctrl+a ctrl+c
  for ((i = 0; i < 500; i++)); do
    text=$(xclip -o -selection clipboard 2>/dev/null || true)
    if [[ "$text" != "$sentinel" ]]; then
      kill "$holder" 2>/dev/null || true
      wait "$holder" 2>/dev/null || true
      printf '%s\n' "$text"
      return 0
    fi
    sleep 0.02
  done
  kill "$holder" 2>/dev/null || true
  fail "the field at $1 could not be copied"
}

# "idle": fields and Start enabled, Stop disabled; "playing": the reverse.
controls_state() {
  local flags
  flags=$(import -window "$window" -depth 8 ppm:- | $python "$here/window_state.py" \
    "$field_pause" "$field_pulse" "$field_rate" "$field_size" "$button_start" "$button_stop")
  case "$flags" in
    "1 1 1 1 1 0") echo idle ;;
    "0 0 0 0 0 1") echo playing ;;
    *) echo "mixed($flags)" ;;
  esac
}

wait_state() { # idle|playing
  local state i
  for ((i = 0; i < 300; i++)); do
    state=$(controls_state)
    [[ "$state" == "$1" ]] && return 0
    sleep 0.05
  done
  fail "controls stayed $state, waited for $1"
}

expect_state() { # state that must hold now
  local state
  state=$(controls_state)
  [[ "$state" == "$1" ]] || fail "controls are $state, expected $1"
}

image() { # FILE PAUSE PULSE SIZE: the exact image a run plays
  "$pulsegen_wav" --pause "$2" --pulse "$3" --size "$4" --rate "$rate" -o "$1"
}

samples_of() { # SIZE_MS
  echo $(($1 * rate / 1000))
}

wait_sound() { $capture_check wait "$capture" "$1" 30 >/dev/null || fail "sound did not reach $1 samples"; }
settle() { $capture_check settle "$capture" "$1" "$2" 30 || fail "the capture did not settle"; }

# Sends a real close request and waits for the program to exit; sets
# closed_ms to the milliseconds from sending the request to the exit.
close_program() {
  local watchdog t0 t1 rc
  (sleep 20 && kill "$pid" 2>/dev/null) >/dev/null 2>&1 &
  watchdog=$!
  t0=$(date +%s%N)
  "$close_request" "$window" || fail "close request not delivered"
  set +e
  wait "$pid"
  rc=$?
  set -e
  t1=$(date +%s%N)
  kill "$watchdog" 2>/dev/null || true
  wait "$watchdog" 2>/dev/null || true
  pid=""
  [[ $rc -eq 0 ]] || fail "exit code $rc after the close request"
  closed_ms=$(((t1 - t0) / 1000000))
}

case "$case_name" in
  once)
    # Typed settings, Start: the whole image plays once, then silence, and
    # the controls go back to idle by themselves; a second Start plays again.
    image "$out/expected.wav" 1000 3000 300
    start_program
    set_field "$field_pause" 1000
    set_field "$field_pulse" 3000
    set_field "$field_size" 300
    set_field "$field_rate" $rate
    for run in 1 2; do
      click "$button_start"
      wait_state playing
      click "$button_start" # disabled while playing: no second run
      wait_state idle
      settle "$run" "$tail"
    done
    close_program
    $capture_check plays "$capture" "$tail" "$out/expected.wav" "$out/expected.wav" ||
      fail "capture differs from two plays of the image"
    ;;

  size_corrected)
    # A size of 1 ms is replaced by 1000: the field shows it and the run is
    # one second long.
    image "$out/expected.wav" 1000 1000 1000
    start_program
    set_field "$field_size" 1
    [[ "$(read_field "$field_size")" == 1 ]] || fail "size field does not hold the typed 1"
    click "$button_start"
    wait_state playing
    wait_state idle
    text=$(read_field "$field_size")
    [[ "$text" == 1000 ]] || fail "size field reads '$text' after Start, expected 1000"
    settle 1 "$tail"
    close_program
    $capture_check plays "$capture" "$tail" "$out/expected.wav" ||
      fail "capture differs from the 1000 ms image"
    ;;

  stop_single)
    # Stop soon after the sound starts: the sound breaks off at once (far
    # short of the image) and stays silent; the controls are idle.
    size=1000
    image "$out/expected.wav" 1000 1000 $size
    start_program
    click "$button_start"
    wait_sound 2205
    click "$button_stop"
    wait_state idle
    settle 1 "$(samples_of $size)"
    expect_state idle
    close_program
    $capture_check cut "$capture" "$tail" $(($(samples_of $size) / 2)) "$out/expected.wav" ||
      fail "the sound was not cut short by Stop"
    ;;

  stop_loop)
    # Loop box checked, Start: the image repeats; Stop silences it at once
    # and for good, and the controls are idle although the box is checked.
    size=200
    n=$(samples_of $size)
    image "$out/expected.wav" 1000 1000 $size
    start_program
    set_field "$field_size" $size
    toggle_loop
    click "$button_start"
    wait_state playing
    wait_sound $((n * 3 / 2))
    click "$button_stop"
    wait_state idle
    settle 1 "$n"
    expect_state idle
    close_program
    $capture_check loop "$capture" "$n" $((n * 3 / 2)) "$out/expected.wav" ||
      fail "the loop did not stop on Stop"
    ;;

  loop_unchecked)
    # Loop box checked, Start, box unchecked without Stop: the controls go
    # idle after the run's length while the loop plays on beyond the image's
    # length without a seam, until the next Start replaces it with its sound.
    size=200
    n=$(samples_of $size)
    image "$out/expected.wav" 1000 1000 $size
    image "$out/next.wav" 1000 3000 $size
    start_program
    set_field "$field_size" $size
    toggle_loop
    click "$button_start"
    wait_state playing
    wait_sound 1
    toggle_loop
    wait_state idle
    wait_sound $((n * 5 / 2))
    expect_state idle
    set_field "$field_pulse" 3000
    click "$button_start"
    wait_state playing
    wait_state idle
    settle 1 "$tail"
    close_program
    $capture_check loop "$capture" "$tail" $((n * 5 / 2)) "$out/expected.wav" "$out/next.wav" ||
      fail "the loop was not kept and then replaced"
    ;;

  close_playing)
    # A close request while a sound plays (once, then looped) ends the
    # program with exit code 0 at once. The bound here is generous for a
    # loaded machine; the measured time is printed.
    size=500
    n=$(samples_of $size)
    start_program
    click "$button_start"
    wait_state playing
    wait_sound 2205
    close_program
    once_ms=$closed_ms
    start_program
    toggle_loop
    click "$button_start"
    wait_state playing
    wait_sound $((n + 2205))
    close_program
    loop_ms=$closed_ms
    echo "close request to exit: playing once ${once_ms} ms, looping ${loop_ms} ms"
    ((once_ms <= 2000 && loop_ms <= 2000)) || fail "exit took more than 2000 ms"
    ;;

  *)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
echo "PASS ($case_name)"
