#!/usr/bin/env bash
# Installs what is missing, builds, and starts Orvalis Jeerbox.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
install_missing
build build -DJEERBOX_TESTS=OFF
exec ./build/jeerbox "$@"
