#!/usr/bin/env bash
# The extension end to end: chromium (headless) runs it, its handler for a
# video's context menu reaches the native host, and the running Quillmarsh
# adds the mission. Skipped (77) only when chromium cannot start at all on
# this machine; a missing browser or npm package is a failure of the set-up.
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$source_dir/tests/browser/node_modules/puppeteer-core/package.json" ] ||
  { echo "puppeteer-core is missing: run scripts/install-deps.sh"; exit 1; }
[ -x /usr/bin/chromium ] || { echo "chromium is missing: run scripts/install-deps.sh"; exit 1; }

work=$(mktemp -d)
pid=
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
no_sandbox=()
[ "$(id -u)" -eq 0 ] && no_sandbox=(--no-sandbox)
if ! timeout 120 chromium --headless "${no_sandbox[@]}" --user-data-dir="$work/probe" \
  --dump-dom about:blank >/dev/null 2>"$work/probe.log"; then
  echo "skipped: chromium cannot start on this machine:"; tail -5 "$work/probe.log"
  exit 77
fi

mkdir -p "$work/home" "$work/config" && mkdir -m 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config
"$source_dir/scripts/install-browser-host.sh" "$build/bin/quillmarsh-browser-host" >/dev/null
QT_QPA_PLATFORM=offscreen TARNFETCH_TEST_RELEASE_URL=http://127.0.0.1:9/ \
  "$build/bin/quillmarsh" >"$work/quillmarsh.log" 2>&1 &
pid=$!
for _ in $(seq 1 300); do [ -S "$work/run/qlmsh.socket" ] && break; sleep 0.1; done
[ -S "$work/run/qlmsh.socket" ] || { echo "Quillmarsh did not start listening"; cat "$work/quillmarsh.log"; exit 1; }

node "$source_dir/tests/browser/end_to_end.mjs" "$source_dir/extension" "$work/config/chromium" \
  >"$work/out.txt" 2>"$work/err.txt" || { cat "$work/out.txt" "$work/err.txt"; exit 1; }
{ read -r answer; read -r video; } <"$work/out.txt"
[[ "$answer" == *'"ok":true'* && "$answer" == *'"added":1'* ]] || { echo "the host answered: $answer"; cat "$work/err.txt"; exit 1; }

# The mission is in the running Quillmarsh: its list, saved as it starts it.
ini=$work/home/.local/share/Quillmarsh/qlmsh.ini
for _ in $(seq 1 200); do grep -qF "url=$video" "$ini" 2>/dev/null && break; sleep 0.1; done
grep -qF "url=$video" "$ini" || { echo "no mission for $video in the list"; cat "$ini"; exit 1; }
echo "the extension's menu handler added $video to the running Quillmarsh"
