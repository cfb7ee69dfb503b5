#!/usr/bin/env bash
# The extension passes web-ext's lint for Firefox without errors. The one
# warning allowed: Firefox ignores the service worker that the Chromium
# browsers run, and runs the same file as its background script instead.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
web_ext=$source_dir/tests/browser/node_modules/.bin/web-ext
[ -x "$web_ext" ] || { echo "web-ext is missing: run scripts/install-deps.sh"; exit 1; }
report=$(mktemp)
trap 'rm -f "$report"' EXIT
"$web_ext" lint --source-dir "$source_dir/extension" --output json --no-config-discovery >"$report" ||
  { cat "$report"; exit 1; }
if grep -o '"code":"[A-Z_]*"' "$report" | grep -v BACKGROUND_SERVICE_WORKER_IGNORED; then
  cat "$report"; exit 1
fi
echo "web-ext lint: no errors, no unexpected warnings"
