# The test suite's own sound server (sourced by test.sh). Each run gets a private one in
# a folder of its own, with its own socket, so that runs side by side never meet and nothing
# of the user's sound setup is read or written. Its process ids are kept in the folder, so that
# whoever started it last, the run or a test, it is ended with the run.
#   start_sound_server [KIND]   starts it, waits until it answers, exports
#                               JEERBOX_TEST_PULSE_SERVER (its PulseAudio address),
#                               JEERBOX_TEST_SOUND_SERVER (KIND) and JEERBOX_TEST_SOUND_DIR
#   stop_sound_server           ends it and removes its folder; safe to call more than once
# KIND is "pulseaudio" (the default) or "pipewire": a PipeWire stack as a desktop runs it,
# pipewire with wireplumber and pipewire-pulse, on a D-Bus session bus of its own, its graph at
# 22050 Hz (sound-server-pipewire.conf), pipewire and pipewire-pulse started from sockets that
# outlive them. Both offer the same sinks, "out" and "micfeed", and
# micfeed's monitor as the default source; PulseAudio clients reach either at the same kind of
# address, PipeWire's own at the folder's pipewire-0.
#
# Run as a command, it acts on the server of the run (JEERBOX_TEST_PULSE_SERVER), as a desktop's
# sound server goes away and comes back (tests of the program's recovery use it):
#   scripts/sound-server.sh kill      ends it at once, as a crash does
#   scripts/sound-server.sh restart   starts it again at the same address with the same modules
#   scripts/sound-server.sh kill-service   ends the PipeWire stack's PulseAudio service at once;
#                                     its socket stays and starts it again at the next client
#   scripts/sound-server.sh kill-daemon    ends the PipeWire daemon (and WirePlumber with it),
#                                     brings both back with the daemon's socket the same

SOUND_SERVER_DIR=
SOUND_SERVER_CONFIG="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/sound-server.pa"
SOUND_SERVER_PIPEWIRE_CONFIG="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/sound-server-pipewire.conf"
SOUND_SERVER_ACTIVATION="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/socket-activation.py"
# The PipeWire stack's programs, in the order they start; their process ids are kept so.
PIPEWIRE_PROGRAMS=(pipewire wireplumber pipewire-pulse)

# launch_sound_server DIR   starts the server of DIR's kind with its socket in DIR; true once
# it answers.
launch_sound_server() {
  if [ "$(cat "$1/kind" 2>/dev/null)" = pipewire ]; then
    launch_pipewire "$1"
  else
    launch_pulseaudio "$1"
  fi
}

