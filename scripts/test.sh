#!/usr/bin/env bash
# Installs what is needed, builds Tessel with AddressSanitizer and
# UndefinedBehaviorSanitizer, checks formatting, and runs the whole test suite.
# Usage: scripts/test.sh [--no-setup]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,4p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
if [ "${1:-}" != "--no-setup" ]; then
  bash scripts/setup.sh
fi

jobs=$(nproc)
build=build/asan

bash scripts/check-format.sh
bash scripts/check-doc-paths.sh

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=address \
  -DTESSEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300

# Code with threads runs again under ThreadSanitizer.
if [ -f scripts/test-threads.sh ]; then
  bash scripts/test-threads.sh
fi
# Installed Tessel as another project uses it: examples and Debian packages.
if [ -f scripts/test-install.sh ]; then
  bash scripts/test-install.sh --no-setup
fi
# Protocol parsers are fuzzed for a bounded time.
if [ -f scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh
fi
