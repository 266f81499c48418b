#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
#   ./test.sh           the normal build, in build/
#   ./test.sh --asan    the same suite built with AddressSanitizer and UBSan, in build-asan/
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
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
cd "$dir"
ctest --output-on-failure -j "$(nproc)"
