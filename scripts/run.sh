#!/usr/bin/env bash
# Builds Quarnel (a fresh Debian 12 machine: installs what it needs first), makes the
# damaged sample disc once (build/sample/sample.*), and starts the program with that disc
# in an emulated drive. Real CD drives the user may open are listed beside it.
# Usage: scripts/run.sh [IMAGE.ccd ...]   (other image sets instead of the sample disc)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-packages.sh cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev \
  qt6-base-dev qt6-qpa-plugins xvfb xauth fonts-noto-cjk genisoimage sox imagemagick zip

[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target Quarnel quarnel-discbuild

discs=("$@")
if [ ${#discs[@]} -eq 0 ]; then
  [ -f build/sample/sample.ccd ] || scripts/make-sample-disc.sh build/sample/sample build/emulator/quarnel-discbuild
  discs=(build/sample/sample.ccd)
fi
list=$(IFS=:; echo "${discs[*]}")
QUARNEL_EMULATED_DRIVES="$list" exec build/Quarnel
