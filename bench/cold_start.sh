#!/usr/bin/env bash
# tarnfetch from a cold start (fresh HOME and XDG folders: no connection
# count remembered, no cache) beside other programs on four loopback
# workloads, ROUNDS rounds with the order of the programs rotated each round:
#   paced   96 MiB, each connection paced to 8 MB/s: aria2c -x16 -s16 -k1M
#   hls     an HLS stream of 240 segments, each answered after 50 ms:
#           yt-dlp -N 16 (native), ffmpeg -c copy
#   dash    a DASH stream of 60 + 60 segments, each answered after 50 ms:
#           yt-dlp -N 16 (native), ffmpeg -c copy
#   gib     1 GiB unthrottled: aria2c -x16 -s16 -k1M, curl
# and the 429 host (96 MiB paced, 429 to a third request at a time):
# tarnfetch's default against tarnfetch --connections 2.
#
# Every file is compared byte for byte with what the server sent (zeros);
# every stream is counted packet by packet against ffmpeg's local copy of
# the served stream. A missing peer (aria2c: Debian package aria2; yt-dlp:
# package yt-dlp) is named and skipped.
#
#   bench/cold_start.sh [BUILD_DIR] [ROUNDS] [WORKLOAD...]
#
# Defaults: build, 3 rounds, every workload. Prints each run, then per
# workload the best times, each peer's ratio to tarnfetch and each ratio to
# the workload's limit: the least time the workload allows (paced: the file
# over 16 connections at their pace; the streams: 16 answers at a time, with
# the transfer and the join; gib: this machine's loopback at one copy), as
# measured when the workloads were set. Targets: tarnfetch within 1.2 times
# each limit and ahead of each peer, the 429 host at most 1.05 times
# --connections 2, tarnfetch's own peak memory at most 20 MB.
set -euo pipefail

build_dir=${1:-build}
rounds=${2:-3}
shift $(($# < 2 ? $# : 2))
workloads=("$@")
((${#workloads[@]})) || workloads=(paced hls dash gib limit429)
tarnfetch=$(realpath "$build_dir/bin/tarnfetch")

. "$(dirname "$0")/lib.sh"
require_tools "$tarnfetch" python3 curl ffmpeg ffprobe cmp
declare -A limit=([paced]=0.79 [hls]=0.86 [dash]=0.53 [gib]=1.07)
peers_paced=(aria2c)
peers_hls=(ytdlp ffmpeg)
peers_dash=(ytdlp ffmpeg)
peers_gib=(aria2c curl)
have() { command -v "$1" >/dev/null; }
have aria2c || echo "aria2c not installed (Debian package aria2): skipped"
have yt-dlp || echo "yt-dlp not installed (Debian package yt-dlp): skipped"
mkdir -p "$work/out"
# serve_dash: 60 two-second segments each of picture and sound.
serve_dash() {
  mkdir -p "$work/dash"
  ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440 -t 120 \
    -c:v libx264 -preset veryfast -g 50 -c:a aac -map 0 -map 1 -f dash -seg_duration 2 \
    -use_timeline 0 -adaptation_sets "id=0,streams=v id=1,streams=a" "$work/dash/index.mpd"
  start_slow_server "$work/dash"
  servers+=("$server_pid")
  url="http://127.0.0.1:$port/index.mpd"
  wait_for_any "$url"
}

runs=0
# timed NAME CMD...: runs CMD under GNU time; prints "seconds tree_KB own_KB
# status": own_KB is the first process's own peak (its children not counted).
timed() {
  local stats="$work/time.txt" status=0 pid child own
  shift
  /usr/bin/time -v -o "$stats" "$@" >"$work/run.txt" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    child=$(pgrep -P "$pid" | head -n 1) && break
    sleep 0.005
  done
  own=$([[ -n $child ]] && peak_rss_of "$child" || echo 0)
  wait "$pid" || status=$?
  awk -F': ' -v failed=$status -v own="$own" '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i] }
    /Maximum resident set size/ { rss = $2 }
    END { printf "%.2f %d %d %d\n", s, rss, own, failed }' "$stats"
}

# fresh: starts cmd with a fresh home for the run (nothing remembered
# from an earlier one). Not in a subshell: the count must go up.
fresh() {
  runs=$((runs + 1))
  local home="$work/home$runs"
  mkdir -p "$home"
  cmd=(env HOME="$home" XDG_CACHE_HOME="$home/.cache" XDG_CONFIG_HOME="$home/.config"
    XDG_DATA_HOME="$home/.local/share")
}

# command_for TOOL WORKLOAD: sets cmd (array) and result (the file it writes).
command_for() {
  local tool=$1 kind=$2
  result="$work/out/$tool.mp4"
  case $tool in
    tarnfetch)
      result="$work/out/$(basename "${url%.*}").mp4"
      fresh
      cmd+=("$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s") ;;
    two)
      result="$work/out/big.mp4"
      fresh
      cmd+=("$tarnfetch" "$url" -p "$work/out/%(title)s.%(ext)s" --connections 2) ;;
    aria2c) cmd=(aria2c -q -x16 -s16 -k1M --allow-overwrite=true -d "$work/out" -o aria2c.mp4 "$url") ;;
    curl) cmd=(curl -sS --fail -o "$result" "$url") ;;
    ffmpeg) cmd=(ffmpeg -nostdin -v error -y -i "$url" -c copy "$result") ;;
    ytdlp)
      fresh
      cmd+=(yt-dlp --ignore-config --no-cache-dir -q --no-progress -N 16 --hls-prefer-native
        --merge-output-format mp4 -o "$work/out/ytdlp.%(ext)s" "$url") ;;
  esac
}

