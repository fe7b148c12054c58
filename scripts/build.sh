#!/usr/bin/env bash
# Configures and builds one preset. Usage: scripts/build.sh [default|asan|tsan|fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
case "$preset" in
  default|asan|tsan) bash scripts/install-deps.sh build ;;
  fuzz) bash scripts/install-deps.sh build fuzz ;;
  *) echo "Usage: scripts/build.sh [default|asan|tsan|fuzz]" >&2; exit 2 ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
