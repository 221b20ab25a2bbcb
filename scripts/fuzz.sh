#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)
# in their own build folder and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target]   (default: 60)
# FUZZ_BUILD_DIR chooses the build folder (default: build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-4}

cmake -S fuzz -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir" -j "$jobs"

status=0
for target in fuzz_toc fuzz_mode_pages fuzz_dirrecord; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  if ! "$dir/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/$target-" \
      "$corpus" "fuzz/seeds/$target"; then
    echo "$target found a failure; the input is in $dir/$target-*" >&2
    status=1
  fi
done
exit $status
