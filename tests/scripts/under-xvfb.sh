#!/usr/bin/env bash
# Runs a command on a virtual X server of its own, as a desktop session has
# it: the real X window system (QT_QPA_PLATFORM=xcb), keys sent as real X
# events by xdotool, a home and settings folders of the run's own.
#
#   under-xvfb.sh COMMAND [ARGUMENT ...]
#
# The command's exit code is the script's. Without Xvfb or xdotool the test
# is skipped (exit 77).
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: under-xvfb.sh COMMAND [ARGUMENT ...]" >&2; exit 2; }

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/deps.sh installs it)"
    exit 77
  fi
done

work="$(mktemp -d)"
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display and writes its number once it listens.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 200); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:"
  cat "$work/xvfb.log"
  exit 1
fi

mkdir -p "$work/home" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY= \
  HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  KESTROVA_REGISTRY="$work/registry.reg" KESTROVA_AUDIO=null
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS
status=0
"$@" || status=$?
exit "$status"
