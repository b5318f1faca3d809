#!/usr/bin/env bash
# The demo: runs what the tree has built so far.
set -euo pipefail
build=${1:-build}
if [ -x "$build/bin/korvane" ]; then
  exec "$build/bin/korvane"
fi
echo "The Korvane program is not built yet; the demo runs the library's tests instead."
cd "$build" && ctest --output-on-failure
