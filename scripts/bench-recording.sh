#!/usr/bin/env bash
# Measures the pass-through latency and the continuity of a 60-second capture through a sound
# server of its own (the one the test suite uses). Build first: ./test.sh or cmake --build build.
#   scripts/bench-recording.sh [ROUNDS [SECONDS]]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/sound-server.sh
trap stop_sound_server EXIT
trap 'exit 130' INT TERM
start_sound_server
PULSE_SERVER=$JEERBOX_TEST_PULSE_SERVER PULSE_COOKIE=$SOUND_SERVER_DIR/cookie SDL_AUDIODRIVER=pulseaudio \
  ./build/RecordingFigures "$@"
