#!/usr/bin/env bash
# wine-cli.sh KORVANE_CLI_EXE   (run through with-board.sh, the board started with
#                                --tilt 128,64,3 --volts 0,1,2,3,-5,4,5)
# korvane-cli.exe under Wine against korvane-board on COM<n>: probe finds the board at 38400 baud;
# poll writes the board's readings in TILT (text) and in DVM (csv), a row per 100 ms tick, and ends
# with status 0 and whole rows on Ctrl+C (SIGINT, which Wine hands to the console control handler);
# a reader that goes away (| head) ends it quietly too; a port that is not there fails with status 1
# and says so; ports lists the board's COM; map, unmap and publish are refused as usage errors. Needs
# WINEPREFIX.
set -euo pipefail
exe=$1
: "${WINEPREFIX:?}" "${KORVANE_BOARD_COM:?run it through with-board.sh}"
export WINEDEBUG=${WINEDEBUG:--all}
here=$(dirname "$0")
com=COM$KORVANE_BOARD_COM
work=$(mktemp -d /tmp/korvane-wine-cli-XXXXXX)
poller=
finish() {
  [ -n "$poller" ] && kill "$poller" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "wine-cli: $*" >&2
  echo "--- standard output:" >&2; cat "$work/out" >&2
  echo "--- standard error:" >&2; cat "$work/err" >&2
  exit 1
}
# Runs korvane-cli with the arguments; its output without Windows line ends in $work/out and
# $work/err, its exit status in $status.
run() {
  status=0
  "$here/wine-run.sh" "$exe" "$@" >"$work/out.raw" 2>"$work/err.raw" || status=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
}
# expect STATUS FILE LINE...: the exit status, and FILE (out or err) holding exactly these lines.
expect() {
  local want=$1 file=$2
  shift 2
  [ "$status" -eq "$want" ] || fail "status $status, not $want"
  if [ $# -eq 0 ]; then
    [ ! -s "$work/$file" ] || fail "standard $file is not empty"
    return
  fi
  diff <(printf '%s\n' "$@") "$work/$file" >/dev/null || fail "standard $file is not as expected: $*"
}
# rows FILE SEPARATOR VALUES COUNT: COUNT rows after the header, each a time in whole ticks later
# than the one before, followed by exactly VALUES.
rows() {
  awk -F "$2" -v values="$3" -v count="$4" '
    NR == 1 { next }
    { time = $1; $1 = ""; sub(/^[ ,]+/, ""); if ($0 != values || time % 100 || time <= last && NR > 2) bad = 1; last = time }
    END { exit (bad || NR - 1 != count) }' OFS="$2" "$1"
}

run probe "$com"
expect 0 out "connected on $com at 38400 baud"
expect 0 err

run poll "$com" --count 3
expect 0 err
head -1 "$work/out" | grep -qx '  t_ms    x    y  left  right' || fail "no TILT header"
rows "$work/out" " " "128 64 UP UP" 3 || fail "not three TILT rows of 128 64 UP UP"

run poll "$com" --mode dvm --count 3 --format csv
expect 0 err
head -1 "$work/out" | grep -qx 't_ms,ch0,ch1,ch2,ch3,ch4,ch5,ch6' || fail "no DVM header"
rows "$work/out" , "0.00,1.00,2.00,3.00,-5.00,4.00,5.00" 3 || fail "not three DVM rows of the board's voltages"

# Until Ctrl+C: timeout hands SIGINT on to Wine, which raises the console's Ctrl+C.
timeout -k 5 60 wine "$exe" poll "$com" --format csv >"$work/poll.raw" 2>"$work/err.raw" &
poller=$!
for _ in $(seq 100); do
  [ "$(wc -l <"$work/poll.raw")" -ge 4 ] && break
  sleep 0.1
done
kill -INT "$poller"
status=0
wait "$poller" || status=$?
poller=
tr -d '\r' <"$work/poll.raw" >"$work/out"
tr -d '\r' <"$work/err.raw" >"$work/err"
expect 0 err
n=$(($(wc -l <"$work/out") - 1))
[ "$n" -ge 3 ] || fail "$n rows before Ctrl+C"
rows "$work/out" , "128,64,UP,UP" "$n" || fail "the rows before Ctrl+C are not whole TILT rows"

# A reader that goes away after two lines (the header and a row) ends the poll quietly.
status=0
"$here/wine-run.sh" "$exe" poll "$com" --count 50 2>"$work/err.raw" | head -n 2 >"$work/out.raw" ||
  status=$?
tr -d '\r' <"$work/out.raw" >"$work/out"
tr -d '\r' <"$work/err.raw" >"$work/err"
expect 0 err
rows "$work/out" " " "128 64 UP UP" 1 || fail "not a header and a TILT row before the pipe closed"

run probe COM16
expect 1 out
expect 1 err "Could not open port." \
  "korvane-cli: COM16: no such port on this system (korvane-cli ports lists the ones there are)"

run ports
expect 0 err
head -1 "$work/out" | grep -qx 'COM ports of this system:' || fail "no heading of the port list"
[ "$(grep -c "^$com " "$work/out")" -eq 1 ] || fail "$com is not listed once"
grep -qx "$(printf '%-7s %s' "$com" 'not listed by the system, but it opens (a Wine dosdevices link)')" \
  "$work/out" || fail "$com is not listed as a port that opens"
grep -q '^COM16 ' "$work/out" && fail "COM16, which is not there, is listed"

for command in map unmap; do
  if [ "$command" = map ]; then run map "$com" 'C:\dev'; else run unmap "$com"; fi
  expect 64 out
  expect 64 err "korvane-cli: $command is not needed on Windows: COM names are the system's own (Device Manager shows which COM number an adapter has)"
done
run publish "$com" --broker localhost
expect 64 out
expect 64 err "korvane-cli: publish is not available on Windows yet (it needs libmosquitto)"

echo "wine-cli: probe at 38400 baud, 3 TILT and 3 DVM rows with the board's readings, $n rows then" \
  "Ctrl+C with status 0, a closed pipe with status 0, the missing COM16, $com in the port list, map, unmap and publish refused"