# packets FILE...: "type,count" of each stream, read packet by packet.
packets() {
  local file
  for file in "$@"; do
    ffprobe -v error -count_packets -show_entries stream=codec_type,nb_read_packets -of csv=p=0 "$file"
  done | sort | tr '\n' ' '
}

# check_result KIND FILE: byte for byte (files of zeros) or packet by packet.
check_result() {
  local kind=$1 file=$2 size
  case $kind in
    paced | gib | limit429)
      size=$(stat -c %s "$file" 2>/dev/null || echo 0)
      [[ $size -eq $expected ]] && cmp -s -n "$expected" "$file" /dev/zero ||
        { echo "    DIFFERS: $file ($size bytes, expected $expected zeros)"; return 1; } ;;
    *)
      [[ $(packets "$file") == "$reference" ]] ||
        { echo "    DIFFERS: $file has $(packets "$file"), expected $reference"; return 1; } ;;
  esac
}


# run_workload KIND TOOL...: ROUNDS rounds, the order rotated each round;
# best times in best[TOOL], tarnfetch's largest own memory in own_peak.
declare -A best
run_workload() {
  local kind=$1 tools=("${@:2}") round i n tool secs tree own failed
  n=${#tools[@]}
  best=()
  own_peak=0
  printf '  %-6s %-10s %8s %12s %12s\n' round program seconds "tree KB" "own KB"
  for round in $(seq "$rounds"); do
    for ((i = 0; i < n; i++)); do
      tool=${tools[$(((i + round - 1) % n))]}
      command_for "$tool" "$kind"
      rm -rf "$work/out" && mkdir -p "$work/out"
      read -r secs tree own failed < <(timed "$tool" "${cmd[@]}")
      # Without children GNU time's figure is its own, and catches the last
      # moments the sampling may miss.
      if [[ $kind != hls && $kind != dash ]] && ((tree > own)); then own=$tree; fi
      # A peer whose copy differs is named, and its time still shown.
      if ((failed == 0)) && [[ $tool != tarnfetch && $tool != two ]]; then
        check_result "$kind" "$result" || true
      elif ((failed)) || ! check_result "$kind" "$result"; then
        echo "    $tool failed (status $failed):"; tail -n 3 "$work/run.txt" | sed 's/^/      /'
        ok=0
        continue
      fi
      printf '  %-6s %-10s %8s %12s %12s\n' "$round" "$tool" "$secs" "$tree" "$own"
      if [[ -z ${best[$tool]:-} ]] || awk -v a="$secs" -v b="${best[$tool]}" 'BEGIN { exit !(a < b) }'; then
        best[$tool]=$secs
      fi
      if [[ $tool == tarnfetch ]] && ((own > own_peak)); then own_peak=$own; fi
    done
  done
}

# report KIND: the best times, ratios and targets of one workload.
report() {
  local kind=$1 tool tarn=${best[tarnfetch]:-}
  [[ -n $tarn ]] || { echo "  MISSED: tarnfetch never finished"; ok=0; return; }
  echo "  tarnfetch best $tarn s, $(time_ratio "$tarn" "${limit[$kind]}")x the limit of ${limit[$kind]} s"
  for tool in "${!best[@]}"; do
    [[ $tool == tarnfetch ]] && continue
    echo "  $tool best ${best[$tool]} s, $(time_ratio "${best[$tool]}" "${limit[$kind]}")x the limit;" \
      "tarnfetch/$tool $(time_ratio "$tarn" "${best[$tool]}")"
    check_target "tarnfetch/$tool" "$(time_ratio "$tarn" "${best[$tool]}")" 1.00
  done
  check_target "tarnfetch/limit" "$(time_ratio "$tarn" "${limit[$kind]}")" 1.20
  check_target "tarnfetch own peak KB" "$own_peak" 20480
}

# The peers of a workload that are installed.
present() {
  local tool
  for tool in "$@"; do
    case $tool in
      aria2c) have aria2c && echo aria2c ;;
      ytdlp) have yt-dlp && echo ytdlp ;;
      *) echo "$tool" ;;
    esac
  done
}

