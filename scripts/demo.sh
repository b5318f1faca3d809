#!/usr/bin/env bash
# The demo: the board emulator on a pseudo-terminal as COM3, and whatever talks to it so far.
# Everything runs in a temporary configuration directory, so the user's own COM links and
# profile are left alone.
set -euo pipefail
build=${1:-build}
board="$build/bin/korvane-board"

export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'kill "$board_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$XDG_CONFIG_HOME"' EXIT

"$board" --com 3 --tilt 128,64,3 --volts 0,1,2,3,-5,4.5,5 --log >"$XDG_CONFIG_HOME/board.out" \
  2>"$XDG_CONFIG_HOME/board.log" &
board_pid=$!
for _ in $(seq 50); do
  grep -q '^ready' "$XDG_CONFIG_HOME/board.out" 2>/dev/null && break
  sleep 0.1
done
grep -q '^ready' "$XDG_CONFIG_HOME/board.out" || { echo "korvane-board did not start" >&2; exit 1; }
com3="$XDG_CONFIG_HOME/korvane/devices/COM3"
echo "korvane-board is serving COM3 ($(readlink "$com3")) at 38400 baud."

if [ -x "$build/bin/korvane" ]; then
  "$build/bin/korvane"
  exit 0
fi

echo "The Korvane program is not built yet; this demo sends the board its three commands by hand."
exec 3<>"$com3"
stty -F "$com3" 38400 raw -echo
ask() { # command, reply length, meaning
  printf '%s' "$1" >&3
  printf "  '%s' -> %-24s %s\n" "$1" "$(timeout 0.5 head -c "$2" <&3 | od -An -tx1 | xargs)" "$3"
}
ask P 1 "probe: 51 is 'Q', the board is there"
ask z 3 "tilt: X 128, Y 64, both buttons UP"
ask s 7 "voltages: 0, 1, 2, 3, -5 (channel 4), 4.5, 5 V"
exec 3>&-
echo "What the board logged:"
sed 's/^/  /' "$XDG_CONFIG_HOME/board.log"
