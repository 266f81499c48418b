#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
#   ./test.sh           the normal build, in build/
#   ./test.sh --asan    the same suite built with AddressSanitizer and UBSan, in build-asan/
#   ./test.sh --fuzz [SECONDS]  the fuzz targets, each run for SECONDS (60) (scripts/fuzz.sh)
#   ./test.sh --soak [ROUNDS]   the window, device and sound-server tests ROUNDS (20) times
#                               over with every core kept busy (scripts/soak.sh), then the
#                               sound-server tests as often on PipeWire
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = "--fuzz" ]; then
  exec scripts/fuzz.sh "${2:-60}"
fi
if [ "${1:-}" = "--soak" ]; then
  exec scripts/soak.sh "${2:-20}"
fi
source scripts/common.sh
source scripts/sound-server.sh
install_missing

dir=build
opts=(-DJEERBOX_TESTS=ON)
if [ "${1:-}" = "--asan" ]; then
  dir=build-asan
  opts+=(-DJEERBOX_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
build "$dir" "${opts[@]}"
# The sound tests play into and record from a server of the run's own, ended on every way out.
trap stop_sound_server EXIT
trap 'exit 130' INT TERM
start_sound_server
(cd "$dir" && ctest --output-on-failure -j "$(nproc)")
# The sound-server tests again on a PipeWire stack, as Debian's desktop runs it: through its
# PulseAudio service and through SDL's own PipeWire backend (in the plain build; the sanitizer
# build runs the same code of the program on PulseAudio).
if [ "$dir" = build ]; then
  stop_sound_server
  start_sound_server pipewire
  # A test that fails here runs once more: when the machine stalls for longer than a cycle of
  # this stack's graph (a virtual machine's host may pause it for 25 ms), the graph plays that
  # cycle's sound late or drops it, and a test that hears the sound then finds it not whole; a
  # failure that repeats fails the run, and the soak (--soak) counts every failure without a
  # second try. bench/PlayLatency.cpp counts such breaks beside the machine's stalls.
  for backend in pulseaudio pipewire; do
    echo "Sound-server tests on PipeWire, SDL's $backend backend"
    (cd "$dir" && JEERBOX_TEST_SDL_AUDIODRIVER=$backend ctest -R SoundServer --output-on-failure --repeat until-pass:2)
  done
fi
