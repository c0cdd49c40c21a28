#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Tessel needs.
# Non-interactive and idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  g++ cmake ninja-build ccache pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  freetds-dev freetds-bin libsybdb5
  libsqlite3-dev sqlite3
  libicu-dev
  libssl-dev openssl
  clang clang-format libclang-rt-14-dev libfuzzer-14-dev
  python3 python3-tds python3-pymssql
  dpkg-dev file
  qt6-base-dev qt6-tools-dev xvfb
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
