#!/usr/bin/env bash
# Builds what the benchmarks need (into an existing build folder, or a new
# RelWithDebInfo one), runs every benchmark and ends with a table of the
# figures beside their targets.
#
#   bench/run_all.sh [--quick] [--tarnfetch-mib N] [BUILD_DIR]
#
# BUILD_DIR defaults to build. The tarnfetch comparison downloads 1024 MiB
# over loopback, 3 rounds; --quick makes it 64 MiB and 1 round, and
# --tarnfetch-mib sets the size. The HLS comparison fetches a 60-segment
# stream with tarnfetch and ffmpeg; the connections comparison a 96 MiB file
# paced to 8 MB/s a connection with tarnfetch, curl and aria2c (1 round
# with --quick); the speed limit a 24 MiB file and a 48-segment stream at
# --limit-rate 2M. Exit status 0 only when every benchmark ran and every
# target was met. Needs python3, curl, ffmpeg, aria2c and /usr/bin/time
# (Debian packages python3, curl, ffmpeg, aria2, time) besides the build's
# own packages.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
tarn_mib=1024
tarn_rounds=3
paced_rounds=3
while (($#)); do
  case $1 in
    --quick) tarn_mib=64; tarn_rounds=1; paced_rounds=1 ;;
    --tarnfetch-mib) tarn_mib=$2; shift ;;
    -h | --help) sed -n '2,16p' "$0"; exit 0 ;;
    *) build_dir=$1 ;;
  esac
  shift
done

