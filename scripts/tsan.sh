#!/usr/bin/env bash
# Builds the worker-protocol, sector, reader and platform tests and the progress window's
# worker tests with ThreadSanitizer and runs them.
# Usage: scripts/tsan.sh   (build folder: build-tsan; CXX picks the compiler, g++ by default)
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-tsan
flags="-fsanitize=thread -fno-omit-frame-pointer -O1 -g"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQNL_BENCHMARKS=OFF -DQNL_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$dir" -j "${JOBS:-4}" --target worker_tests sector_tests reader_tests platform_tests qnl_aspi \
  app_progress_tests

# allocator_may_return_null: some tests ask for more memory than exists and expect a refusal.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 allocator_may_return_null=1 ${TSAN_OPTIONS:-}"
# ThreadSanitizer cannot map its shadow memory under some address-space layouts;
# running without layout randomisation avoids that where the kernel allows it.
run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R); fi
status=0
for tests in tests/worker tests/sector tests/reader tests/platform; do
  "${run[@]}" ctest --test-dir "$dir/$tests" --output-on-failure -j "${JOBS:-4}" --timeout 600 || status=1
done
TSAN_OPTIONS="$TSAN_OPTIONS suppressions=$PWD/tests/app/qt-tsan.supp" \
  "${run[@]}" ctest --test-dir "$dir/tests/app" -R '^ProgressWindow\.' --output-on-failure --timeout 600 || status=1
exit $status
