# Shared set-up of the benchmark scripts (sourced, not run): checks for
# the tools, a work folder removed at exit together with the server whose
# pid is put in server_pid, a free port, waiting for the server, the size
# check of a download and the timing of one run.

# require_tools TARNFETCH TOOL...: ends with status 2 when one is missing.
require_tools() {
  local tarnfetch=$1 need
  shift
  for need in "$@"; do
    command -v "$need" >/dev/null || { echo "missing: $need" >&2; exit 2; }
  done
  [[ -x /usr/bin/time ]] || { echo "missing: /usr/bin/time (apt-get install time)" >&2; exit 2; }
  [[ -x $tarnfetch ]] || { echo "missing: $tarnfetch (build the tarnfetch target)" >&2; exit 2; }
}

work=$(mktemp -d)
server_pid=
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Prints "seconds kilobytes" for one run of the given command.
measure() {
  local stats="$work/time.txt"
  /usr/bin/time -v -o "$stats" "$@" >/dev/null 2>&1 || { echo "run failed: $*" >&2; exit 1; }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i] }
    /Maximum resident set size/ { rss = $2 }
    END { printf "%.2f %d\n", s, rss }' "$stats"
}

# time_ratio T C: T / C to two places (0 when C is 0).
time_ratio() { awk -v t="$1" -v c="$2" 'BEGIN { printf "%.2f", (c > 0 ? t / c : 0) }'; }

# check_target NAME VALUE LIMIT: says whether VALUE <= LIMIT; ok=0 when not.
ok=1
check_target() {
  if awk -v v="$2" -v l="$3" 'BEGIN { exit !(v <= l) }'; then
    echo "  met: $1 $2 <= $3"
  else
    echo "  MISSED: $1 $2 > $3"
    ok=0
  fi
}

# "best median" of a list of seconds
summary() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[1], v[int((NR + 1) / 2)] }'; }

# wait_for URL: until the server answers (at most 5 s).
wait_for() {
  for _ in $(seq 50); do
    curl -sf -o /dev/null -r 0-0 "$1" && return
    sleep 0.1
  done
}

# check_size FILE: the download has $expected bytes; then it is removed.
check_size() {
  local got
  got=$(stat -c %s "$1")
  [[ $got -eq $expected ]] || { echo "wrong size $got for $1" >&2; exit 1; }
  rm -f "$1"
}

