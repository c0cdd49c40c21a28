#!/usr/bin/env bash
# Builds the order-entry example (examples/order-entry) and tessel-sqld,
# starts tessel-sqld on a free loopback port, fills it with the example's
# sample database, and runs the example against it. The server is stopped
# when the script ends. Without a display, or with --offscreen-check (open,
# edit, post, read back, exit 0 when all held), it runs offscreen.
# Usage: scripts/order-entry.sh [--no-setup] [order-entry options...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
if [ "${1:-}" = "--no-setup" ]; then
  shift
else
  bash scripts/setup.sh
fi

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_BUILD_TESTS=OFF \
  -DTESSEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target tessel-sqld ntwdblib order-entry
bin="$PWD/$build/bin"
export TESSEL_DBLIB="$PWD/$build/lib/libntwdblib.so"

workdir=$(mktemp -d)
password="orders-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
# shellcheck source=scripts/lib/sqld.sh
source scripts/lib/sqld.sh
start_sqld order-entry "$bin" "$password" "$workdir"
address=$sqld_address

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [[ " $* " == *" --offscreen-check "* ]]; then
  export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi
"$bin/order-entry" --server "$address" --user sa --password "$password" \
  --setup examples/order-entry/order_entry.sql "$@"
