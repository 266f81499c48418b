#!/usr/bin/env bash
# Measures the delay from the player's Play to the first byte at the sink, through a sound
# server of its own (the one the test suite uses). Build first: ./test.sh or cmake --build build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/sound-server.sh
with_sound_server ./build/PlayLatency
