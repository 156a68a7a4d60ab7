#!/usr/bin/env bash
# End to end on a real X server: the program shows its window, a screenshot is
# taken, a real WM_DELETE_WINDOW close request ends it with exit code 0.
# Usage: close_request.sh PULSEGEN X_CLOSE_REQUEST OUTPUT_DIR
set -euo pipefail
program=$1
close_request=$2
out=$3
source "$(dirname "$0")/xvfb.sh"
start_xvfb
mkdir -p "$out"

ALSOFT_DRIVERS=null "$program" &
pid=$!
window=$(find_main_window)
[[ -n "$window" ]] || { echo "FAIL: no window" >&2; kill "$pid"; exit 1; }

# Client area 300 x 150 (no window manager: no frame).
geometry=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[[ "$geometry" == "300x150" ]] || { echo "FAIL: window is $geometry" >&2; kill "$pid"; exit 1; }

sleep 0.3  # let the first paint land before the screenshot
import -window "$window" "$out/window.png"
[[ -s "$out/window.png" ]] || { echo "FAIL: no screenshot" >&2; kill "$pid"; exit 1; }

"$close_request" "$window"
set +e
timeout 10 tail --pid="$pid" -f /dev/null
wait "$pid"
rc=$?
set -e
[[ $rc -eq 0 ]] || { echo "FAIL: exit code $rc after the close request" >&2; exit 1; }
echo "window $geometry, screenshot $out/window.png, exit code 0"
