#!/usr/bin/env bash
# Runs every test suite with ctest, inside an Xvfb of its own for the tests
# that open a real window.
set -euo pipefail
build=${1:-build}
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "run-tests: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
up=""
for _ in $(seq 100); do
  if xdpyinfo -display "$display" >/dev/null 2>&1; then up=1; break; fi
  sleep 0.1
done
[ -n "$up" ] || { echo "run-tests: Xvfb did not start on $display" >&2; exit 1; }
export DISPLAY="$display"
cd "$build"
ctest --output-on-failure --timeout 600 -j2
