#!/usr/bin/env bash
# Runs a command in a Wayland session of its own: a headless weston with its own runtime folder
# and socket (so that it meets no other session, and no X server is reachable), the window
# toolkit told to draw there, the compositor ended when the command ends. The command's status
# is the script's; a compositor that does not start fails it, with the compositor's log.
#   scripts/wayland-session.sh COMMAND [ARG...]
# WAYLAND_SCREENSHOTS=1 lets weston-screenshooter, run inside the session, save a picture of
# the whole screen in its working folder (weston allows it to a client only when started with
# --debug), e.g. scripts/wayland-session.sh sh -c 'build/jeerbox & sleep 3; weston-screenshooter; kill $!'.
set -euo pipefail

if ! command -v weston >/dev/null; then
  echo "wayland-session: weston is not installed (Debian package weston)" >&2
  exit 1
fi
runtime=$(mktemp -d "${TMPDIR:-/tmp}/jeerbox-wayland.XXXXXX")
chmod 700 "$runtime"
socket=wayland-jeerbox
weston_pid=
finish() {
  if [ -n "$weston_pid" ]; then
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap finish EXIT
trap 'exit 130' INT TERM

options=(--backend=headless-backend.so --use-pixman --width=1024 --height=768 --idle-time=0
  --socket="$socket" --log="$runtime/weston.log")
if [ -n "${WAYLAND_SCREENSHOTS:-}" ]; then
  options+=(--debug)
fi
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$runtime" weston "${options[@]}" </dev/null >/dev/null 2>&1 &
weston_pid=$!
for _ in $(seq 400); do
  [ -S "$runtime/$socket" ] && break
  if ! kill -0 "$weston_pid" 2>/dev/null; then
    weston_pid=
    break
  fi
  sleep 0.05
done
if [ ! -S "$runtime/$socket" ]; then
  echo "wayland-session: weston did not start; its log:" >&2
  cat "$runtime/weston.log" >&2 || true
  exit 1
fi

status=0
env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland "$@" || status=$?
exit "$status"
