#!/usr/bin/env bash
# Downloads one HLS stream (60 two-second MPEG-TS segments, each answered
# after 50 ms) from a loopback server with tarnfetch and with
# `ffmpeg -i URL -c copy`, alternately, and compares wall time and peak
# memory. Both end with one MP4 file. tarnfetch's own memory is measured in
# a third run with no ffmpeg to be found (it keeps the joined .ts): with
# ffmpeg, GNU time reports the larger of tarnfetch and its ffmpeg child.
#
#   bench/hls_vs_ffmpeg.sh [BUILD_DIR] [ROUNDS]
#
# Defaults: build, 3 rounds. Needs python3, ffmpeg and GNU time at
# /usr/bin/time. Targets: tarnfetch's best time at most 0.35 times
# ffmpeg's, its peak resident memory under 40 MB.
set -euo pipefail

build_dir=${1:-build}
rounds=${2:-3}
tarnfetch="$build_dir/bin/tarnfetch"

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 ffmpeg ffprobe
mkdir -p "$work/www" "$work/out"

serve_hls 60 25

# Both results must hold the whole two minutes.
check() { check_duration "$1" 120; }

mkdir -p "$work/nothing"
ffmpeg_times=(); tarn_times=(); peak_ffmpeg=0; peak_tarn=0; peak_tree=0
printf '%-6s %-22s %10s %12s\n' round tool seconds "peak RSS KB"
for round in $(seq "$rounds"); do
  read -r secs rss < <(measure ffmpeg -nostdin -v error -i "$url" -c copy "$work/out/ffmpeg.mp4")
  check "$work/out/ffmpeg.mp4"
  printf '%-6s %-22s %10s %12s\n' "$round" ffmpeg "$secs" "$rss"
  ffmpeg_times+=("$secs")
  ((rss > peak_ffmpeg)) && peak_ffmpeg=$rss

  read -r secs rss < <(measure "$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s")
  check "$work/out/index.mp4"
  printf '%-6s %-22s %10s %12s\n' "$round" tarnfetch "$secs" "$rss"
  tarn_times+=("$secs")
  ((rss > peak_tree)) && peak_tree=$rss

  read -r secs rss < <(measure env PATH="$work/nothing" "$(realpath "$tarnfetch")" "$url" \
    -p "$work/out/%(title)s.%(ext)s")
  check "$work/out/index.ts"
  printf '%-6s %-22s %10s %12s\n' "$round" "tarnfetch, no ffmpeg" "$secs" "$rss"
  ((rss > peak_tarn)) && peak_tarn=$rss
done

read -r best_ffmpeg median_ffmpeg < <(summary "${ffmpeg_times[@]}")
read -r best_tarn median_tarn < <(summary "${tarn_times[@]}")
ratio=$(time_ratio "$best_tarn" "$best_ffmpeg")
echo
echo "stream: 60 segments of 2 s, 50 ms before each answer, best of $rounds"
echo "ffmpeg:    best ${best_ffmpeg} s, median ${median_ffmpeg} s, peak RSS ${peak_ffmpeg} KB"
echo "tarnfetch: best ${best_tarn} s, median ${median_tarn} s, peak RSS ${peak_tarn} KB" \
  "(with its ffmpeg child ${peak_tree} KB)"
echo "time ratio tarnfetch/ffmpeg: $ratio (target <= 0.35)"
ok=1
awk -v r="$ratio" 'BEGIN { exit !(r <= 0.35) }' || { echo "MISSED: time target"; ok=0; }
((peak_tarn < 40000)) || { echo "MISSED: memory target (40 MB)"; ok=0; }
((ok)) && echo "both targets met"
((ok))
