#!/usr/bin/env bash
# Makes the Wine prefix $1 when it does not exist yet and starts its server, once, so that later
# programs start in about 0.1 s instead of 2.
#
# The server is started here, in the foreground of this session: a server that Wine starts by itself
# leads a session of its own, so the first pseudo-terminal it opens as a COM port becomes its
# controlling terminal, and the board closing that terminal sends it a hang-up signal per event.
# Wine's background services keep the output of the program that started them open; they are
# started here with /dev/null, or a caller waiting for the end of a program's output (ctest) would
# wait for them.
set -euo pipefail
export WINEPREFIX=$1
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
limit=(timeout -k 5 60)

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "${limit[@]}" wineboot -i >/dev/null 2>&1 </dev/null
  # Windows not managed by a window manager: there is none on a virtual display, and Wine would wait
  # two seconds for it each time a window is hidden.
  "${limit[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
  "${limit[@]}" wineserver -w
fi

# The server's socket directory is named after the prefix's device and inode.
server=$(printf 'server-%x-%x' "0x$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
running() { compgen -G "/tmp/*wine*/$server/socket" >/dev/null; }
running && exit 0

wineserver -f -p >/dev/null 2>&1 </dev/null &
for _ in $(seq 100); do
  running && break
  sleep 0.05
done
running || { echo "wine-prefix: the Wine server did not start for $WINEPREFIX" >&2; exit 1; }
"${limit[@]}" wine wineboot >/dev/null 2>&1 </dev/null
