#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix, as CMake's emulator for the
# Windows build: a fresh prefix is made on first use, every run has a time limit, and Wine's own
# chatter is off. WINEPREFIX from the environment wins.
set -euo pipefail
exe=$1
shift
build=$(cd "$(dirname "$exe")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"
exec timeout -k 5 60 wine "$exe" "$@"