launch_pulseaudio() {
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

# pipewire_env DIR COMMAND...   runs COMMAND as a client or part of the PipeWire stack of DIR
# (in the shell's own process, so that a background one's process id is COMMAND's).
pipewire_env() {
  local dir=$1
  shift
  exec env HOME="$dir" XDG_RUNTIME_DIR="$dir" PIPEWIRE_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/config" \
    XDG_STATE_HOME="$dir/state" XDG_DATA_HOME="$dir/data" DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus" \
    PULSE_SERVER="unix:$dir/pulse/native" "$@"
}

# pipewire_program DIR NAME   runs one program of the PipeWire stack of DIR as pipewire_env does;
# the daemon and the PulseAudio service from sockets that outlive them, as a desktop's socket
# units start them: the socket is there at once, the program comes at a client's knock and
# again after it ends.
pipewire_program() {
  if [ "$2" = pipewire-pulse ]; then
    pipewire_env "$1" "$SOUND_SERVER_ACTIVATION" "$1/pulse/native" "$1/service.pid" pipewire-pulse
  elif [ "$2" = pipewire ]; then
    pipewire_env "$1" "$SOUND_SERVER_ACTIVATION" "$1/pipewire-0" "$1/daemon.pid" pipewire
  else
    pipewire_env "$1" "$2"
  fi
}

launch_pipewire() {
  local dir=$1 pids=() tries
  # A killed server leaves its sockets behind: the session manager and the PulseAudio service
  # would find the old one and give up before the new server listens.
  rm -f "$dir"/pipewire-0 "$dir"/pipewire-0-manager "$dir"/pulse/native
  local i
  for i in 0 1 2; do
    pipewire_program "$dir" "${PIPEWIRE_PROGRAMS[$i]}" </dev/null >>"$dir/log" 2>&1 &
    pids[$i]=$!
    disown "$!"
    # The session manager and the PulseAudio service connect to the server at their start.
    if [ "$i" = 0 ]; then
      for tries in $(seq 200); do
        [ -S "$dir/pipewire-0" ] && break
        sleep 0.05
      done
    fi
  done
  printf '%s\n' "${pids[@]}" >"$dir/pid"
  await_pipewire "$dir"
}

# await_pipewire DIR   waits until the PipeWire stack of DIR is ready: both sinks there and the
# session manager has taken "out" as the default (until then a stream may land nowhere) and
# micfeed's monitor as the default source.
await_pipewire() {
  local dir=$1 pids i tries
  mapfile -t pids <"$dir/pid"
  for tries in $(seq 400); do
    # A session manager or PulseAudio service that gave up on a server not yet listening, or
    # ended with a server that went, is started again, as a desktop session's service manager does.
    for i in 1 2; do
      if ! kill -0 "${pids[$i]}" 2>/dev/null; then
        pipewire_program "$dir" "${PIPEWIRE_PROGRAMS[$i]}" </dev/null >>"$dir/log" 2>&1 &
        pids[$i]=$!
        disown "$!"
        printf '%s\n' "${pids[@]}" >"$dir/pid"
      fi
    done
    if (pipewire_env "$dir" pactl list short sinks 2>/dev/null) | grep -q micfeed &&
      (pipewire_env "$dir" pactl set-default-sink out 2>/dev/null) &&
      (pipewire_env "$dir" pactl set-default-source micfeed.monitor 2>/dev/null) &&
      (pipewire_env "$dir" pactl info 2>/dev/null) | grep -q '^Default Sink: out$'; then
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# end_sound_server DIR [SIGNAL]   ends the server of DIR and waits until it is gone.
end_sound_server() {
  local dir=$1 pids pid tries
  pids=$(cat "$dir/pid" 2>/dev/null) || return 0
  pids="$pids $(cat "$dir/service.pid" "$dir/daemon.pid" 2>/dev/null || true)"
  rm -f "$dir/pid" "$dir/service.pid" "$dir/daemon.pid"
  for pid in $pids; do
    kill -"${2:-TERM}" "$pid" 2>/dev/null || true
  done
  for pid in $pids; do
    # A server this shell started is reaped here; one a test started is waited for.
    wait "$pid" 2>/dev/null || true
    for tries in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
  done
}

start_sound_server() {
  local kind=${1:-pulseaudio} address
  SOUND_SERVER_DIR=$(mktemp -d "${TMPDIR:-/tmp}/jeerbox-sound.XXXXXX")
  echo "$kind" >"$SOUND_SERVER_DIR/kind"
  address="unix:$SOUND_SERVER_DIR/native"
  if [ "$kind" = pipewire ]; then
    mkdir -p "$SOUND_SERVER_DIR/config/pipewire/pipewire.conf.d" "$SOUND_SERVER_DIR/config/wireplumber/main.lua.d"
    cp "$SOUND_SERVER_PIPEWIRE_CONFIG" "$SOUND_SERVER_DIR/config/pipewire/pipewire.conf.d/jeerbox.conf"
    # Two channels mix down to one as their mean, as PulseAudio mixes them (PipeWire would sum
    # them), so that the bytes at the taunt-format sink can be foretold.
    mkdir -p "$SOUND_SERVER_DIR/config/pipewire/pipewire-pulse.conf.d" "$SOUND_SERVER_DIR/config/pipewire/client.conf.d"
    echo 'stream.properties = { channelmix.normalize = true }' |
      tee "$SOUND_SERVER_DIR/config/pipewire/pipewire-pulse.conf.d/jeerbox.conf" \
        >"$SOUND_SERVER_DIR/config/pipewire/client.conf.d/jeerbox.conf"
    # No sound card of the machine joins the graph.
    echo 'alsa_monitor.enabled = false' >"$SOUND_SERVER_DIR/config/wireplumber/main.lua.d/90-jeerbox.lua"
    # The session bus outlives the server's crashes, as a desktop session's does.
    dbus-daemon --session --fork --address="unix:path=$SOUND_SERVER_DIR/bus" --print-pid \
      >"$SOUND_SERVER_DIR/bus.pid"
    address="unix:$SOUND_SERVER_DIR/pulse/native"
  fi
  if launch_sound_server "$SOUND_SERVER_DIR"; then
    export JEERBOX_TEST_PULSE_SERVER=$address JEERBOX_TEST_SOUND_SERVER=$kind
    export JEERBOX_TEST_SOUND_DIR=$SOUND_SERVER_DIR
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
    if [ -f "$SOUND_SERVER_DIR/bus.pid" ]; then
      kill "$(cat "$SOUND_SERVER_DIR/bus.pid")" 2>/dev/null || true
    fi
    rm -rf "$SOUND_SERVER_DIR"
    SOUND_SERVER_DIR=
  fi
  unset JEERBOX_TEST_PULSE_SERVER JEERBOX_TEST_SOUND_SERVER JEERBOX_TEST_SOUND_DIR
}

# with_sound_server [--pipewire] COMMAND...   runs COMMAND against a server of its own (with
# --pipewire a PipeWire stack), started before and ended after, on every way out (the
# benchmarks use it). COMMAND reaches it as a PulseAudio client and as a PipeWire one.
with_sound_server() {
  local kind=pulseaudio
  if [ "${1:-}" = --pipewire ]; then
    kind=pipewire
    shift
  fi
  trap stop_sound_server EXIT
  trap 'exit 130' INT TERM
  start_sound_server "$kind"
  PULSE_SERVER=$JEERBOX_TEST_PULSE_SERVER PULSE_COOKIE=$SOUND_SERVER_DIR/cookie \
    PIPEWIRE_RUNTIME_DIR=$SOUND_SERVER_DIR "$@"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -eu
  dir=${JEERBOX_TEST_SOUND_DIR:-}
  if [ -z "$dir" ]; then
    server=${JEERBOX_TEST_PULSE_SERVER:?no test sound server runs}
    dir=${server#unix:}
    dir=${dir%/native}
  fi
  case "${1:-}" in
    kill) end_sound_server "$dir" KILL ;;
    kill-service)
      # The PipeWire stack's PulseAudio service alone; its socket stays and starts it anew.
      pid=$(cat "$dir/service.pid" 2>/dev/null) || { echo "no service started from a socket" >&2; exit 2; }
      kill -KILL "$pid"
      while kill -0 "$pid" 2>/dev/null; do sleep 0.02; done ;;
    kill-daemon)
      # The PipeWire daemon, which takes its session manager with it; both come back as a
      # desktop's service manager brings them back, the daemon's socket the same all along.
      pid=$(cat "$dir/daemon.pid" 2>/dev/null) || { echo "no daemon started from a socket" >&2; exit 2; }
      kill -KILL "$pid"
      while kill -0 "$pid" 2>/dev/null; do sleep 0.02; done
      await_pipewire "$dir" || { echo "The PipeWire stack did not come back" >&2; exit 1; } ;;
    restart) launch_sound_server "$dir" || { echo "The test sound server did not start again" >&2; exit 1; } ;;
    *) echo "usage: $0 kill|kill-service|kill-daemon|restart" >&2; exit 2 ;;
  esac
fi
