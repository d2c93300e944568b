#!/usr/bin/env bash
# Starts or stops a private, headless PulseAudio server for the system tests:
#   pulse-server.sh start DIR   -> socket at DIR/native, pid in DIR/pid
#   pulse-server.sh stop DIR
# The server has a speakers sink ci_sink and a microphone ci_mic fed by
# whatever is played into ci_mic_feed (tests/system/ci.pa).
set -u
cmd=$1 dir=$2
here=$(cd "$(dirname "$0")" && pwd)
case "$cmd" in
start)
  "$0" stop "$dir" >/dev/null 2>&1
  mkdir -p "$dir/runtime" && chmod 700 "$dir/runtime"
  export XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir"
  # The config loads the native protocol last; point it at our socket.
  sed "s#module-native-protocol-unix #module-native-protocol-unix socket=$dir/native #" \
    "$here/../tests/system/ci.pa" >"$dir/ci.pa"
  setsid pulseaudio -n -F "$dir/ci.pa" --daemonize=no --exit-idle-time=-1 \
    --disallow-exit=yes --use-pid-file=no --system=no -v \
    </dev/null >"$dir/pulse.log" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 1 100); do
    if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
      echo "PulseAudio up at unix:$dir/native"
      exit 0
    fi
    sleep 0.1
  done
  echo "PulseAudio did not start; log follows" >&2
  tail -n 30 "$dir/pulse.log" >&2
  exit 1
  ;;
stop)
  if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    rm -f "$dir/pid"
  fi
  exit 0
  ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
