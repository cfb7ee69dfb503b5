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