for kind in "${workloads[@]}"; do
  case $kind in
    paced)
      echo "paced: 96 MiB, each connection paced to 8 MB/s"
      serve_file 96 8000000 0
      expected=$((96 << 20))
      mapfile -t peers < <(present "${peers_paced[@]}") ;;
    gib)
      echo "gib: 1 GiB unthrottled"
      serve_file 1024 0 0
      expected=$((1024 << 20))
      mapfile -t peers < <(present "${peers_gib[@]}") ;;
    limit429)
      echo "limit429: 96 MiB paced to 8 MB/s a connection, 429 for a third request at a time"
      serve_file 96 8000000 2
      expected=$((96 << 20))
      peers=(two) ;;
    hls)
      echo "hls: 240 segments, each answered after 50 ms"
      serve_hls 240 24
      servers+=("$server_pid")
      ffmpeg -v error -i "$work/www/index.m3u8" -c copy "$work/reference.mp4"
      reference=$(packets "$work/reference.mp4")
      mapfile -t peers < <(present "${peers_hls[@]}") ;;
    dash)
      echo "dash: 60 + 60 segments, each answered after 50 ms"
      serve_dash
      # The segments the manifest lists (ffmpeg's encoder wrote one more of sound).
      for stream in 0 1; do
        cat "$work/dash/init-stream$stream.m4s" "$work/dash/chunk-stream$stream-"000{01..60}.m4s \
          >"$work/reference$stream.mp4"
      done
      reference=$(packets "$work/reference0.mp4" "$work/reference1.mp4")
      mapfile -t peers < <(present "${peers_dash[@]}") ;;
    *) echo "unknown workload: $kind" >&2; exit 2 ;;
  esac
  run_workload "$kind" tarnfetch "${peers[@]}"
  if [[ $kind == limit429 ]]; then
    [[ -n ${best[tarnfetch]:-} && -n ${best[two]:-} ]] || { ok=0; continue; }
    echo "  tarnfetch best ${best[tarnfetch]} s, --connections 2 best ${best[two]} s"
    check_target "tarnfetch/--connections 2" "$(time_ratio "${best[tarnfetch]}" "${best[two]}")" 1.05
    check_target "tarnfetch own peak KB" "$own_peak" 20480
  else
    report "$kind"
  fi
  stop_servers
done

((ok)) && echo "all targets met"
((ok))
