#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts Kestrova.
# Without a display it runs offscreen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KESTROVA_BUILD_DIR:-$root/build}"

bash "$root/scripts/deps.sh"
KESTROVA_BUILD_DIR="$build" bash "$root/scripts/build.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi
exec "$build/app/kestrova" "$@"
