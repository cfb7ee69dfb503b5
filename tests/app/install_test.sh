#!/usr/bin/env bash
# Installs into a temporary prefix, starts the installed program offscreen
# and checks that it found its downloader and skin.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
pid=

cmake --install "$build" --prefix "$work/prefix" >/dev/null
app="$work/prefix/lib/quillmarsh"
for f in quillmarsh quillmarsh-debug tarnfetch quillmarsh-browser-host default.skn; do
  [ -e "$app/$f" ] || { echo "missing from the application folder: $f"; exit 1; }
done
[ -L "$work/prefix/bin/quillmarsh" ] || { echo "no quillmarsh command on the path"; exit 1; }
[ -f "$work/prefix/share/applications/org.example.Quillmarsh.desktop" ] || { echo "no desktop entry"; exit 1; }
[ -f "$work/prefix/share/icons/hicolor/48x48/apps/quillmarsh.png" ] || { echo "no icon"; exit 1; }
grep -qx 'Exec=quillmarsh %U' "$work/prefix/share/applications/org.example.Quillmarsh.desktop" ||
  { echo "the desktop entry does not pass addresses"; exit 1; }
[ -f "$work/prefix/share/quillmarsh/browser-extension/manifest.json" ] || { echo "no browser extension"; exit 1; }
for manifest in lib/mozilla/native-messaging-hosts etc/chromium/native-messaging-hosts; do
  grep -qF "\"path\": \"$app/quillmarsh-browser-host\"" "$work/prefix/$manifest/org.example.quillmarsh.json" ||
    { echo "no host manifest in $manifest naming the installed host"; exit 1; }
done

# The debug program reports its start-up; a start that stops at a missing
# skin or downloader never reaches "startDownload".
mkdir -p "$work/home" "$work/run"
HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  "$app/quillmarsh-debug" >"$work/out.txt" 2>&1 &
pid=$!
report="$work/home/.local/share/Quillmarsh/qlmsh.report"
for _ in $(seq 1 100); do
  if [ -f "$report" ] && grep -q "startDownload" "$report"; then break; fi
  sleep 0.1
done
grep -q "startDownload" "$report" || { echo "the installed program did not finish its start-up"; cat "$work/out.txt"; exit 1; }
if grep -q "Part of this software is missing" "$report"; then
  echo "the installed program did not find its downloader"; exit 1
fi
kill -0 "$pid" || { echo "the installed program ended early"; exit 1; }
echo "installed program started with its downloader and skin"
