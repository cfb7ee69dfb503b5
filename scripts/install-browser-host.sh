#!/usr/bin/env bash
# Lets this user's browsers start Quillmarsh's native messaging host, for an
# installation outside /usr (the Debian package does this for every user):
# writes the host's manifest into the user's folders of Firefox and of the
# Chromium browsers in use (Firefox and Chromium when none is found).
#   scripts/install-browser-host.sh [HOST_PROGRAM]   # default: installed, else build/bin
#   scripts/install-browser-host.sh --remove
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
name=org.example.quillmarsh.json
config=${XDG_CONFIG_HOME:-$HOME/.config}
firefox=$HOME/.mozilla
chromium_family=("$config/chromium" "$config/google-chrome" "$config/BraveSoftware/Brave-Browser"
  "$config/vivaldi" "$config/microsoft-edge")

if [ "${1:-}" = --remove ]; then
  for dir in "$firefox/native-messaging-hosts" "${chromium_family[@]/%//NativeMessagingHosts}"; do
    [ -f "$dir/$name" ] && rm -f "$dir/$name" && echo "removed $dir/$name"
  done
  exit 0
fi

host=${1:-}
if [ -z "$host" ]; then
  for candidate in /usr/local/lib/quillmarsh /opt/quillmarsh/lib/quillmarsh "$source_dir/build/bin"; do
    if [ -x "$candidate/quillmarsh-browser-host" ]; then host=$candidate/quillmarsh-browser-host; break; fi
  done
fi
if [ -z "$host" ] || [ ! -x "$host" ]; then
  echo "quillmarsh-browser-host not found: build Quillmarsh first, or name the program" >&2
  exit 1
fi
host=$(realpath "$host")
escaped=$(printf '%s' "$host" | sed 's/[&|\\]/\\&/g')

# write TEMPLATE FOLDER
write() {
  mkdir -p "$2"
  sed "s|@HOST_PATH@|$escaped|" "$source_dir/resources/browser/$1" >"$2/$name"
  echo "wrote $2/$name"
}

wrote=0
if [ -d "$firefox" ]; then write firefox-host.json.in "$firefox/native-messaging-hosts"; wrote=1; fi
for browser in "${chromium_family[@]}"; do
  if [ -d "$browser" ]; then write chromium-host.json.in "$browser/NativeMessagingHosts"; wrote=1; fi
done
if [ "$wrote" = 0 ]; then
  write firefox-host.json.in "$firefox/native-messaging-hosts"
  write chromium-host.json.in "$config/chromium/NativeMessagingHosts"
fi
