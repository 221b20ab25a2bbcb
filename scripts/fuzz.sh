#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer)
# in their own build folder and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target]   (default: 60)
# FUZZ_BUILD_DIR chooses the build folder (default: build-fuzz). The file-type plug-in
# targets run FUZZ_JOBS at a time for FUZZ_PLUGIN_SECONDS each (default: 20), the recording
# target for FUZZ_RECORDING_SECONDS (default: 20).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-4}

cmake -S fuzz -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir" -j "$jobs"

status=0
for target in fuzz_toc fuzz_mode_pages fuzz_dirrecord fuzz_recording; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  limit=$seconds
  [ "$target" != fuzz_recording ] || limit=${FUZZ_RECORDING_SECONDS:-20}
  echo "== $target for ${limit}s"
  if ! "$dir/$target" -max_total_time="$limit" -print_final_stats=1 -artifact_prefix="$dir/$target-" \
      "$corpus" "fuzz/seeds/$target"; then
    echo "$target found a failure; the input is in $dir/$target-*" >&2
    status=1
  fi
done

# The plug-in targets side by side, each on up to ten sectors of input.
plugin_seconds=${FUZZ_PLUGIN_SECONDS:-20}
seeds="$dir/plugin-seeds"
rm -rf "$seeds"
"$dir/fuzz_plugin_seeds" "$seeds"
collect() {  # pid:target
  wait "${1%%:*}" && return 0
  tail -n 40 "$dir/${1#*:}.log"
  echo "${1#*:} found a failure; the input is in $dir/${1#*:}-*" >&2
  status=1
}
running=()
for name in bmp cab gif jpeg lzh mp3 pdf png riff zip; do
  target=fuzz_plugin_$name
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${plugin_seconds}s"
  "$dir/$target" -max_total_time="$plugin_seconds" -max_len=24000 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/$target-" "$corpus" "$seeds" >"$dir/$target.log" 2>&1 &
  running+=("$!:$target")
  if [ ${#running[@]} -ge "$jobs" ]; then
    collect "${running[0]}"
    running=("${running[@]:1}")
  fi
done
for entry in "${running[@]}"; do collect "$entry"; done
exit $status
