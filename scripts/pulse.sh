#!/usr/bin/env bash
# A private PulseAudio daemon with a null sink, so that the tests can play
# through the real sound path without a sound card or a user's server.
#
#   eval "$(bash scripts/pulse.sh start DIR)"   starts it (unless it runs) and
#                                               prints the PULSE_SERVER to use
#   bash scripts/pulse.sh stop DIR              stops it
#
# Without the pulseaudio program, `start` prints nothing and the tests that
# need a server skip.
set -euo pipefail
cmd="${1:?usage: pulse.sh start|stop DIR}"
dir="${2:?usage: pulse.sh start|stop DIR}"
socket="$dir/native"
pidfile="$dir/daemon.pid"

running() { [[ -f "$pidfile" ]] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }

case "$cmd" in
start)
  command -v pulseaudio >/dev/null || exit 0
  mkdir -p "$dir"
  if ! running; then
    rm -f "$socket"
    # -n: no default script, only the modules below; the daemon never exits
    # on idle. As root it warns and goes on.
    PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" HOME="$dir" \
      setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --disable-shm \
      --log-target=file:"$dir/daemon.log" \
      --load="module-null-sink sink_name=kestrova_null" \
      --load="module-native-protocol-unix socket=$socket auth-anonymous=1" \
      </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
      [[ -S "$socket" ]] && break
      sleep 0.05
    done
  fi
  if [[ -S "$socket" ]]; then
    echo "export PULSE_SERVER=unix:$socket"
  fi
  ;;
stop)
  if running; then
    kill "$(cat "$pidfile")"
  fi
  rm -f "$pidfile"
  ;;
*)
  echo "usage: pulse.sh start|stop DIR" >&2
  exit 2
  ;;
esac
