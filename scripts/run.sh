#!/usr/bin/env bash
# Builds the programs and starts the loader. With a display it opens its window; without
# one it runs on Qt's offscreen platform with "console", so every log line appears here.
# Extra arguments go to the loader (for example: autowrite autoclose comport=ttyUSB0).
# Ctrl+C ends it like a close of the window (settings saved, exit status 255).
#
# When neither driver library is installed on this machine (no tracker can be reached),
# the loader is shown at work against qltracker-sim and its three simulated trackers
# instead; --sim forces that, --no-sim never starts the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
use_sim=auto
args=()
for arg in "$@"; do
  case "$arg" in
    --sim) use_sim=yes ;;
    --no-sim) use_sim=no ;;
    *) args+=("$arg") ;;
  esac
done
bash scripts/build.sh default
loader=./build/app/qlfwloader
if [ "$use_sim" = auto ]; then
  use_sim=no
  if ! /sbin/ldconfig -p 2>/dev/null | grep -qE 'lib(ftd2xx|qlusb)\.so' \
      && [ -z "${LD_LIBRARY_PATH:-}" ]; then
    use_sim=yes
  fi
fi
if [ "$use_sim" = yes ]; then
  demo=$(mktemp -d)
  trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$demo"' EXIT
  export QLFW_DEVICE_EVENTS="$demo/device-events"
  ./build/sim/qltracker-sim > "$demo/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do
    grep -q '^Ready' "$demo/sim.out" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$demo/sim.out"
  if ! grep -q '^Ready' "$demo/sim.out"; then
    echo "run.sh: qltracker-sim did not start (its output is above); the loader is not started." >&2
    exit 1
  fi
  # Only the two values the stand-in libraries need are taken from what it printed.
  LD_LIBRARY_PATH=$(sed -n 's/^  export LD_LIBRARY_PATH=//p' "$demo/sim.out")
  QLSIM_SOCKET=$(sed -n 's/^  export QLSIM_SOCKET=//p' "$demo/sim.out")
  export LD_LIBRARY_PATH QLSIM_SOCKET
  echo "No driver library on this machine: the loader runs against the simulated trackers."
  # No exec: the trap must stop the simulator when the loader ends.
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$loader" "${args[@]}"
  else
    QT_QPA_PLATFORM=offscreen "$loader" console "${args[@]}"
  fi
  exit $?
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$loader" "${args[@]}"
fi
QT_QPA_PLATFORM=offscreen exec "$loader" console "${args[@]}"
