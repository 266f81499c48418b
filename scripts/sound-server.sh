# The test suite's own PulseAudio server (sourced by test.sh). Each run gets a private one in
# a folder of its own, with its own socket, so that runs side by side never meet and nothing
# of the user's sound setup is read or written. Its process id is kept in the folder, so that
# whoever started it last, the run or a test, it is ended with the run.
#   start_sound_server   starts it, waits until it answers, exports JEERBOX_TEST_PULSE_SERVER
#   stop_sound_server    ends it and removes its folder; safe to call more than once
#
# Run as a command, it acts on the server of the run (JEERBOX_TEST_PULSE_SERVER), as a desktop's
# sound server goes away and comes back (tests of the program's recovery use it):
#   scripts/sound-server.sh kill      ends it at once, as a crash does
#   scripts/sound-server.sh restart   starts it again at the same address with the same modules

SOUND_SERVER_DIR=
SOUND_SERVER_CONFIG="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/sound-server.pa"

# launch_sound_server DIR   starts a server with its socket in DIR; true once it answers.
launch_sound_server() {
  local dir=$1
  env HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir" PULSE_RUNTIME_PATH="$dir" \
    PULSE_STATE_PATH="$dir" \
    pulseaudio -n -F "$SOUND_SERVER_CONFIG" --daemonize=no --use-pid-file=no \
      --disallow-exit --exit-idle-time=-1 --realtime=no --high-priority=no \
      --log-target="file:$dir/log" </dev/null >/dev/null 2>&1 &
  local pid=$!
  # Ended by its process id, also by a test; the shell need not report how it ended.
  disown "$pid"
  echo "$pid" >"$dir/pid"
  local tries
  for tries in $(seq 200); do
    if env HOME="$dir" PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  return 1
}

# end_sound_server DIR [SIGNAL]   ends the server of DIR and waits until it is gone.
end_sound_server() {
  local dir=$1 pid
  pid=$(cat "$dir/pid" 2>/dev/null) || return 0
  rm -f "$dir/pid"
  kill -"${2:-TERM}" "$pid" 2>/dev/null || return 0
  # A server this shell started is reaped here; one a test started is waited for.
  wait "$pid" 2>/dev/null || true
  local tries
  for tries in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
}

start_sound_server() {
  SOUND_SERVER_DIR=$(mktemp -d "${TMPDIR:-/tmp}/jeerbox-sound.XXXXXX")
  if launch_sound_server "$SOUND_SERVER_DIR"; then
    export JEERBOX_TEST_PULSE_SERVER="unix:$SOUND_SERVER_DIR/native"
    return 0
  fi
  echo "The test sound server did not start:" >&2
  cat "$SOUND_SERVER_DIR/log" >&2 || true
  stop_sound_server
  return 1
}

stop_sound_server() {
  if [ -n "$SOUND_SERVER_DIR" ]; then
    end_sound_server "$SOUND_SERVER_DIR"
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

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -eu
  server=${JEERBOX_TEST_PULSE_SERVER:?no test sound server runs}
  dir=${server#unix:}
  dir=${dir%/native}
  case "${1:-}" in
    kill) end_sound_server "$dir" KILL ;;
    restart) launch_sound_server "$dir" || { echo "The test sound server did not start again" >&2; exit 1; } ;;
    *) echo "usage: $0 kill|restart" >&2; exit 2 ;;
  esac
fi
