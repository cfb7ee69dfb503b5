#!/usr/bin/env bash
# Downloads one DASH stream (60 two-second segments each of picture and
# sound, each answered after 50 ms) from a loopback server with tarnfetch
# and with `ffmpeg -i MPD_URL -c copy`, alternately, and compares wall time
# and peak memory. Both end with one MP4 file holding picture and sound.
# tarnfetch's own memory is followed through /proc while it runs (GNU time
# would report its ffmpeg child's when that is larger).
#
#   bench/dash_vs_ffmpeg.sh [BUILD_DIR] [ROUNDS]
#
# Defaults: build, 3 rounds. Needs python3, ffmpeg and GNU time at
# /usr/bin/time. Targets: tarnfetch's best time at most 0.35 times
# ffmpeg's, its own peak resident memory under 40 MB.
set -euo pipefail

build_dir=${1:-build}
rounds=${2:-3}
tarnfetch="$build_dir/bin/tarnfetch"

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 ffmpeg ffprobe
mkdir -p "$work/www" "$work/out"

# 120 s of small video with sound: 60 segments of each.
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440 -t 120 \
  -c:v libx264 -preset veryfast -g 50 -c:a aac -map 0 -map 1 -f dash -seg_duration 2 \
  -use_timeline 0 -adaptation_sets "id=0,streams=v id=1,streams=a" "$work/www/index.mpd"
for stream in 0 1; do
  made=$(find "$work/www" -name "chunk-stream$stream-*.m4s" | wc -l)
  ((made >= 60)) || { echo "expected 60 segments of stream $stream, made $made" >&2; exit 1; }
done

start_slow_server "$work/www"
url="http://127.0.0.1:$port/index.mpd"
wait_for_any "$url"

ffmpeg_times=(); tarn_times=(); peak_ffmpeg=0; peak_tarn=0
printf '%-6s %-10s %10s %12s\n' round tool seconds "peak RSS KB"
for round in $(seq "$rounds"); do
  read -r secs rss < <(measure ffmpeg -nostdin -v error -i "$url" -c copy "$work/out/ffmpeg.mp4")
  check_duration "$work/out/ffmpeg.mp4" 120
  printf '%-6s %-10s %10s %12s\n' "$round" ffmpeg "$secs" "$rss"
  ffmpeg_times+=("$secs")
  ((rss > peak_ffmpeg)) && peak_ffmpeg=$rss

  start=$(date +%s.%N)
  "$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s" >/dev/null &
  rss=$(peak_rss_of $!)
  wait $! || { echo "tarnfetch failed" >&2; exit 1; }
  secs=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
  check_duration "$work/out/index.mp4" 120
  printf '%-6s %-10s %10s %12s\n' "$round" tarnfetch "$secs" "$rss"
  tarn_times+=("$secs")
  ((rss > peak_tarn)) && peak_tarn=$rss
done

read -r best_ffmpeg median_ffmpeg < <(summary "${ffmpeg_times[@]}")
read -r best_tarn median_tarn < <(summary "${tarn_times[@]}")
ratio=$(time_ratio "$best_tarn" "$best_ffmpeg")
echo
echo "DASH: 60 segments of 2 s each of picture and sound, 50 ms before each answer, best of $rounds"
echo "ffmpeg:    best ${best_ffmpeg} s, median ${median_ffmpeg} s, peak RSS ${peak_ffmpeg} KB"
echo "tarnfetch: best ${best_tarn} s, median ${median_tarn} s, peak RSS ${peak_tarn} KB"
echo "time ratio tarnfetch/ffmpeg: $ratio (target <= 0.35)"
ok=1
awk -v r="$ratio" 'BEGIN { exit !(r <= 0.35) }' || { echo "MISSED: time target"; ok=0; }
((peak_tarn < 40000)) || { echo "MISSED: memory target (40 MB)"; ok=0; }
((ok)) && echo "both targets met"
((ok))
