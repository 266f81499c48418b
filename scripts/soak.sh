#!/usr/bin/env bash
# Runs the tests that wait on windows, devices and the sound server ROUNDS times over while
# every core is kept busy by another process, and counts the rounds that failed: a test that
# depends on timing shows itself here long before it shows on a user's machine. Then the
# sound-server tests ROUNDS times on the PipeWire stack, through each of SDL's backends.
#   scripts/soak.sh [ROUNDS [REGEX]]   (./test.sh --soak [ROUNDS])
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-20}
tests=${2:-'Dialog|Record|About|SoundServer'}
source scripts/common.sh
source scripts/sound-server.sh
install_missing
build build -DJEERBOX_TESTS=ON

load=()
stop_all() {
  [ ${#load[@]} -gt 0 ] && kill "${load[@]}" 2>/dev/null
  stop_sound_server
}
trap stop_all EXIT
trap 'exit 130' INT TERM
# One busy loop for each core, at the tests' own priority.
for _ in $(seq "$(nproc)"); do
  sh -c 'while :; do :; done' &
  load+=($!)
done
mkdir -p build/soak
failed=0
# On PulseAudio all of them; on the PipeWire stack (through its PulseAudio service and through
# SDL's own backend) the sound-server tests.
for setup in "pulseaudio pulseaudio $tests" "pipewire pulseaudio SoundServer" "pipewire pipewire SoundServer"; do
  read -r server backend pattern <<<"$setup"
  start_sound_server "$server"
  export JEERBOX_TEST_SDL_AUDIODRIVER=$backend
  for round in $(seq "$rounds"); do
    log="soak/$server-$backend-$round.log"
    start=$(date +%s.%N)
    if (cd build && ctest -R "$pattern" -j "$(nproc)" --timeout 120 --output-on-failure >"$log" 2>&1); then
      result=passed
    else
      result="FAILED (build/$log)"
      failed=$((failed + 1))
    fi
    printf '%s server, SDL %s backend, round %d of %d: %s in %s s: %s\n' "$server" "$backend" "$round" "$rounds" \
      "$(grep -o 'tests passed, .*' "build/$log" | head -1)" \
      "$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')" "$result"
  done
  stop_sound_server
done
echo "soak: $((3 * rounds - failed)) rounds passed, $failed failed"
[ "$failed" -eq 0 ]
