#!/usr/bin/env bash
# Times the whole pulsegen-wav process writing the one-hour image (500 Hz,
# 44100 Hz, 158.8 MB) against sox writing the same square wave, best of RUNS
# each, into the same directory. Installs sox if it is missing.
#
# Usage: bench/wav_vs_sox.sh [PULSEGEN_WAV] [RUNS]
#   PULSEGEN_WAV  default: build/src/ui/pulsegen-wav in this repository
#                 (a Release or RelWithDebInfo build)
#   RUNS          default 5
#   WAV_BENCH_DIR where the files go (default: a new directory under /tmp)
set -euo pipefail

bin=${1:-$(dirname "$0")/../build/src/ui/pulsegen-wav}
runs=${2:-5}
[[ -x $bin ]] || { echo "no pulsegen-wav at $bin (build it first)" >&2; exit 1; }

if ! command -v sox >/dev/null; then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq sox >/dev/null
fi

dir=$(mktemp -d "${WAV_BENCH_DIR:-/tmp}/wav-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT

# Best wall time of `runs` runs of the command, in milliseconds. The output
# file is removed before each run so every run creates it afresh.
best_ms() {
  local best="" start end ms
  for ((i = 0; i < runs; i++)); do
    rm -f "$dir/out.wav"
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(((end - start) / 1000000))
    [[ -z $best || $ms -lt $best ]] && best=$ms
  done
  echo "$best"
}

ours=$(best_ms "$bin" --size 3600000 -o "$dir/out.wav")
our_bytes=$(stat -c %s "$dir/out.wav")
theirs=$(best_ms sox -n -r 44100 -b 8 -e unsigned-integer -c 1 -D "$dir/out.wav" \
  synth 3600 square 500 0 0 50)
their_bytes=$(stat -c %s "$dir/out.wav")

echo "pulsegen-wav: ${ours} ms (${our_bytes} bytes)"
echo "sox:          ${theirs} ms (${their_bytes} bytes)"
awk -v a="$ours" -v b="$theirs" \
  'BEGIN { printf "sox / pulsegen-wav = %.1fx (target 50x)\n", b / (a > 0 ? a : 1) }'
