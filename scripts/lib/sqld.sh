# shellcheck shell=bash
# Starting tessel-sqld for a script (sourced by scripts/demo.sh and
# scripts/order-entry.sh).

# Starts BIN/tessel-sqld on a free loopback port with the given password and
# waits until it listens; its output goes to files in WORKDIR. The server is
# stopped and WORKDIR removed when the script exits. Sets sqld_address
# (127.0.0.1:PORT) and sqld_port; NAME starts every message.
# Usage: start_sqld NAME BIN PASSWORD WORKDIR [tessel-sqld options...]
start_sqld() {
  local name=$1 bin=$2 password=$3
  sqld_workdir=$4
  shift 4
  "$bin/tessel-sqld" --port 0 --password "$password" "$@" --quiet \
    >"$sqld_workdir/sqld.out" 2>"$sqld_workdir/sqld.err" &
  sqld_pid=$!
  trap stop_sqld EXIT

  sqld_address=""
  for _ in $(seq 1 100); do
    sqld_address=$(sed -n 's/^tessel-sqld listening on \(127\.0\.0\.1:[0-9]*\)$/\1/p' \
      "$sqld_workdir/sqld.out")
    [ -n "$sqld_address" ] && break
    if ! kill -0 "$sqld_pid" 2>/dev/null; then
      echo "$name: tessel-sqld stopped before it listened:" >&2
      cat "$sqld_workdir/sqld.err" >&2
      exit 1
    fi
    sleep 0.1
  done
  if [ -z "$sqld_address" ]; then
    echo "$name: tessel-sqld did not report its port" >&2
    exit 1
  fi
  # shellcheck disable=SC2034  # read by the sourcing script
  sqld_port=${sqld_address##*:}
  echo "$name: tessel-sqld listening on $sqld_address"
}

stop_sqld() {
  kill "$sqld_pid" 2>/dev/null || true
  wait "$sqld_pid" 2>/dev/null || true
  rm -rf "$sqld_workdir"
}
