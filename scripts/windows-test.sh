#!/usr/bin/env bash
# windows-test.sh BUILD_DIR
# Runs the Windows build's tests (ctest) under Wine in BUILD_DIR/wineprefix, on the X display of
# the caller (scripts/with-xvfb.sh). The prefix's server is started afresh for the display: Wine
# takes its window driver from the server's desktop, which a server without a display lacks.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX=$build/wineprefix
timeout -k 5 30 wineserver -k 2>/dev/null || true
"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"
status=0
(cd "$build" && ctest --output-on-failure --timeout 120 -j2) || status=$?
timeout -k 5 30 wineserver -k || true
exit "$status"
