#!/usr/bin/env bash
# Takes the pictures of the dialogs under a private X server.
# Usage: tools/screenshots/run.sh OUTDIR [BUILD_DIR] [NAME-PREFIX...]
# BUILD_DIR defaults to "build" in the source tree; it must hold the akscreenshots target.
set -euo pipefail

out=${1:?usage: run.sh OUTDIR [BUILD_DIR] [NAME-PREFIX...]}
shift
build=${1:-"$(dirname "$0")/../../build"}
[[ $# -gt 0 ]] && shift
program="$build/tools/screenshots/akscreenshots"
if [[ ! -x "$program" ]]; then
  echo "run.sh: $program not found; build the akscreenshots target first" >&2
  exit 1
fi

# The first free display from 99 on, so that several runs can share the machine.
display=99
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do
  display=$((display + 1))
done

Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true' EXIT

for _ in $(seq 100); do
  [[ -S /tmp/.X11-unix/X$display ]] && break
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "run.sh: Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.1
done
if [[ ! -S /tmp/.X11-unix/X$display ]]; then
  echo "run.sh: Xvfb did not open display :$display" >&2
  exit 1
fi

# Qt's D-Bus and X libraries keep a few allocations to the end; a sanitizer build would
# report them as leaks of ours.
runtime=$(mktemp -d)
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true; rm -rf "$runtime"' EXIT
env -u QT_QPA_PLATFORM DISPLAY=":$display" XDG_RUNTIME_DIR="$runtime" \
  ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" "$program" "$out" "$@"
