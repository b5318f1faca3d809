#!/usr/bin/env bash
# with-board.sh BOARD COM "OPTIONS" -- COMMAND...
# Runs COMMAND (a Windows program under Wine) while the korvane-board BOARD serves COM<COM> with
# OPTIONS: the board links its pseudo-terminal in a temporary configuration directory, and the Wine
# prefix's com<COM> points at that link, so it follows the board when it plugs back in.
# KORVANE_BOARD_COM, KORVANE_BOARD_OPTIONS and KORVANE_BOARD_LOG (the file of its output) tell
# COMMAND what it got. Exits with COMMAND's status.
set -euo pipefail
board=$1 com=$2 options=$3
shift 3
[ "${1:-}" = "--" ] && shift
: "${WINEPREFIX:?with-board.sh runs Windows programs: set WINEPREFIX}"

dir=$(mktemp -d /tmp/korvane-wine-board-XXXXXX)
pid=
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com$com"
  rm -rf "$dir"
}
trap finish EXIT

"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"
# shellcheck disable=SC2086 # the options are words by design
XDG_CONFIG_HOME=$dir timeout -s KILL 120 "$board" --com "$com" $options >"$dir/board.out" 2>&1 &
pid=$!
for _ in $(seq 100); do
  grep -qx ready "$dir/board.out" 2>/dev/null && break
  sleep 0.05
done
grep -qx ready "$dir/board.out" || { echo "with-board: korvane-board did not get ready:" >&2; cat "$dir/board.out" >&2; exit 1; }
ln -sfn "$dir/korvane/devices/COM$com" "$WINEPREFIX/dosdevices/com$com"

status=0
KORVANE_BOARD_COM=$com KORVANE_BOARD_OPTIONS=$options KORVANE_BOARD_LOG=$dir/board.out "$@" || status=$?
[ "$status" -eq 0 ] || { echo "with-board: the board said:" >&2; cat "$dir/board.out" >&2; }
exit "$status"