missing=()
for need in python3 curl cmake ninja; do command -v "$need" >/dev/null || missing+=("$need"); done
[[ -x /usr/bin/time ]] || missing+=("/usr/bin/time (package time)")
if ((${#missing[@]})); then
  echo "missing: ${missing[*]}" >&2
  exit 2
fi

# One build at a time on this machine: the shared build folder is locked.
lock=/tmp/qm-build.lock
build() { flock "$lock" "$@"; }
if [[ ! -f $build_dir/CMakeCache.txt ]]; then
  build cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
bench_targets=()
for src in bench/*_bench.cpp; do bench_targets+=("$(basename "$src" .cpp)"); done
echo "== building: ${bench_targets[*]} quillmarsh_startup_probe tarnfetch"
build cmake --build "$build_dir" -j "$(nproc)" --target "${bench_targets[@]}" \
  quillmarsh_startup_probe tarnfetch quillmarsh_skin | tail -n 1

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=()

for target in "${bench_targets[@]}"; do
  echo
  echo "== $target"
  # The list benchmarks paint; no display is needed for that.
  if ! QT_QPA_PLATFORM=offscreen QM_BUILD_DIR=$(realpath "$build_dir") \
    "$build_dir/bench-bin/$target" --benchmark_out="$out/$target.json" \
    --benchmark_out_format=json; then
    failed+=("$target")
  fi
done

echo
echo "== tarnfetch_vs_curl.sh ($tarn_mib MiB, $tarn_rounds rounds)"
bash bench/tarnfetch_vs_curl.sh "$build_dir" "$tarn_mib" "$tarn_rounds" | tee "$out/tarnfetch.txt" ||
  true

echo
echo "== tarnfetch_connections.sh (96 MiB paced to 8 MB/s a connection, $paced_rounds rounds)"
bash bench/tarnfetch_connections.sh "$build_dir" 96 "$paced_rounds" | tee "$out/connections.txt" ||
  true

echo
echo "== tarnfetch_adaptive.sh (adaptive connections: paced, 429, unthrottled, 240 segments)"
bash bench/tarnfetch_adaptive.sh "$build_dir" | tee "$out/adaptive.txt" || true

echo
echo "== tarnfetch_limit_rate.sh (--limit-rate 2M: 24 MiB file, 8 connections, 48 segments)"
bash bench/tarnfetch_limit_rate.sh "$build_dir" 24 | tee "$out/limit.txt" || true

echo
echo "== hls_vs_ffmpeg.sh (60 segments, 3 rounds)"
bash bench/hls_vs_ffmpeg.sh "$build_dir" 3 | tee "$out/hls.txt" || true

echo
echo "== dash_vs_ffmpeg.sh (60 segments each of picture and sound, 3 rounds)"
bash bench/dash_vs_ffmpeg.sh "$build_dir" 3 | tee "$out/dash.txt" || true

echo
machine="$(nproc) CPUs, $(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1), \
$(awk '/^MemTotal:/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo) GiB memory, $(. /etc/os-release && echo "$PRETTY_NAME"), \
load average at the end $(cut -d' ' -f1-3 /proc/loadavg), build $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build_dir/CMakeCache.txt" | grep . || echo RelWithDebInfo)"
python3 - "$out" "$machine" "$tarn_mib" "${failed[@]}" <<'PY'
import json, os, re, sys

out, machine, tarn_mib, failed = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]

benches = {}
for name in os.listdir(out):
    if name.endswith(".json"):
        with open(os.path.join(out, name)) as f:
            for b in json.load(f).get("benchmarks", []):
                benches[b["name"]] = b

def find(prefix):
    for name, b in benches.items():
        if name.startswith(prefix) and not b.get("error_occurred"):
            return b
    return None

def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale

rows = []  # figure, measured value, unit, comparison, target
def add(figure, bench, value, unit, op, target):
    b = find(bench)
    rows.append((figure, value(b) if b else None, unit, op, target))

add("start-up, 100,000 missions: window shown (median of 5)", "BM_StartupWith100kMissions",
    lambda b: b["shown_ms_median"], "ms", "<", 2000)
add("start-up, 100,000 missions: list painted (median of 5)", "BM_StartupWith100kMissions",
    lambda b: b["painted_ms_median"], "ms", "<", 2000)
add("start-up, 100,000 missions: peak RSS", "BM_StartupWith100kMissions",
    lambda b: b["peak_rss_MB"], "MiB", "<", 500)
add("list: add 100,000 rows, view shown", "BM_Add100kRowsShownInView", ms, "ms", "<", 1000)
add("list: urlExists, last of 100,000 rows", "BM_UrlExistsLastRow", ms, "ms", "<", 10)
add("list: first paint, 100,000 rows", "BM_FirstPaintOf100kRows", ms, "ms", "<", 100)
add("list: repaint, 100,000 rows", "BM_RepaintOf100kRows", ms, "ms", "<", 16)
add("list: memory of 100,000 rows in a view", "BM_MemoryOf100kRowsInView",
    lambda b: b["rss_growth_MiB"], "MiB", "<", 200)
add("file: LoadMissionFile, 100,000 missions", "BM_LoadSettings", ms, "ms", "<", 1000)
add("file: SaveMissionFile, 100,000 missions", "BM_SaveSettings", ms, "ms", "<", 500)
add("history: load 100,000 entries", "BM_LoadHistory", ms, "ms", "<", 100)
add("8 downloads, scheduler pacing: UI timer late p99", "BM_EightBusyDownloads/0",
    lambda b: b["late_p99_ms"], "ms", "<", 50)
add("8 downloads, no wait: UI timer late p99", "BM_EightBusyDownloads/1",
    lambda b: b["late_p99_ms"], "ms", "<", 50)
add("8 downloads, no wait: UI timer late max", "BM_EightBusyDownloads/1",
    lambda b: b["late_max_ms"], "ms", "<", 100)
# The worker reads ffmpeg's output in passes of 100 ms: one pass plus the
# thread's start is the expected cost per conversion, whatever its length.
add("conversion: ffmpeg alone (20 s clip, mean of 6)", "BM_ConvertOverhead",
    lambda b: b["alone_s"] * 1000, "ms", "", None)
add("conversion: through the worker, added time", "BM_ConvertOverhead",
    lambda b: (b["worker_s"] - b["alone_s"]) * 1000, "ms", "<", 150)
add("conversion: through the worker, added share", "BM_ConvertOverhead",
    lambda b: b["overhead_pct"], "%", "", None)
add("download chunks (500 B) read", "BM_DownloadChunks/500",
    lambda b: b["chunks_per_s"], "chunks/s", ">", 10000)
add("download chunks (500 B) read", "BM_DownloadChunks/500",
    lambda b: b["MB_per_s"], "MB/s", ">", 1)
add("download chunks (1 line) read", "BM_DownloadChunks/0",
    lambda b: b["chunks_per_s"], "chunks/s", ">", 10000)
add("ffmpeg chunks (2000 B) read", "BM_ConvertChunks/2000",
    lambda b: b["chunks_per_s"], "chunks/s", ">", 10000)
add("ffmpeg chunks (2000 B) read", "BM_ConvertChunks/2000",
    lambda b: b["MB_per_s"], "MB/s", ">", 1)
add("ffmpeg chunks (1 line) read", "BM_ConvertChunks/0",
    lambda b: b["chunks_per_s"], "chunks/s", ">", 10000)

tarn = open(os.path.join(out, "tarnfetch.txt")).read() if os.path.exists(
    os.path.join(out, "tarnfetch.txt")) else ""
ratio = re.search(r"time ratio tarnfetch/curl: ([0-9.]+)", tarn)
rss = re.search(r"tarnfetch: best [0-9.]+ s, median [0-9.]+ s, peak RSS (\d+) KB", tarn)
rows.append((f"tarnfetch/curl time, {tarn_mib} MiB on loopback",
             float(ratio.group(1)) if ratio else None, "x", "<=", 1.10))
rows.append(("tarnfetch peak RSS", int(rss.group(1)) if rss else None, "KB", "<", 20000))

for name, label in (("hls", "HLS"), ("dash", "DASH")):
    text = open(os.path.join(out, name + ".txt")).read() if os.path.exists(
        os.path.join(out, name + ".txt")) else ""
    ratio = re.search(r"time ratio tarnfetch/ffmpeg: ([0-9.]+)", text)
    rss = re.search(r"tarnfetch: best [0-9.]+ s, median [0-9.]+ s, peak RSS (\d+) KB", text)
    rows.append((f"{label}, 60 segments after 50 ms: tarnfetch/ffmpeg time",
                 float(ratio.group(1)) if ratio else None, "x", "<=", 0.35))
    rows.append((f"{label}: tarnfetch peak RSS", int(rss.group(1)) if rss else None, "KB", "<",
                 40000))

paced = open(os.path.join(out, "connections.txt")).read() if os.path.exists(
    os.path.join(out, "connections.txt")) else ""
for tool, target in (("curl", 0.35), ("aria2c", 1.10)):
    ratio = re.search(r"time ratio tarnfetch/%s: ([0-9.]+)" % tool, paced)
    rows.append((f"96 MiB paced to 8 MB/s: tarnfetch/{tool} time",
                 float(ratio.group(1)) if ratio else None, "x", "<=", target))
rss = re.search(r"tarnfetch: +best [0-9.]+ s, median [0-9.]+ s, peak RSS (\d+) KB", paced)
rows.append(("96 MiB paced: tarnfetch peak RSS", int(rss.group(1)) if rss else None, "KB", "<",
             40000))

limited = open(os.path.join(out, "limit.txt")).read() if os.path.exists(
    os.path.join(out, "limit.txt")) else ""
for run in ("file, adaptive connections", "file, 8 connections", "HLS, 48 segments"):
    found = re.search(re.escape(run) + r" +([0-9.]+) s +(\d+) B/s", limited)
    rows.append((f"--limit-rate 2M, 24 MiB {run}: time", float(found.group(1)) if found else None,
                 "s", "within", (11.5, 13.5)))
    rows.append((f"--limit-rate 2M, {run}: fastest 5 s", int(found.group(2)) / (2 << 20) * 100
                 if found else None, "% limit", "<=", 110))

def fmt(v):
    if v is None:
        return "-"
    if abs(v) >= 10000:
        return f"{v:,.0f}"
    return f"{v:.3g}" if abs(v) < 100 else f"{v:.0f}"

missed = 0
print(f"== Summary: {machine}")
print(f"{'figure':<52} {'measured':>12} {'target':>12}  {'unit':<8} result")
for figure, value, unit, op, target in rows:
    if value is None:
        verdict = "NOT RUN"
        missed += 1
    elif target is None:
        verdict = "(figure)"
    else:
        ok = {"<": lambda: value < target, "<=": lambda: value <= target,
              ">": lambda: value > target,
              "within": lambda: target[0] <= value <= target[1]}[op]()
        verdict = "met" if ok else "MISSED"
        missed += not ok
    if target is None:
        shown_target = "-"
    elif op == "within":
        shown_target = fmt(target[0]) + " to " + fmt(target[1])
    else:
        shown_target = op + " " + fmt(target)
    print(f"{figure:<52} {fmt(value):>12} {shown_target:>12}  {unit:<8} {verdict}")
if failed:
    print("benchmarks that failed to run: " + " ".join(failed))
print("all targets met" if missed == 0 and not failed else f"{missed} figure(s) missed or not run")
sys.exit(0 if missed == 0 and not failed else 1)
PY
