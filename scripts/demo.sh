#!/usr/bin/env bash
# The demo: korvane against the board emulator. Everything runs in a temporary configuration
# directory (the COM link and the profile), so the user's own links and profile are left alone.
#
# With a display, the window opens and the demo ends when it is closed. Without one, the window runs
# on a virtual X server (Xvfb) for a few seconds: a screenshot of each mode goes to a PNG file, then
# korvane-cli polls the board a few times. Either way nothing is left running or linked.
set -euo pipefail
build=${1:-build}
bin="$build/bin"
shots="$(cd "$build" && pwd)/demo"

XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
devices="$XDG_CONFIG_HOME/korvane/devices"
board_pid="" xvfb_pid="" korvane_pid=""

cleanup() {
    for pid in $korvane_pid $board_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$XDG_CONFIG_HOME"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to $2 tenths of a second for the command $1 to succeed.
wait_for() {
    for _ in $(seq "$2"); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}

# Starts korvane-board on the first free COM number from 3 on; sets com and board_pid.
start_board() {
    for com in $(seq 3 16); do
        [ -e "$devices/COM$com" ] && continue
        "$bin/korvane-board" --com "$com" --volts 0,1,2,3,-5,4.5,5 >"$XDG_CONFIG_HOME/board.out" \
            2>"$XDG_CONFIG_HOME/board.err" &
        board_pid=$!
        wait_for "grep -qs '^ready' '$XDG_CONFIG_HOME/board.out'" 50 && return 0
        kill "$board_pid" 2>/dev/null || true
    done
    echo "korvane-board did not start:" >&2
    cat "$XDG_CONFIG_HOME/board.err" >&2
    exit 1
}

# Clicks window $1 at ($2, $3) in the main dialog's units (with mouse button $4, the left one when not
# given): its template is 239 x 199 units, and the pixels per unit follow from the font, so the point
# scales with the window's size.
click() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove --window "$1" $((WIDTH * $2 / 239)) $((HEIGHT * $3 / 199)) click "${4:-1}"
}

# Opens the trend window from the system menu of window $1 (a right-click on its background, then
# the item's access key) and moves it beside the main window; prints its id.
open_trend() {
    click "$1" 120 60 3
    sleep 0.3
    xdotool key t
    local trend
    trend=$(timeout 10 xdotool search --sync --name '^Korvane Trend$' | head -n1)
    xdotool windowmove "$1" 0 0
    xdotool windowmove "$trend" 370 0
    sleep 0.5
    echo "$trend"
}

# The window on a virtual X server: a screenshot in TILT mode, one in DVM mode, then OK. The trend
# window stands beside it: a screenshot of it in each mode too.
run_headless() {
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the window on a virtual"
    echo "X server (Xvfb) for a few seconds and saving a screenshot of each mode."
    Xvfb -displayfd 3 -screen 0 900x400x24 -nolisten tcp 3>"$XDG_CONFIG_HOME/display" 2>/dev/null &
    xvfb_pid=$!
    wait_for "[ -s '$XDG_CONFIG_HOME/display' ]" 50 || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$XDG_CONFIG_HOME/display")"
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then # Qt wants one and says so otherwise
        export XDG_RUNTIME_DIR="$XDG_CONFIG_HOME/runtime"
        mkdir -m 700 "$XDG_RUNTIME_DIR"
    fi
    QT_QPA_PLATFORM=xcb "$bin/korvane" &
    korvane_pid=$!
    window=$(timeout 10 xdotool search --sync --name '^Korvane$' | head -n1)
    mkdir -p "$shots"
    trend=$(open_trend "$window")
    sleep 5 # fifty polls
    import -window "$window" "$shots/korvane-tilt.png"
    import -window "$trend" "$shots/korvane-trend-tilt.png"
    click "$window" 9 25 # the DVM radio button's circle
    sleep 5
    import -window "$window" "$shots/korvane-dvm.png"
    import -window "$trend" "$shots/korvane-trend-dvm.png"
    click "$window" 207 14 # OK
    wait_for "! kill -0 $korvane_pid 2>/dev/null" 50 || kill "$korvane_pid"
    wait "$korvane_pid" || true
    korvane_pid=""
    echo "Screenshots: $shots/korvane-tilt.png"
    echo "             $shots/korvane-dvm.png"
    echo "             $shots/korvane-trend-tilt.png"
    echo "             $shots/korvane-trend-dvm.png"
    echo
    echo "Five polls in each mode through korvane-cli:"
    "$bin/korvane-cli" poll "$com" --count 5 --format csv
    "$bin/korvane-cli" poll "$com" --mode dvm --count 5 --format csv
}

start_board
printf '[MyKorvaneAp]\nKorvaneComPort=%d\n' "$com" >"$XDG_CONFIG_HOME/korvane.INI"
echo "korvane-board is serving COM$com ($(readlink "$devices/COM$com")): tilt and buttons that move,"
echo "voltages 0, 1, 2, 3, -5, 4.5 and 5 V. The profile names COM$com."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    run_headless
else
    echo "Starting korvane; close its window (OK) to end the demo."
    "$bin/korvane"
fi
