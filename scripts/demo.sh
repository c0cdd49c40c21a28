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
# shellcheck source=scripts/lib/sqld.sh
source scripts/lib/sqld.sh
start_sqld demo "$bin" "$password" "$workdir" --data "$workdir/data"
port=$sqld_port

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
