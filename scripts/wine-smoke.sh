#!/usr/bin/env bash
# wine-smoke.sh KORVANE_EXE   (run through with-board.sh serving COM4, under with-xvfb.sh)
# The program under Wine on a virtual X display, driven as an operator would: with no profile and
# nothing on COM3 it says the port could not be opened and asks for another number; given COM4,
# where korvane-board answers, it shows its main window and polls the board ten times a second.
# Checks: the port dialog, the main window, polls in the board's log, red crosshair pixels in a
# screenshot (kept as korvane-smoke.png in the build tree), the trend window from the system menu (its
# screenshot kept as korvane-trend.png) and Escape closing it, the profile in %APPDATA% (and nothing in
# the Windows folder); then a second run reads an earlier installation's profile in the Windows
# folder and leaves it as it was. Needs DISPLAY (an X server, e.g. Xvfb through with-xvfb.sh) and
# WINEPREFIX.
set -euo pipefail
exe=$1
: "${WINEPREFIX:?}" "${KORVANE_BOARD_LOG:?run it through with-board.sh}" "${DISPLAY:?wine-smoke.sh needs an X display}"
export WINEDEBUG=${WINEDEBUG:--all}
here=$(dirname "$0")
work=$(mktemp -d /tmp/korvane-smoke-XXXXXX)
profile="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/korvane.INI"
legacy="$WINEPREFIX/drive_c/windows/korvane.INI"
program=

fail() {
  echo "wine-smoke: $*" >&2
  import -window root "$work/failed.png" 2>/dev/null && echo "wine-smoke: screen in $work/failed.png" >&2
  exit 1
}
finish() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com3"
}
trap finish EXIT

# Waits (at most 15 s) for a window named $1; prints its id.
window() {
  for _ in $(seq 150); do
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1 | grep . && return 0
    sleep 0.1
  done
  return 1
}
# Types keys into window $1 (no window manager: the focus is set by hand).
keys() {
  local w=$1
  shift
  xdotool windowfocus --sync "$w" 2>/dev/null || true
  xdotool key --delay 50 "$@"
}

"$here/wine-prefix.sh" "$WINEPREFIX"
rm -f "$profile" "$legacy" "$WINEPREFIX/dosdevices/com3"
timeout -k 5 60 wine "$exe" >"$work/korvane.out" 2>&1 &
program=$!

box=$(window Korvane) || fail "no message box for the missing COM3"
keys "$box" Return
dialog=$(window "Port Selection Dialog") || fail "no port selection dialog"
keys "$dialog" Tab 4 Return
main=$(window Korvane) || fail "no main window"
sleep 2
polls=$(grep -c "rx 0x7A 'z'" "$KORVANE_BOARD_LOG" || true)
[ "$polls" -ge 10 ] || fail "$polls polls in 2 s (board log $KORVANE_BOARD_LOG)"
import -window "$main" "$work/main.png"
red=$(convert "$work/main.png" -fill black +opaque "rgb(255,0,0)" -fill white -opaque "rgb(255,0,0)" \
  -format "%[fx:round(mean*w*h)]" info:)
[ "$red" -ge 50 ] || fail "$red red pixels: no crosshair"
# The trend window from the system menu: it plots the polls (the X line's blue), takes Escape while the
# main window runs modally, and closes alone.
keys "$main" alt+space t
trend=$(window "Korvane Trend") || fail "no trend window from the system menu"
sleep 2
import -window "$trend" "$work/trend.png"
blue=$(convert "$work/trend.png" -fill black +opaque "rgb(0,90,220)" -fill white -opaque "rgb(0,90,220)" \
  -format "%[fx:round(mean*w*h)]" info:)
[ "$blue" -ge 20 ] || fail "$blue blue pixels: no X line in the trend window"
keys "$trend" Escape
sleep 0.5
xdotool search --onlyvisible --name "^Korvane Trend\$" >/dev/null && fail "Escape left the trend window open"
keys "$main" Return
wait "$program" || fail "the program ended with status $?"
program=
grep -qx "KorvaneComPort=4" <(tr -d '\r' <"$profile") || fail "no KorvaneComPort=4 in $profile"
[ ! -e "$legacy" ] || fail "the program wrote $legacy"

# An earlier installation's profile in the Windows folder is read while %APPDATA% has none, and is
# never written: the program goes straight to COM4.
rm -f "$profile"
printf '[MyKorvaneAp]\r\nKorvaneComPort=4\r\n' >"$legacy"
before=$(md5sum <"$legacy")
timeout -k 5 60 wine "$exe" >>"$work/korvane.out" 2>&1 &
program=$!
main=$(window Korvane) || fail "no main window with the profile of the Windows folder"
xdotool search --onlyvisible --name "^Port Selection Dialog\$" >/dev/null && fail "the Windows folder's profile was not read"
keys "$main" Return
wait "$program" || fail "the program ended with status $? (second run)"
program=
[ "$(md5sum <"$legacy")" = "$before" ] || fail "the program changed $legacy"
[ ! -e "$profile" ] || fail "the program wrote $profile without being asked for a port"
rm -f "$legacy"

cp "$work/main.png" "$(dirname "$exe")/../korvane-smoke.png"
cp "$work/trend.png" "$(dirname "$exe")/../korvane-trend.png"
echo "wine-smoke: port dialog, main window, $polls polls in 2 s, $red crosshair pixels, the trend window" \
  "($blue pixels of the X line; Escape closed it), profile in %APPDATA%, the Windows folder's profile read" \
  "and left alone"
rm -rf "$work"
