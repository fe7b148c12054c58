#!/usr/bin/env bash
# Makes the Debian package build/qlfwloader_<version>_<arch>.deb from the default build
# (built first if anything is out of date). Install it with: apt-get install ./build/qlfwloader_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
cd build
cpack -G DEB
ls -1 "$PWD"/qlfwloader_*.deb
