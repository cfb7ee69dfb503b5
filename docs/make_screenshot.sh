#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window with a mission in every status
# (a paused one among them), on a virtual X screen of 1280x1024, grabbed with
# ffmpeg's x11grab and cropped to the window; docs/failure-tooltip.png: the
# same with the tooltip that tells why a mission failed;
# docs/scaled-200.png: the same window at 200 % (QT_SCALE_FACTOR=2); and
# docs/scaled-200-1024x768.png: at 200 % on a 1024x768 screen, where the
# window fits the screen and its controls scroll.
#
#   docs/make_screenshot.sh [BUILD_DIR]
#
# Builds the showcase program (tests/apptools/quillmarsh_showcase.cpp) into
# BUILD_DIR (default build), runs it from a scratch application folder and
# home folder, so no settings of the user are read or written. Needs the
# Debian packages xvfb, xauth and ffmpeg.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."

if [[ ${1:-} == --inside-x ]]; then
  # Second stage, on the virtual screen: $2 = the program to run, $3 = the
  # picture to make, then the program's own arguments.
  program=$2
  picture=$3
  shift 3
  coproc SHOWCASE { exec "$program" "$@" 2>/dev/null; }
  geometry=
  while IFS= read -r line <&"${SHOWCASE[0]}"; do
    case $line in
      READY\ *) geometry=${line#READY }; break ;;
      BOX*) echo "unexpected message box: $line" >&2 ;;
    esac
  done
  [[ -n $geometry ]] || { echo "the window did not come up" >&2; exit 1; }
  read -r x y w h <<<"$geometry"
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$SCREEN" -i "$DISPLAY" -frames:v 1 \
    -vf "crop=$w:$h:$x:$y" -compression_level 9 -pred mixed "$picture"
  # The end of its input tells the program to close.
  to_showcase=${SHOWCASE[1]}
  exec {to_showcase}>&-
  wait "$SHOWCASE_PID" || true
  exit 0
fi

build_dir=${1:-build}
for need in xvfb-run xauth ffmpeg cmake; do
  command -v "$need" >/dev/null || { echo "missing: $need" >&2; exit 2; }
done
flock /tmp/qm-build.lock cmake --build "$build_dir" --target quillmarsh_showcase tarnfetch \
  quillmarsh_skin | tail -n 1

# Each picture from a fresh user (the showcase writes the settings file).
shoot() {
  local picture=$1
  shift
  local scratch
  scratch=$(mktemp -d /tmp/qm.XXXXXX)
  mkdir -p "$scratch/app" "$scratch/home" "$scratch/run"
  chmod 700 "$scratch/run"
  cp "$build_dir/test-tools/quillmarsh_showcase" "$scratch/app/quillmarsh"
  cp "$build_dir/bin/tarnfetch" "$build_dir/bin/default.skn" "$scratch/app/"
  env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u QT_QPA_PLATFORM HOME="$scratch/home" \
    XDG_RUNTIME_DIR="$scratch/run" LANG=C.UTF-8 \
    SCREEN=$SCREEN xvfb-run -a -s "-screen 0 ${SCREEN}x24" \
    bash "$self" --inside-x "$scratch/app/quillmarsh" "$picture" "$@"
  rm -rf "$scratch"
  echo "$picture: $(stat -c %s "$picture") bytes"
}
SCREEN=1280x1024
shoot docs/screenshot.png
shoot docs/failure-tooltip.png --tooltip
QT_SCALE_FACTOR=2 shoot docs/scaled-200.png
SCREEN=1024x768 QT_SCALE_FACTOR=2 shoot docs/scaled-200-1024x768.png
