#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and
# the npm packages of the browser extension's tests (into
# tests/browser/node_modules), only those that are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev libssl-dev nlohmann-json3-dev libexpat1-dev
  libsqlite3-dev libsecret-1-dev libpsl-dev publicsuffix
  ffmpeg xvfb xauth fonts-dejavu-core fonts-liberation2
  clang libclang-rt-14-dev
  dbus time curl python3
  yt-dlp gpgv gnupg
  chromium
)
# Node.js and npm run the extension's tests; a machine may have them from
# elsewhere than Debian.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# web-ext (the extension's lint) and puppeteer-core (drives chromium), at
# the versions tests/browser/package.json names. No lock file is kept.
tools=tests/browser/node_modules
if [ ! -x "$tools/.bin/web-ext" ] || [ ! -f "$tools/puppeteer-core/package.json" ]; then
  echo "Installing the browser tests' npm packages into $tools"
  npm install --prefix tests/browser --no-package-lock --no-audit --no-fund --loglevel=error
fi
