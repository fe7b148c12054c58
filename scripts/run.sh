#!/usr/bin/env bash
# Builds the programs and starts the loader. With a display it opens its window; without
# one it runs on Qt's offscreen platform with "console", so every log line appears here.
# Extra arguments go to the loader (for example: autowrite autoclose comport=ttyUSB0).
# Ctrl+C ends it like a close of the window (settings saved, exit status 255).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
loader=./build/app/qlfwloader
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$loader" "$@"
fi
QT_QPA_PLATFORM=offscreen exec "$loader" console "$@"
