#!/usr/bin/env bash
# Runs a command inside an Xvfb of its own, with DISPLAY set to it; the server
# goes when the command ends. The command's exit status is the script's.
set -euo pipefail
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "with-xvfb: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
up=""
for _ in $(seq 100); do
  if xdpyinfo -display "$display" >/dev/null 2>&1; then up=1; break; fi
  sleep 0.1
done
[ -n "$up" ] || { echo "with-xvfb: Xvfb did not start on $display" >&2; exit 1; }
DISPLAY="$display" "$@"
