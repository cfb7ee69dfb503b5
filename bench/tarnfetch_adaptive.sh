#!/usr/bin/env bash
# tarnfetch's adaptive connection count beside fixed counts and other
# programs, on loopback servers, one run of each (the machine is shared):
#   (a) 96 MiB, each connection paced to 8 MB/s: tarnfetch's default
#       against `aria2c -x4 -s4` and `aria2c -x16 -s16`;
#   (b) the same file from a server that answers 429 to a third request at
#       a time: the default against `--connections 2`, and aria2c -x16;
#   (c) 1 GiB unthrottled: the default against curl, with the connections
#       each opened;
#   (d) an HLS stream of 240 segments, each answered after 50 ms: the
#       default against `ffmpeg -i URL -c copy`.
# Every tarnfetch run gets an empty cache folder, so none starts from a
# count remembered by an earlier one.
#
#   bench/tarnfetch_adaptive.sh [BUILD_DIR]
#
# Needs python3, curl, aria2c (Debian package aria2), ffmpeg, ffprobe and
# GNU time. Targets: (a) at most 0.6 times aria2c -x4's time and 1.1 times
# aria2c -x16's; (b) no failure, at most 1.1 times --connections 2's time,
# settled on 2; (c) at most 1.05 times curl's, no more connections than
# --connections 8 (the count before it adapted); (d) at most 0.12 times
# ffmpeg's. tarnfetch's peak memory under 40 MB in each.
set -euo pipefail

build_dir=${1:-build}
tarnfetch="$build_dir/bin/tarnfetch"

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 curl aria2c ffmpeg ffprobe
mkdir -p "$work/out" "$work/www"

runs=0
# tarn ARGS...: one tarnfetch run with an empty cache; its last output in
# $work/tarn.txt.
tarn() {
  runs=$((runs + 1))
  measure_keep env XDG_CACHE_HOME="$work/cache$runs" "$tarnfetch" "$@"
}
# measure, but the command's output kept in $work/tarn.txt and a failure
# reported as seconds -1.
measure_keep() {
  local stats="$work/time.txt" status=0
  /usr/bin/time -v -o "$stats" "$@" >"$work/tarn.txt" 2>&1 || status=$?
  awk -F': ' -v failed=$status '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i] }
    /Maximum resident set size/ { rss = $2 }
    END { printf "%.2f %d %d\n", s, rss, failed }' "$stats"
}
settled() { sed -n 's|^<connections>\([0-9]*\)</connections>$|\1|p' "$work/tarn.txt" | tail -n 1; }
row() { printf '  %-28s %8s s %10s KB  %s\n' "$@"; }

echo "(a) 96 MiB, each connection paced to 8 MB/s"
serve_file 96 8000000 0
expected=$((96 << 20))
read -r a_tarn a_rss failed < <(tarn "$url" -p "$work/out/%(title)s.%(ext)s")
((failed == 0)) || { echo "tarnfetch failed"; cat "$work/tarn.txt"; exit 1; }
check_size "$work/out/big.mp4"
row "tarnfetch (default)" "$a_tarn" "$a_rss" "settled on $(settled)"
read -r a_x4 rss < <(measure aria2c -q -x4 -s4 -d "$work/out" -o x4.mp4 "$url")
check_size "$work/out/x4.mp4"
row "aria2c -x4 -s4" "$a_x4" "$rss"
read -r a_x16 rss < <(measure aria2c -q -x16 -s16 -d "$work/out" -o x16.mp4 "$url")
check_size "$work/out/x16.mp4"
row "aria2c -x16 -s16" "$a_x16" "$rss"
check_target "tarnfetch/aria2c-x4" "$(time_ratio "$a_tarn" "$a_x4")" 0.60
check_target "tarnfetch/aria2c-x16" "$(time_ratio "$a_tarn" "$a_x16")" 1.10
check_target "tarnfetch peak KB" "$a_rss" 40000

