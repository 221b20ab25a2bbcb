#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12), builds, and runs every test
# twice: a normal build and an AddressSanitizer + UndefinedBehaviorSanitizer build.
# Then the worker tests under ThreadSanitizer and each fuzz target for a bounded time.
# Usage: scripts/test.sh [normal|sanitize|tsan|fuzz|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          xorriso genisoimage ccd2iso sox zip gcab imagemagick lame ghostscript jlha-utils
          qt6-base-dev xvfb xauth fonts-noto-cjk)
scripts/install-packages.sh "${packages[@]}"

jobs=$(nproc)
run_suite() {  # build dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 1500
}

if [ "$which" = all ] || [ "$which" = normal ]; then
  run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [ "$which" = all ] || [ "$which" = sanitize ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQNL_SANITIZE=ON -DQNL_BENCHMARKS=OFF
fi
if [ "$which" = all ] || [ "$which" = tsan ]; then
  JOBS=$jobs scripts/tsan.sh
fi
if [ "$which" = all ] || [ "$which" = fuzz ]; then
  FUZZ_JOBS=$jobs scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
fi
