#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, starts the installed
# program and removes the package again. Needs root (skipped otherwise).
set -euo pipefail
build=$1
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "skipped: installing a package needs root and apt-get"
  exit 77
fi
if dpkg-query -W -f='${Status}' quillmarsh 2>/dev/null | grep -q "install ok installed"; then
  echo "skipped: a quillmarsh package is already installed on this machine"
  exit 77
fi
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq quillmarsh >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/quillmarsh_*.deb)
dpkg-deb -f "$deb" Depends | grep -q ffmpeg || { echo "the package does not depend on ffmpeg"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "the package does not depend on Qt"; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q yt-dlp || { echo "the package does not recommend yt-dlp"; exit 1; }
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null

[ -x /usr/bin/quillmarsh ] || { echo "quillmarsh is not on the path"; exit 1; }
# Every user's Firefox and Chromium find the extension's host.
for manifest in /usr/lib/mozilla/native-messaging-hosts /etc/chromium/native-messaging-hosts; do
  grep -qF '"path": "/usr/lib/quillmarsh/quillmarsh-browser-host"' "$manifest/org.example.quillmarsh.json" ||
    { echo "no host manifest in $manifest"; exit 1; }
done
mkdir -p "$work/home" "$work/run"
HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  /usr/lib/quillmarsh/quillmarsh-debug >/dev/null 2>&1 &
pid=$!
report="$work/home/.local/share/Quillmarsh/qlmsh.report"
for _ in $(seq 1 100); do
  [ -f "$report" ] && grep -q "startDownload" "$report" && break
  sleep 0.1
done
grep -q "startDownload" "$report" || { echo "the packaged program did not start"; exit 1; }
! grep -q "Part of this software is missing" "$report" || { echo "no downloader in the package"; exit 1; }
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=

DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq quillmarsh >/dev/null
if dpkg -L quillmarsh >/dev/null 2>&1 || [ -e /usr/bin/quillmarsh ] || [ -e /usr/lib/quillmarsh ] ||
  [ -e /etc/chromium/native-messaging-hosts/org.example.quillmarsh.json ]; then
  echo "removing the package left files behind"; exit 1
fi
echo "package built, installed, started and removed"
