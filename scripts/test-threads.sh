#!/usr/bin/env bash
# Builds the test programs that exercise threads (targets named *_thread_tests,
# the TDS session tests, whose listener runs a thread per session, and the
# engine's lock tests, whose sessions wait for each other) with
# ThreadSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=thread \
  -DTESSEL_BUILD_BENCH=OFF >/dev/null
mapfile -t targets < <(ninja -C "$build" -t targets all |
  sed -n 's/^\([A-Za-z0-9_]*_thread_tests\|tds_session_test\|engine_locks_test\): .*/\1/p' |
  sort -u)
if ((${#targets[@]} == 0)); then
  echo "test-threads: no thread test programs"
  exit 0
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
ctest --test-dir "$build" --output-on-failure -L threads -j "$(nproc)" --timeout 300
if printf '%s\n' "${targets[@]}" | grep -qx tds_session_test; then
  ctest --test-dir "$build" --output-on-failure -R '^TdsSession' --timeout 300
fi
if printf '%s\n' "${targets[@]}" | grep -qx engine_locks_test; then
  ctest --test-dir "$build" --output-on-failure -R '^LocksTest\.' --timeout 300
fi
