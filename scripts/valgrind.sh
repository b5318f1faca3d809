#!/usr/bin/env bash
# The library, stand-in, CLI and program tests under Valgrind memcheck (make valgrind; not in CI,
# where ASan and UBSan run the whole suite). Memory errors and definite leaks fail the run; leaks
# inside fontconfig are suppressed (tests/valgrind.supp). The fault matrix's board rows are left out:
# they assert that the window answers within 200 ms, which no program does at memcheck's speed.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
status=0
for t in test_commlink test_win32 test_cli test_app; do
  filter='*'
  [ "$t" = test_app ] && filter='-FaultMatrix.BoardsThatMisbehave'
  log="$build/valgrind-$t.log"
  if valgrind -q --error-exitcode=9 --leak-check=full --errors-for-leak-kinds=definite \
       --suppressions=tests/valgrind.supp "$build/bin/$t" --gtest_filter="$filter" >"$log" 2>&1; then
    echo "valgrind: $t clean ($(grep -E '^\[  PASSED  \]' "$log"))"
  else
    echo "valgrind: $t FAILED, see $log"
    status=1
  fi
done
exit $status
