#!/usr/bin/env bash
# Builds the programs and shows the firmware image the loader carries.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
exec ./build/tools/qlimage inspect --embedded
