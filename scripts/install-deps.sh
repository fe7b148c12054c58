#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-serialport-dev libudev-dev
  libgtest-dev
  clang libclang-rt-14-dev xxd
  # the desktop tests (Xvfb with openbox, the X11 platform plugin, the fonts of a stock
  # Debian desktop) and scripts/screenshots.sh
  qt6-qpa-plugins xvfb openbox x11-utils fonts-dejavu-core
  xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
