#!/usr/bin/env bash
# Downloads one large file from a loopback server with tarnfetch and with the
# curl command-line tool, alternately, and compares wall time and peak memory.
#
#   bench/tarnfetch_vs_curl.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
#
# Defaults: build, 1024 MiB, 3 rounds. Needs python3 (the loopback file
# server), curl, and GNU time at /usr/bin/time (Debian package "time").
# Targets: tarnfetch's best time at most 1.1 times curl's, its peak resident
# memory under 20 MB.
set -euo pipefail

build_dir=${1:-build}
size_mib=${2:-1024}
rounds=${3:-3}
tarnfetch="$build_dir/bin/tarnfetch"

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 curl

mkdir -p "$work/www" "$work/out"
# A sparse file: the server reads zeros from memory, so the disk does not
# limit the test; the clients still write every byte.
truncate -s "${size_mib}M" "$work/www/big.mp4"

port=$(free_port)
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/www" >/dev/null 2>&1 &
server_pid=$!
url="http://127.0.0.1:$port/big.mp4"
wait_for "$url"
expected=$((size_mib * 1024 * 1024))

curl_times=(); tarn_times=(); peak_curl=0; peak_tarn=0
printf '%-6s %-10s %10s %12s\n' round tool seconds "peak RSS KB"
for round in $(seq "$rounds"); do
  read -r secs rss < <(measure curl -sS --fail -o "$work/out/curl.mp4" "$url")
  check_size "$work/out/curl.mp4"
  printf '%-6s %-10s %10s %12s\n' "$round" curl "$secs" "$rss"
  curl_times+=("$secs")
  ((rss > peak_curl)) && peak_curl=$rss

  read -r secs rss < <(measure "$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s")
  check_size "$work/out/big.mp4"
  printf '%-6s %-10s %10s %12s\n' "$round" tarnfetch "$secs" "$rss"
  tarn_times+=("$secs")
  ((rss > peak_tarn)) && peak_tarn=$rss
done

read -r best_curl median_curl < <(summary "${curl_times[@]}")
read -r best_tarn median_tarn < <(summary "${tarn_times[@]}")

# Best times: the machine's other work only ever adds to a run.
ratio=$(time_ratio "$best_tarn" "$best_curl")
echo
echo "file: ${size_mib} MiB over loopback, best of $rounds"
echo "curl:      best ${best_curl} s, median ${median_curl} s, peak RSS ${peak_curl} KB"
echo "tarnfetch: best ${best_tarn} s, median ${median_tarn} s, peak RSS ${peak_tarn} KB"
echo "time ratio tarnfetch/curl: $ratio (target <= 1.10)"
ok=1
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.10) }' || { echo "MISSED: time target"; ok=0; }
((peak_tarn < 20000)) || { echo "MISSED: memory target (20 MB)"; ok=0; }
((ok)) && echo "both targets met"
((ok))
