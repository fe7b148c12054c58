#!/usr/bin/env bash
# Installs the Debian packages that the command at hand needs, only those that are missing.
# Runs apt-get directly as root, through sudo otherwise.
# Usage: scripts/install-deps.sh [need ...]   (default: build)
#   build  compilers, CMake, Qt, libudev and GoogleTest: everything the default build needs
#   test   what the test suite runs beside the built programs (the package checks' tools)
#   fuzz   clang and its fuzzing runtime, xxd for the seeds
#   bench  what the measuring programs and their plots need
set -euo pipefail

declare -A need_packages=(
  [build]="cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libudev-dev libgtest-dev libumockdev-dev"
  [test]="dpkg-dev fakeroot file lintian desktop-file-utils appstream qt6-qpa-plugins xvfb openbox x11-utils fonts-dejavu-core xdotool imagemagick umockdev libumockdev-dev"
  [fuzz]="clang libclang-rt-14-dev xxd"
  [bench]="gnuplot-nox"
)

needs=("$@")
[ ${#needs[@]} -gt 0 ] || needs=(build)
packages=()
for need in "${needs[@]}"; do
  if [ -z "${need_packages[$need]+set}" ]; then
    echo "install-deps.sh: unknown need '$need' (build, test, fuzz, bench)" >&2
    exit 2
  fi
  # shellcheck disable=SC2206  # the lists are plain words
  packages+=(${need_packages[$need]})
done

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
