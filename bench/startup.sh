#!/usr/bin/env bash
# Process start to window shown (mapped on the X server), and idle resident
# memory, under a private Xvfb. Prints each run and the median.
# Usage: bench/startup.sh [BUILD_DIR] [RUNS]   (defaults: build, 15)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-15}
source tests/e2e/xvfb.sh
start_xvfb

maps=()
rsss=()
for ((i = 0; i < runs; i++)); do
  line=$(ALSOFT_DRIVERS=null "$build/tests/e2e/x_wait_map" "$build/src/ui/pulsegen")
  map_us=$(sed -E 's/.*map_us=([0-9]+).*/\1/' <<<"$line")
  pid=$(sed -E 's/.*pid=([0-9]+).*/\1/' <<<"$line")
  window=$(sed -E 's/.*window=([0-9]+).*/\1/' <<<"$line")
  sleep 1  # idle
  rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
  "$build/tests/e2e/x_close_request" "$window"
  wait "$pid" 2>/dev/null || true
  maps+=("$map_us")
  rsss+=("$rss_kb")
  printf 'run %2d: start to window shown %6.1f ms, idle RSS %6.1f MB\n' "$i" \
    "$(bc -l <<<"$map_us / 1000")" "$(bc -l <<<"$rss_kb / 1024")"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
printf 'median: start to window shown %.1f ms (target <= 100), idle RSS %.1f MB (target <= 60)\n' \
  "$(bc -l <<<"$(median "${maps[@]}") / 1000")" "$(bc -l <<<"$(median "${rsss[@]}") / 1024")"
