#!/usr/bin/env bash
# The player's figures at the sink (build/PlayLatency) and the pass-through's latency
# (build/RecordingFigures) and whether a long sound arrives unbroken, on each kind of sound server the tests use, each started for the
# run: PulseAudio, and a PipeWire stack reached through its PulseAudio service and through
# SDL's own PipeWire backend. Build first: ./test.sh or cmake --build build.
#   scripts/bench-play-latency.sh [PLAYS [PASS-THROUGH ROUNDS [SECONDS OF LONG SOUND]]]
set -euo pipefail
cd "$(dirname "$0")/.."
plays=${1:-60}
rounds=${2:-20}
seconds=${3:-60}
for setup in "pulseaudio pulseaudio" "pipewire pulseaudio" "pipewire pipewire"; do
  read -r server backend <<<"$setup"
  echo "== $server server, SDL's $backend backend"
  flag=()
  [ "$server" = pipewire ] && flag=(--pipewire)
  (
    source scripts/sound-server.sh
    with_sound_server "${flag[@]}" env SDL_AUDIODRIVER="$backend" sh -c \
      './build/PlayLatency "$1" "$3" && ./build/RecordingFigures "$2" 0' - "$plays" "$rounds" "$seconds"
  )
done
