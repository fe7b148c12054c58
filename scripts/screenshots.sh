#!/usr/bin/env bash
# Makes docs/screenshot-en.png and docs/screenshot-ru.png again: the loader's own window
# with three device panels while it writes them, on a desktop of its own (Xvfb with the
# openbox window manager) against qltracker-sim's simulated trackers. The language
# follows the system locale, as on a technician's machine (ru_RU: Russian).
# Usage: scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default >/dev/null

width=820      # the window's outer size on the pictures
height=640
work=$(mktemp -d)
desktop=()   # Xvfb and openbox
shot=()      # the simulator and the loader of one picture
stop() {
  local pid
  for pid in "$@"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap 'stop "${shot[@]}" "${desktop[@]}"; rm -rf "$work"' EXIT

# Waits (up to about a minute) until the command succeeds.
wait_for() {
  for _ in $(seq 600); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "screenshots: gave up waiting for: $*" >&2
  return 1
}

# The desktop: Xvfb picks a free display and tells us its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
desktop+=($!)
wait_for grep -q . "$work/display"
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
desktop=("$!" "${desktop[@]}")
wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

# Three trackers on the loader's two driver libraries: two bridges in their bootloader
# and one tracker that first has to be switched to it. The replies come a little late,
# so that the writes are still running when the pictures are taken.
cat >"$work/trackers.json" <<'EOF'
{"Trackers": [
  {"Serial": 1000001, "Link": "Ftdi", "Mode": "Bootloader", "FirmwareVersion": "QRGX-13.38",
   "BootloaderVersion": "STL4-1.05TR", "Faults": {"ReplyDelayMs": 12}},
  {"Serial": 1000002, "Link": "MakerUsb", "UsbTag": 1, "Mode": "Bootloader",
   "FirmwareVersion": "QRGX-13.38-a6", "BootloaderVersion": "STL4-1.05TR", "Faults": {"ReplyDelayMs": 20}},
  {"Serial": 1000003, "Link": "Ftdi", "Mode": "Application", "FirmwareVersion": "QRGX-13.37",
   "BootloaderVersion": "STL4-1.05TR", "RebootDelayMs": 600, "Faults": {"ReplyDelayMs": 8}}
]}
EOF

# One picture: a fresh simulator and a private copy of the loader in the given locale.
shoot() {
  local locale=$1 out=$2 dir="$work/$1"
  mkdir -p "$dir/run"
  chmod 700 "$dir/run"
  cp build/app/qlfwloader "$dir/"
  # An empty language: the system locale decides.
  printf '[COMMON]\nLanguage=\nMainForm=0,0,%d,%d,0,170,0,0,0,0,0,0\n' "$width" "$height" >"$dir/QLFWLoader.ini"

  build/sim/qltracker-sim --config "$work/trackers.json" --events "$dir/events" >"$dir/sim.out" 2>&1 &
  shot=($!)
  wait_for grep -q '^Ready' "$dir/sim.out"
  local socket
  socket=$(sed -n 's/^  export QLSIM_SOCKET=//p' "$dir/sim.out")

  LC_ALL=$locale LANG=$locale XDG_RUNTIME_DIR="$dir/run" QLFW_DEVICE_EVENTS="$dir/events" \
    LD_LIBRARY_PATH="$PWD/build/sim/stand-in" QLSIM_SOCKET="$socket" QT_QPA_PLATFORM=xcb \
    "$dir/qlfwloader" autowrite console >"$dir/loader.out" 2>"$dir/loader.err" &
  local loader=$!
  shot=("$loader" "${shot[@]}")
  # All three are being written: each has sent pieces of a sector.
  local serial
  for serial in 1000001 1000002 1000003; do
    wait_for grep -qP "^[^\\t ]+ $serial\\t\\(\\s*\\d+\\)\\t" "$dir/loader.out" || {
      cat "$dir/loader.out" "$dir/loader.err" >&2
      exit 1
    }
  done
  sleep 2
  # The frame openbox put round the window, title bar included.
  local client frame
  client=$(xdotool search --pid "$loader" --onlyvisible | head -1)
  frame=$(xwininfo -id "$client" -tree | sed -n 's/^  Parent window id: \(0x[0-9a-f]*\).*/\1/p')
  import -window "$frame" "$out"
  echo "screenshots: $out"
  stop "${shot[@]}"
  shot=()
}

[ "${1:-}" = ru ] || shoot en_US.UTF-8 docs/screenshot-en.png
shoot ru_RU.UTF-8 docs/screenshot-ru.png
