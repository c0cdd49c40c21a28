#!/usr/bin/env bash
# Builds the fuzz targets of the TDS listener's parsers with clang and
# libFuzzer (ASan and UBSan on) in build/fuzz, and runs each for a bounded
# time from the seeds in server/tds/fuzz/seeds. Exits 0 when all run clean.
# Usage: scripts/fuzz.sh [seconds per target, default 20; or TESSEL_FUZZ_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
seconds=${1:-${TESSEL_FUZZ_SECONDS:-20}}
targets=(tds_fuzz_packets tds_fuzz_login tds_fuzz_requests tds_fuzz_session)
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=address \
  -DTESSEL_BUILD_FUZZ=ON -DTESSEL_BUILD_TESTS=OFF -DTESSEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for t in "${targets[@]}"; do
  corpus="$work/$t"
  mkdir -p "$corpus"
  cp server/tds/fuzz/seeds/"$t"/* "$corpus"/
  echo "fuzz: $t for ${seconds}s"
  "$build/bin/$t" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -timeout=10 -artifact_prefix="$work/$t-" -print_final_stats=0 "$corpus" 2>"$work/$t.log" || {
    echo "fuzz: $t found a failure:" >&2
    tail -n 60 "$work/$t.log" >&2
    mkdir -p build/fuzz-artifacts
    cp "$work/$t"-* build/fuzz-artifacts/ 2>/dev/null || true
    exit 1
  }
  grep -E '^#[0-9]+.*DONE' "$work/$t.log" | tail -n 1 || true
done
echo "fuzz: all targets ran clean"
