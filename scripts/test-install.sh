#!/usr/bin/env bash
# Checks Tessel as another project meets it: installs a release build into a
# temporary prefix, builds the two examples against that prefix only (CMake
# find_package and a Makefile with pkg-config) and the order-entry example
# against it and Qt 6, runs them against a fresh tessel-sqld, then builds the
# Debian packages and lists what they hold.
# Usage: scripts/test-install.sh [--no-setup]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
if [ "${1:-}" != "--no-setup" ]; then
  bash scripts/setup.sh
fi

say() { printf 'test-install: %s\n' "$*"; }
fail() {
  printf 'test-install: FAILED: %s\n' "$*" >&2
  exit 1
}

# The same build as the demo's, configured for a system install so that the
# packages and the service files name /usr, /etc and /var.
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_BUILD_TESTS=OFF \
  -DTESSEL_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j "$(nproc)"

work=$(mktemp -d)
sqld_pid=""
cleanup() {
  if [ -n "$sqld_pid" ]; then
    kill "$sqld_pid" 2>/dev/null || true
    wait "$sqld_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# 1. Install the libraries, headers and tools into a prefix of our own (the
#    server's settings would go to the system's /etc, so that component stays out).
prefix="$work/prefix"
for component in libtessel libtessel-dev tessel-tools; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
libdir=$(dirname "$(find "$prefix" -name 'libtessel_runtime.so' -print -quit)")
[ -n "$libdir" ] && [ -f "$libdir/libntwdblib.so" ] || fail "libraries missing under $prefix"
if find "$prefix/include" -name 'sybdb.h' -o -name 'sybfront.h' | grep -q .; then
  fail "a FreeTDS header was installed"
fi
say "installed into $prefix (libraries in ${libdir#"$prefix"/})"

# 2. Build both examples against the prefix alone.
unset TESSEL_DBLIB
cmake -S examples/console-cmake -B "$work/console" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF >/dev/null
cmake --build "$work/console" >/dev/null
cp -r examples/pkgconfig-make "$work/make"
PKG_CONFIG_PATH="$libdir/pkgconfig" make -s -C "$work/make" >/dev/null
say "built both examples"

# 3. Run them against a fresh tessel-sqld; they find libntwdblib.so themselves.
password="install-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
"$build/bin/tessel-sqld" --port 0 --password "$password" --quiet >"$work/sqld.out" &
sqld_pid=$!
for _ in $(seq 100); do
  grep -q 'listening on' "$work/sqld.out" 2>/dev/null && break
  sleep 0.1
done
address=$(sed -n 's/^tessel-sqld listening on \(.*\)$/\1/p' "$work/sqld.out")
[ -n "$address" ] || fail "tessel-sqld did not start"

tables=$("$work/console/tessel-tables" "$address" sa "$password" tessel) ||
  fail "tessel-tables: $tables"
echo "$tables" | grep -q 'user tables$' || fail "tessel-tables printed: $tables"
sum=$("$work/make/tessel-sum" "$address" sa "$password" 2 3) || fail "tessel-sum: $sum"
[ "$sum" = "total 5" ] || fail "tessel-sum printed: $sum"
say "both examples ran against tessel-sqld ($(echo "$tables" | tail -n 1); $sum)"

# 3b. The order-entry example: the data-aware controls and the screen loader
#     from the prefix, Qt 6 from the system. It makes its sample tables,
#     edits a line offscreen, posts it and reads it back.
tessel_dir=$(dirname "$(find "$prefix" -name TesselConfig.cmake -print -quit)")
cmake -S examples/order-entry -B "$work/order-entry" -G Ninja -DTessel_DIR="$tessel_dir" \
  >"$work/order-entry.log" 2>&1 || {
  tail -n 30 "$work/order-entry.log" >&2
  fail "configuring examples/order-entry against $prefix"
}
cmake --build "$work/order-entry" >>"$work/order-entry.log" 2>&1 || {
  tail -n 30 "$work/order-entry.log" >&2
  fail "building examples/order-entry against $prefix"
}
ldd "$work/order-entry/order-entry" | grep -q "$libdir/libtessel_controls_loader.so" ||
  fail "order-entry does not use the installed libtessel_controls_loader.so"
check=$(QT_QPA_PLATFORM=offscreen "$work/order-entry/order-entry" --server "$address" --user sa \
  --password "$password" --setup examples/order-entry/order_entry.sql --offscreen-check 2>&1) ||
  fail "order-entry --offscreen-check: $check"
say "order-entry built against the prefix and ran: ${check#order-entry: }"

# 4. The Debian packages: build, unpack into a scratch root, check their files.
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || {
  tail -n 30 "$work/cpack.log" >&2
  fail "cpack -G DEB"
}
root="$work/root"
mkdir -p "$root"
for deb in "$build"/*.deb; do
  dpkg-deb -x "$deb" "$root"
  say "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
done
expect=(
  usr/include/tessel/runtime/Tessel.h usr/include/tessel/framework/dataset.h
  usr/lib/systemd/system/tessel-sqld.service etc/tessel-sqld/tessel-sqld.conf
  usr/bin/tessel-sqld usr/bin/tessel-demo usr/share/man/man1/tessel-sqld.1
  usr/include/tessel/controls/screen_loader.h
)
for file in "${expect[@]}"; do
  [ -e "$root/$file" ] || fail "no $file in the packages"
done
for pattern in 'libtessel_runtime.so.0' 'libtessel_runtime.a' 'libntwdblib.so' \
  'libtessel_controls.so.0' 'libtessel_controls_loader.so.0' 'TesselConfig.cmake' \
  'TesselTargets.cmake' 'tessel.pc'; do
  find "$root/usr/lib" -name "$pattern" | grep -q . || fail "no $pattern in the packages"
done
dpkg-deb -f "$build"/libtessel_*.deb Depends | grep -q libsybdb5 || fail "libtessel must depend on libsybdb5"
dpkg-deb -f "$build"/tessel-sqld_*.deb Depends | grep -q libsqlite3-0 ||
  fail "tessel-sqld must depend on libsqlite3-0"
say "packages hold $(find "$root" -type f | wc -l) files; all expected ones present"
