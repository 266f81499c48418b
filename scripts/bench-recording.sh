#!/usr/bin/env bash
# Measures the pass-through latency and the continuity of a 60-second capture through a sound
# server of its own (the one the test suite uses). Build first: ./test.sh or cmake --build build.
#   scripts/bench-recording.sh [ROUNDS [SECONDS]]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/sound-server.sh
with_sound_server env SDL_AUDIODRIVER=pulseaudio ./build/RecordingFigures "$@"
