#!/usr/bin/env bash
# Times the workbench's start against an empty window of the same toolkit (a main window with
# one label): from the process's start to the X server's mapping of its top-level window, seen
# by an X client outside both programs, on a private Xvfb display, each program RUNS times
# (15 unless given) in turns. Prints both medians and their ratio. Builds what it needs.
#   bench/startup_time.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JEERBOX_PACKAGES+=(libxcb1-dev)
install_missing
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target jeerbox StartupTime EmptyWindow >/dev/null

runs=${1:-15}
# A settings file and runtime folder of its own, and the windows on X whatever the caller's
# session uses.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$config xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/StartupTime "$runs" build/jeerbox -- build/EmptyWindow
