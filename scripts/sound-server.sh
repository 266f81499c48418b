# The test suite's own PulseAudio server (sourced by test.sh). Each run gets a private one in
# a folder of its own, with its own socket, so that runs side by side never meet and nothing
# of the user's sound setup is read or written. It runs as a child of the shell that started
# it, which ends and reaps it.
#   start_sound_server   starts it, waits until it answers, exports JEERBOX_TEST_PULSE_SERVER
#   stop_sound_server    ends it and removes its folder; safe to call more than once

SOUND_SERVER_DIR=
SOUND_SERVER_PID=

start_sound_server() {
  SOUND_SERVER_DIR=$(mktemp -d "${TMPDIR:-/tmp}/jeerbox-sound.XXXXXX")
  local dir=$SOUND_SERVER_DIR
  local server="unix:$dir/native"
  env HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir" PULSE_RUNTIME_PATH="$dir" \
    PULSE_STATE_PATH="$dir" \
    pulseaudio -n -F "$PWD/scripts/sound-server.pa" --daemonize=no --use-pid-file=no \
      --disallow-exit --exit-idle-time=-1 --realtime=no --high-priority=no \
      --log-target="file:$dir/log" </dev/null >/dev/null 2>&1 &
  SOUND_SERVER_PID=$!
  local tries
  for tries in $(seq 200); do
    if env HOME="$dir" PULSE_SERVER="$server" pactl info >/dev/null 2>&1; then
      export JEERBOX_TEST_PULSE_SERVER=$server
      return 0
    fi
    kill -0 "$SOUND_SERVER_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "The test sound server did not start:" >&2
  cat "$dir/log" >&2 || true
  stop_sound_server
  return 1
}

stop_sound_server() {
  if [ -n "$SOUND_SERVER_PID" ]; then
    kill "$SOUND_SERVER_PID" 2>/dev/null || true
    wait "$SOUND_SERVER_PID" 2>/dev/null || true
    SOUND_SERVER_PID=
  fi
  if [ -n "$SOUND_SERVER_DIR" ]; then
    rm -rf "$SOUND_SERVER_DIR"
    SOUND_SERVER_DIR=
  fi
  unset JEERBOX_TEST_PULSE_SERVER
}

# with_sound_server COMMAND...   runs COMMAND against a server of its own, started before and
# ended after, on every way out (the benchmarks use it).
with_sound_server() {
  trap stop_sound_server EXIT
  trap 'exit 130' INT TERM
  start_sound_server
  PULSE_SERVER=$JEERBOX_TEST_PULSE_SERVER PULSE_COOKIE=$SOUND_SERVER_DIR/cookie "$@"
}
