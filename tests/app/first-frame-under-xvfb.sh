#!/usr/bin/env bash
# The run command on a virtual X server: `scripts/run.sh CLIP` shows the
# window with the clip's first frame, whose number is read back from a
# screenshot of the whole screen.
#
#   first-frame-under-xvfb.sh SOURCE_DIR BUILD_DIR SCREEN_FRAME CLIP
#
# The run command works on BUILD_DIR, built already; SCREEN_FRAME reads the
# frame number from a screenshot. Without Xvfb or ImageMagick's import the
# test is skipped (exit 77). A failed run leaves its last screenshot as
# first-frame-under-xvfb.png in the current folder.
set -euo pipefail
usage="usage: first-frame-under-xvfb.sh SOURCE_DIR BUILD_DIR SCREEN_FRAME CLIP"
source_dir="${1:?$usage}"
build_dir="${2:?$usage}"
reader="${3:?$usage}"
clip="$(realpath -- "${4:?$usage}")"

for tool in Xvfb import; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/deps.sh installs xvfb and imagemagick)"
    exit 77
  fi
done

work="$(mktemp -d)"
xvfb=""
app=""
# Ends a process this script started: politely, then for good.
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
  [ -n "$app" ] && stop "$app"
  [ -n "$xvfb" ] && stop "$xvfb"
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and writes its number once it listens.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"
  cat "$work/xvfb.log"
  exit 1
fi
export DISPLAY=":$(cat "$work/display")"

# A settings store, home and sound of the test's own; a real X window. The
# run command ends by becoming the program.
mkdir -p "$work/home" "$work/config"
KESTROVA_BUILD_DIR="$build_dir" KESTROVA_REGISTRY="$work/registry.reg" HOME="$work/home" \
  XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" KESTROVA_AUDIO=null QT_QPA_PLATFORM=xcb \
  WAYLAND_DISPLAY= bash "$source_dir/scripts/run.sh" "$clip" >"$work/program.log" 2>&1 &
app=$!

# The window comes up within a few seconds; a loaded machine gets more.
frame=-1
deadline=$((SECONDS + 30))
while [ "$SECONDS" -lt "$deadline" ]; do
  sleep 0.1
  if ! kill -0 "$app" 2>/dev/null; then
    echo "The run command ended early:"
    cat "$work/program.log"
    exit 1
  fi
  import -window root "$work/screen.png" 2>/dev/null || continue
  frame="$("$reader" "$work/screen.png")"
  [ "$frame" = 0 ] && break
done

if [ "$frame" != 0 ]; then
  cp "$work/screen.png" first-frame-under-xvfb.png 2>/dev/null || true
  echo "The screen shows frame $frame, not the first frame, of $clip (see first-frame-under-xvfb.png)"
  cat "$work/program.log"
  exit 1
fi
echo "The window shows the first frame of $clip"
