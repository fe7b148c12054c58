#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each from the seeds in
# fuzz/seeds/ for a fixed number of inputs. A crashing input is kept in
# build-fuzz/findings/<target>/; turn each into a regression test.
# Usage: scripts/fuzz.sh [runs per target, default 1000000] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-1000000}"
shift || true
bash scripts/install-deps.sh build fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz_all
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(ls fuzz/seeds | sed 's/\.txt$//'))
status=0
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  findings="build-fuzz/findings/$t"
  mkdir -p "$corpus" "$findings"
  i=0
  grep -v '^#' "fuzz/seeds/$t.txt" | while read -r hex; do
    [ -n "$hex" ] && echo "$hex" | xxd -r -p > "$corpus/seed-$i" && i=$((i + 1))
  done
  echo "== $t: $runs runs"
  if ! "build-fuzz/fuzz/$t" -runs="$runs" -max_len=4096 -artifact_prefix="$findings/" \
      -print_final_stats=1 "$corpus" 2>&1 | grep -E '^(stat::number_of_executed_units|==|SUMMARY|Done)'; then
    status=1
  fi
  if ls "$findings"/crash-* "$findings"/leak-* "$findings"/timeout-* >/dev/null 2>&1; then
    echo "!! $t: findings in $findings"
    status=1
  fi
done
exit $status
