#!/usr/bin/env bash
# Installs what is missing, builds, and starts Orvalis Jeerbox.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
install_missing
# A folder of its own, so that the test build in build/ is not configured back and forth.
build build-run -DJEERBOX_TESTS=OFF
exec ./build-run/jeerbox "$@"
