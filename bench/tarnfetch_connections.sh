#!/usr/bin/env bash
# Downloads one file from a loopback server that paces every connection to
# 8 MB/s (as throttling hosts do) with tarnfetch (its default count, which
# adapts), with curl (one connection) and with `aria2c -x4 -s4`, in turn,
# and compares wall time and peak memory.
#
#   bench/tarnfetch_connections.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]
#
# Defaults: build, 96 MiB, 3 rounds. Needs python3, curl, aria2c (Debian
# package aria2) and GNU time at /usr/bin/time. Targets: tarnfetch's best
# time at most 0.35 times curl's and at most 1.1 times aria2c's, its peak
# resident memory under 40 MB.
set -euo pipefail

build_dir=${1:-build}
size_mib=${2:-96}
rounds=${3:-3}
tarnfetch="$build_dir/bin/tarnfetch"

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 curl aria2c
mkdir -p "$work/out"

port=$(free_port)
write_file_server
python3 "$work/file_server.py" "$port" "$size_mib" 8000000 0 &
server_pid=$!
url="http://127.0.0.1:$port/big.mp4"
wait_for "$url"
expected=$((size_mib * 1024 * 1024))

declare -A times peak
tools=(curl aria2c tarnfetch)
for tool in "${tools[@]}"; do times[$tool]=""; peak[$tool]=0; done
printf '%-6s %-10s %10s %12s\n' round tool seconds "peak RSS KB"
for round in $(seq "$rounds"); do
  for tool in "${tools[@]}"; do
    case $tool in
      curl) read -r secs rss < <(measure curl -sS --fail -o "$work/out/curl.mp4" "$url")
        file="$work/out/curl.mp4" ;;
      aria2c) read -r secs rss < <(measure aria2c -q -x4 -s4 --allow-overwrite=true \
          --auto-file-renaming=false -d "$work/out" -o aria2c.mp4 "$url")
        file="$work/out/aria2c.mp4" ;;
      tarnfetch) read -r secs rss < <(measure "$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s")
        file="$work/out/big.mp4" ;;
    esac
    check_size "$file"
    printf '%-6s %-10s %10s %12s\n' "$round" "$tool" "$secs" "$rss"
    times[$tool]+="$secs "
    ((rss > peak[$tool])) && peak[$tool]=$rss
  done
done

echo
echo "file: ${size_mib} MiB over loopback, each connection paced to 8 MB/s, best of $rounds"
declare -A best
for tool in "${tools[@]}"; do
  # shellcheck disable=SC2086
  read -r best[$tool] median < <(summary ${times[$tool]})
  printf '%-10s best %s s, median %s s, peak RSS %s KB\n' "$tool:" "${best[$tool]}" "$median" \
    "${peak[$tool]}"
done
vs_curl=$(time_ratio "${best[tarnfetch]}" "${best[curl]}")
vs_aria=$(time_ratio "${best[tarnfetch]}" "${best[aria2c]}")
echo "time ratio tarnfetch/curl: $vs_curl (target <= 0.35)"
echo "time ratio tarnfetch/aria2c: $vs_aria (target <= 1.10)"
ok=1
awk -v r="$vs_curl" 'BEGIN { exit !(r <= 0.35) }' || { echo "MISSED: time target against curl"; ok=0; }
awk -v r="$vs_aria" 'BEGIN { exit !(r <= 1.10) }' || { echo "MISSED: time target against aria2c"; ok=0; }
((peak[tarnfetch] < 40000)) || { echo "MISSED: memory target (40 MB)"; ok=0; }
((ok)) && echo "all targets met"
((ok))
