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
"$bin/tessel-sqld" --port 0 --password "$password" --quiet >"$workdir/sqld.out" \
  2>"$workdir/sqld.err" &
sqld_pid=$!
cleanup() {
  kill "$sqld_pid" 2>/dev/null || true
  wait "$sqld_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT

address=""
for _ in $(seq 1 100); do
  address=$(sed -n 's/^tessel-sqld listening on \(127\.0\.0\.1:[0-9]*\)$/\1/p' "$workdir/sqld.out")
  [ -n "$address" ] && break
  if ! kill -0 "$sqld_pid" 2>/dev/null; then
    echo "order-entry: tessel-sqld stopped before it listened:" >&2
    cat "$workdir/sqld.err" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$address" ]; then
  echo "order-entry: tessel-sqld did not report its port" >&2
  exit 1
fi
echo "order-entry: tessel-sqld listening on $address"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [[ " $* " == *" --offscreen-check "* ]]; then
  export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi
"$bin/order-entry" --server "$address" --user sa --password "$password" \
  --setup examples/order-entry/order_entry.sql "$@"
