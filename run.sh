#!/usr/bin/env bash
# Installs what is missing, builds and starts Quillmarsh.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Quillmarsh under Xvfb (a virtual X server)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/quillmarsh "$@"
fi
exec build/bin/quillmarsh "$@"
