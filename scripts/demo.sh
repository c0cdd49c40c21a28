#!/usr/bin/env bash
# The main job: installs what is needed, builds Tessel, starts the embedded
# tessel-sqld on a free loopback port with a fresh sample database, and runs
# the demo program against it. The server is stopped when the script ends.
# Usage: scripts/demo.sh [--no-setup] [demo arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
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
cmake --build "$build" -j "$(nproc)"
bin="$PWD/$build/bin"
export TESSEL_DBLIB="$PWD/$build/lib/libntwdblib.so"

if [ ! -x "$bin/tessel-sqld" ]; then
  echo "demo: tessel-sqld is not built yet; running the client-library probe only"
  exec "$bin/tessel-dblib-probe"
fi

workdir=$(mktemp -d)
password="demo-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
"$bin/tessel-sqld" --port 0 --password "$password" --data "$workdir/data" --quiet \
  >"$workdir/sqld.out" 2>"$workdir/sqld.err" &
sqld_pid=$!
cleanup() {
  kill "$sqld_pid" 2>/dev/null || true
  wait "$sqld_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT

port=""
for _ in $(seq 1 100); do
  line=$(head -n 1 "$workdir/sqld.out" 2>/dev/null || true)
  if [[ "$line" =~ ^tessel-sqld\ listening\ on\ 127\.0\.0\.1:([0-9]+)$ ]]; then
    port=${BASH_REMATCH[1]}
    break
  fi
  if ! kill -0 "$sqld_pid" 2>/dev/null; then
    echo "demo: tessel-sqld stopped before it listened:" >&2
    cat "$workdir/sqld.err" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: tessel-sqld did not report its port" >&2
  exit 1
fi
echo "demo: tessel-sqld listening on 127.0.0.1:$port"

if [ -x "$bin/tessel-demo" ]; then
  "$bin/tessel-demo" --server "127.0.0.1:$port" --user sa --password "$password" "$@"
  if [ -x "$bin/tessel-run" ]; then
    # The same table from a form file, with the login given on the command line.
    sed -n '/^object Parts: TDataModule$/,/^end$/p' README.md >"$workdir/parts.tfm"
    echo "demo: tessel-run $workdir/parts.tfm"
    "$bin/tessel-run" "$workdir/parts.tfm" --server "127.0.0.1:$port" --password "$password"
  fi
else
  "$bin/tessel-dblib-probe"
  printf 'select @@version\ngo\nexit\n' |
    tsql -H 127.0.0.1 -p "$port" -U sa -P "$password" 2>&1 | grep -v '^locale'
fi
