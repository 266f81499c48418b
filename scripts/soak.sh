#!/usr/bin/env bash
# Runs the tests that wait on windows, devices and the sound server ROUNDS times over while
# every core is kept busy by another process, and counts the rounds that failed: a test that
# depends on timing shows itself here long before it shows on a user's machine.
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
start_sound_server

mkdir -p build/soak
failed=0
for round in $(seq "$rounds"); do
  start=$(date +%s.%N)
  if (cd build && ctest -R "$tests" -j "$(nproc)" --timeout 120 --output-on-failure >"soak/round-$round.log" 2>&1); then
    result=passed
  else
    result="FAILED (build/soak/round-$round.log)"
    failed=$((failed + 1))
  fi
  printf 'round %d of %d: %s in %s s: %s\n' "$round" "$rounds" \
    "$(grep -o 'tests passed, .*' "build/soak/round-$round.log" | head -1)" \
    "$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')" "$result"
done
echo "soak: $((rounds - failed)) rounds passed, $failed failed"
[ "$failed" -eq 0 ]
