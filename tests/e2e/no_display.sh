#!/usr/bin/env bash
# With no display reachable the program says so in one line and exits
# non-zero, without aborting (no core dump, no signal).
# Usage: no_display.sh PULSEGEN
set -uo pipefail
program=$1
for display in "" ":12345"; do
  err=$(env -u QT_QPA_PLATFORM DISPLAY="$display" ALSOFT_DRIVERS=null "$program" 2>&1 >/dev/null)
  rc=$?
  if [[ $rc -eq 0 || $rc -ge 128 ]]; then
    echo "FAIL: DISPLAY='$display' gave exit code $rc" >&2
    exit 1
  fi
  lines=$(printf '%s\n' "$err" | grep -c .)
  if [[ $lines -ne 1 ]]; then
    echo "FAIL: DISPLAY='$display' printed $lines lines: $err" >&2
    exit 1
  fi
  echo "DISPLAY='$display': exit $rc: $err"
done
