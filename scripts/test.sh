#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset] [--quick]
#   preset   default (plain build), asan (AddressSanitizer + UndefinedBehaviorSanitizer)
#            or tsan (ThreadSanitizer, suppressions in tests/tsan.supp)
#   --quick  skips the tests labelled "slow" (long device time-outs) and "drills" (fault drills)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
ctest_extra=()
for arg in "$@"; do
  case "$arg" in
    --quick) ctest_extra+=(-LE "slow|drills") ;;
    *) preset="$arg" ;;
  esac
done
bash scripts/build.sh "$preset"
ctest --preset "$preset" -j2 "${ctest_extra[@]}"
