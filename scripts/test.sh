#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: scripts/test.sh [default|asan|tsan] [--quick]
#   default  plain build in build/
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
#   tsan     ThreadSanitizer, in build-tsan/ (suppressions in tests/tsan.supp)
#   --quick  skips the tests labelled "slow" (long device time-outs) and "drills" (fault drills)
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { sed -n '3,8s/^# \{0,1\}//p' "$0" >&2; exit 2; }
preset=default
ctest_extra=()
for arg in "$@"; do
  case "$arg" in
    --quick) ctest_extra+=(-LE "slow|drills") ;;
    default|asan|tsan) preset="$arg" ;;
    *) echo "test.sh: unknown argument '$arg'" >&2; usage ;;
  esac
done
bash scripts/build.sh "$preset"
bash scripts/install-deps.sh test
ctest --preset "$preset" -j"$(nproc)" "${ctest_extra[@]}"
