#!/usr/bin/env bash
# with-xvfb.sh COMMAND...
# Runs COMMAND with DISPLAY set to a virtual X server of its own (Xvfb on the first free display
# from :90), which ends with it. Exits with COMMAND's status.
set -euo pipefail
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.05
done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "with-xvfb: Xvfb did not start on :$display" >&2; exit 1; }
status=0
DISPLAY=":$display" "$@" || status=$?
exit "$status"