# start_slow_server DIR: serves DIR on a free port (put in port), answering
# each segment (.ts, .m4s) after 50 ms, as a busy streaming server does.
start_slow_server() {
  port=$(free_port)
  cat >"$work/slow_server.py" <<'PY'
import http.server, socket, sys, time

class Slow(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    extensions_map = {".m3u8": "application/vnd.apple.mpegurl", ".ts": "video/mp2t",
                      ".mpd": "application/dash+xml", ".m4s": "video/iso.segment",
                      ".mp4": "video/mp4"}

    def setup(self):
        super().setup()
        # Head and body go out in separate writes; without this each answer
        # waits for the client's delayed acknowledgement.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def do_GET(self):
        if self.path.endswith((".ts", ".m4s")):
            time.sleep(0.05)
        super().do_GET()

    def log_message(self, *args):
        pass

class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 64  # the default 5 drops the SYNs of parallel connections

Server(("127.0.0.1", int(sys.argv[1])), Slow).serve_forever()
PY
  (cd "$1" && exec python3 "$work/slow_server.py" "$port") &
  server_pid=$!
}

# wait_for_any URL: until the server answers a plain GET (at most 5 s).
wait_for_any() {
  for _ in $(seq 50); do
    python3 -c "import urllib.request,sys; urllib.request.urlopen(sys.argv[1])" "$1" 2>/dev/null &&
      return
    sleep 0.1
  done
}

# check_duration FILE SECONDS: the file plays that long (within a second);
# then it is removed.
check_duration() {
  local seconds
  seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$1")
  awk -v s="$seconds" -v want="$2" 'BEGIN { exit !(s > want - 1 && s < want + 1) }' ||
    { echo "wrong duration $seconds for $1" >&2; exit 1; }
  rm -f "$1"
}

# peak_rss_of PID: follows the process until it ends and prints the last
# high-water mark of its resident memory it saw, in KB (its children not
# counted).
peak_rss_of() {
  local peak=0 seen
  while kill -0 "$1" 2>/dev/null; do
    seen=$(awk '/^VmHWM:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true)
    [[ -n $seen ]] && ((seen > peak)) && peak=$seen
    sleep 0.05
  done
  echo "$peak"
}

# write_file_server: writes $work/file_server.py, a file of zeros served
# over ranges, to be run as `python3 $work/file_server.py PORT MIB RATE
# MOST`: RATE bytes a second per connection (0: as fast as it goes), MOST
# requests at a time before it answers 429 (0: any). GET /connections
# tells how many connections asked for the file since the last time it was
# asked.
write_file_server() {
  cat >"$work/file_server.py" <<'PY'
import http.server, re, socket, sys, threading, time

PORT, SIZE, RATE, MOST = int(sys.argv[1]), int(sys.argv[2]) << 20, int(sys.argv[3]), int(sys.argv[4])
CHUNK = bytes(64 << 10) if RATE else bytes(1 << 20)
lock = threading.Lock()
state = {"active": 0, "connections": 0}

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.started = time.monotonic()
        self.sent = 0
        self.counted = False

    def do_GET(self):
        if self.path == "/connections":
            with lock:
                body = str(state["connections"]).encode()
                state["connections"] = 0
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with lock:
            if not self.counted:
                state["connections"] += 1
                self.counted = True
            refused = MOST and state["active"] >= MOST
            if not refused:
                state["active"] += 1
        if refused:
            self.send_response(429)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        try:
            self.send(re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "")))
        finally:
            with lock:
                state["active"] -= 1

    def send(self, match):
        first, last = 0, SIZE - 1
        if match:
            first = int(match.group(1))
            if match.group(2):
                last = min(int(match.group(2)), SIZE - 1)
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {first}-{last}/{SIZE}")
        else:
            self.send_response(200)
        self.send_header("Content-Type", "video/mp4")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        left = last - first + 1
        try:
            while left > 0:
                piece = CHUNK[: min(left, len(CHUNK))]
                self.wfile.write(piece)
                left -= len(piece)
                self.sent += len(piece)
                ahead = self.started + self.sent / RATE - time.monotonic() if RATE else 0
                if ahead > 0:
                    time.sleep(ahead)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def log_message(self, *args):
        pass

class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

Server(("127.0.0.1", PORT), Handler).serve_forever()
PY
}

# Servers started by serve_file (or added by the script); stopped by
# stop_servers and at exit.
servers=()
stop_servers() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  servers=()
}
trap 'stop_servers; cleanup' EXIT

# serve_file MIB RATE MOST: starts write_file_server's server (written
# first); its address goes in url, that of its connection count in
# connections_url (read once, so it counts from now on).
serve_file() {
  local port
  [[ -f $work/file_server.py ]] || write_file_server
  port=$(free_port)
  python3 "$work/file_server.py" "$port" "$@" &
  servers+=($!)
  url="http://127.0.0.1:$port/big.mp4"
  connections_url="http://127.0.0.1:$port/connections"
  wait_for "$url"
  curl -s -o /dev/null "$connections_url"
}

# serve_hls SEGMENTS FPS: 120 s of small video with sound cut into SEGMENTS
# MPEG-TS segments, a key frame at each cut, served by start_slow_server;
# url is the playlist's address.
serve_hls() {
  local segments=$1 fps=$2 length made
  length=$(awk -v n="$segments" 'BEGIN { print 120 / n }')
  mkdir -p "$work/www"
  ffmpeg -v error -f lavfi -i "testsrc=size=320x240:rate=$fps" -f lavfi -i sine=frequency=440 \
    -t 120 -c:v libx264 -preset veryfast -g "$(awk -v l="$length" -v f="$fps" 'BEGIN { print l * f }')" \
    -c:a aac -f hls -hls_time "$length" -hls_playlist_type vod \
    -hls_segment_filename "$work/www/seg%03d.ts" "$work/www/index.m3u8"
  made=$(grep -c '^seg' "$work/www/index.m3u8")
  [[ $made -eq $segments ]] || { echo "expected $segments segments, made $made" >&2; exit 1; }
  start_slow_server "$work/www"
  url="http://127.0.0.1:$port/index.m3u8"
  wait_for_any "$url"
}
