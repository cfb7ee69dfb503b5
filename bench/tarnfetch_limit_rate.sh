#!/usr/bin/env bash
# Downloads with --limit-rate 2M from an unthrottled loopback server: a
# file with tarnfetch's default connections (which adapt), the same file
# with --connections 8, and an HLS stream of the same size in 48 segments
# (joined as it comes, without ffmpeg). Reports each download's time and
# its fastest 5-second window, read from tarnfetch's progress lines.
#
#   bench/tarnfetch_limit_rate.sh [BUILD_DIR] [SIZE_MIB]
#
# Defaults: build, 24 MiB. Needs python3, curl and GNU time at
# /usr/bin/time. Targets: each download takes SIZE/2 s within -0.5 s and
# +1.5 s (11.5 to 13.5 s for 24 MiB), and no 5-second window comes more
# than 10 % over 2 MiB/s.
set -euo pipefail

build_dir=${1:-build}
size_mib=${2:-24}
tarnfetch="$build_dir/bin/tarnfetch"
limit=$((2 << 20))

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 curl
mkdir -p "$work/out" "$work/cache" "$work/nobin"
# The count a server settled on is not remembered from other runs.
export XDG_CACHE_HOME="$work/cache"
expected=$((size_mib * 1024 * 1024))

# paced.py TOTAL COMMAND...: runs the command, stamps its progress lines
# and prints "seconds fastest-5s-window-bytes-a-second".
cat >"$work/paced.py" <<'PY'
import re, subprocess, sys, time
total, command = int(sys.argv[1]), sys.argv[2:]
start = time.monotonic()
samples = [(0.0, 0.0)]
child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
for line in child.stdout:
    found = re.search(r"<speed> ([\d.]+)%", line)
    if found:
        samples.append((time.monotonic() - start, float(found.group(1)) / 100 * total))
if child.wait() != 0:
    sys.exit("run failed: " + " ".join(command))
elapsed = time.monotonic() - start
samples.append((elapsed, float(total)))

def at(t):  # bytes by time t, between the samples around it
    for (t0, b0), (t1, b1) in zip(samples, samples[1:]):
        if t0 <= t <= t1:
            return b0 if t1 == t0 else b0 + (b1 - b0) * (t - t0) / (t1 - t0)
    return float(total)

starts = [t for t, _ in samples if t + 5 <= elapsed] + [t - 5 for t, _ in samples if t >= 5]
fastest = max((at(t + 5) - at(t)) / 5 for t in starts) if starts else total / elapsed
print(f"{elapsed:.2f} {fastest:.0f}")
PY

run() {  # run NAME FILE COMMAND...: one download, its figures, its size check
  local name=$1 file=$2 secs fastest
  shift 2
  read -r secs fastest < <(python3 "$work/paced.py" "$expected" "$@")
  check_size "$file"
  printf '%-28s %8s s %12s B/s\n' "$name" "$secs" "$fastest"
  results+=("$secs $fastest $name")
}
results=()

port=$(free_port)
write_file_server
python3 "$work/file_server.py" "$port" "$size_mib" 0 0 &
server_pid=$!
url="http://127.0.0.1:$port/big.mp4"
wait_for "$url"
run "file, adaptive connections" "$work/out/big.mp4" \
  "$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s" --limit-rate 2M
run "file, 8 connections" "$work/out/big.mp4" \
  "$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s" --limit-rate 2M --connections 8
kill "$server_pid" && wait "$server_pid" 2>/dev/null || true

# 48 segments of equal size and length, their bytes joined as they are.
mkdir -p "$work/www"
segment=$((expected / 48))
expected=$((segment * 48))
{
  echo "#EXTM3U"
  echo "#EXT-X-TARGETDURATION:2"
  for i in $(seq -w 0 47); do
    head -c "$segment" /dev/urandom >"$work/www/seg$i.ts"
    printf '#EXTINF:2.0,\nseg%s.ts\n' "$i"
  done
  echo "#EXT-X-ENDLIST"
} >"$work/www/index.m3u8"
start_slow_server "$work/www"
wait_for_any "http://127.0.0.1:$port/index.m3u8"
run "HLS, 48 segments" "$work/out/index.ts" \
  env PATH="$work/nobin" "$tarnfetch" "http://127.0.0.1:$port/index.m3u8" \
  -p "$work/out/%(title)s.%(ext)s" --limit-rate 2M

echo
echo "${size_mib} MiB at --limit-rate 2M over loopback"
low=$(awk -v m="$size_mib" 'BEGIN { print m / 2 - 0.5 }')
high=$(awk -v m="$size_mib" 'BEGIN { print m / 2 + 1.5 }')
ok=1
for result in "${results[@]}"; do
  read -r secs fastest name <<<"$result"
  awk -v s="$secs" -v lo="$low" -v hi="$high" 'BEGIN { exit !(s >= lo && s <= hi) }' ||
    { echo "MISSED: $name took $secs s (target $low to $high s)"; ok=0; }
  awk -v f="$fastest" -v l="$limit" 'BEGIN { exit !(f <= 1.1 * l) }' ||
    { echo "MISSED: $name had a 5-second window at $fastest B/s (target <= 110 % of $limit)"; ok=0; }
done
((ok)) && echo "all targets met"
((ok))