echo "(b) 96 MiB paced to 8 MB/s a connection, 429 for a third request at a time"
serve_file 96 8000000 2
read -r b_tarn b_rss failed < <(tarn "$url" -p "$work/out/%(title)s.%(ext)s")
((failed == 0)) || { echo "  MISSED: tarnfetch failed"; cat "$work/tarn.txt"; ok=0; }
b_settled=$(settled)
[[ $failed -ne 0 ]] || check_size "$work/out/big.mp4"
row "tarnfetch (default)" "$b_tarn" "$b_rss" "settled on $b_settled"
read -r b_two rss failed < <(tarn "$url" -p "$work/out/%(title)s.%(ext)s" --connections 2)
((failed == 0)) || { echo "tarnfetch --connections 2 failed"; exit 1; }
check_size "$work/out/big.mp4"
row "tarnfetch --connections 2" "$b_two" "$rss"
read -r b_aria rss failed < <(measure_keep aria2c -q -x16 -s16 -d "$work/out" -o x16.mp4 "$url")
if ((failed == 0)) && [[ $(stat -c %s "$work/out/x16.mp4" 2>/dev/null) == "$expected" ]]; then
  b_aria_result=complete
else
  b_aria_result="failed (status $failed)"
fi
rm -f "$work/out/x16.mp4"*
row "aria2c -x16 -s16" "$b_aria" "$rss" "$b_aria_result"
check_target "tarnfetch/--connections 2" "$(time_ratio "$b_tarn" "$b_two")" 1.10
check_target "settled on" "${b_settled:-none}" 2
check_target "tarnfetch peak KB" "$b_rss" 40000

echo "(c) 1 GiB unthrottled"
serve_file 1024 0 0
expected=$((1024 << 20))
read -r c_tarn c_rss failed < <(tarn "$url" -p "$work/out/%(title)s.%(ext)s")
((failed == 0)) || { echo "tarnfetch failed"; exit 1; }
c_conns=$(curl -s "$connections_url")
check_size "$work/out/big.mp4"
row "tarnfetch (default)" "$c_tarn" "$c_rss" "$c_conns connections, settled on $(settled)"
read -r c_first rss failed < <(tarn "$url" -p "$work/out/%(title)s.%(ext)s" --connections 8)
c_first_conns=$(curl -s "$connections_url")
check_size "$work/out/big.mp4"
row "tarnfetch --connections 8" "$c_first" "$rss" "$c_first_conns connections"
read -r c_curl rss < <(measure curl -sS --fail -o "$work/out/curl.mp4" "$url")
curl -s -o /dev/null "$connections_url"
check_size "$work/out/curl.mp4"
row "curl" "$c_curl" "$rss"
check_target "tarnfetch/curl" "$(time_ratio "$c_tarn" "$c_curl")" 1.05
check_target "connections opened" "$c_conns" "$c_first_conns"
check_target "tarnfetch peak KB" "$c_rss" 40000

echo "(d) HLS, 240 segments, each answered after 50 ms"
serve_hls 240 24
servers+=("$server_pid")
read -r d_ffmpeg d_ffmpeg_rss < <(measure ffmpeg -nostdin -v error -i "$url" -c copy "$work/out/ffmpeg.mp4")
check_duration "$work/out/ffmpeg.mp4" 120
row "ffmpeg -c copy" "$d_ffmpeg" "$d_ffmpeg_rss"
read -r d_tarn d_tree_rss failed < <(tarn "$url" -p "$work/out/%(title)s.%(ext)s")
((failed == 0)) || { echo "tarnfetch failed"; cat "$work/tarn.txt"; exit 1; }
check_duration "$work/out/index.mp4" 120
row "tarnfetch (default)" "$d_tarn" "$d_tree_rss" "settled on $(settled) (with its ffmpeg)"
# Its own memory: with no ffmpeg to be found it keeps the joined .ts.
mkdir -p "$work/nothing"
read -r secs d_rss failed < <(measure_keep env PATH="$work/nothing" \
  XDG_CACHE_HOME="$work/cache-d" "$(realpath "$tarnfetch")" "$url" -p "$work/out/%(title)s.%(ext)s")
rm -f "$work/out/index."*
row "tarnfetch, no ffmpeg" "$secs" "$d_rss"
check_target "tarnfetch/ffmpeg" "$(time_ratio "$d_tarn" "$d_ffmpeg")" 0.12
check_target "tarnfetch peak KB" "$d_rss" 40000

((ok)) && echo "all targets met"
((ok))
