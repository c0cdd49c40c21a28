#!/usr/bin/env bash
# Fails when a tracked C or C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' 2>/dev/null)
if ((${#files[@]} == 0)); then exit 0; fi
bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format --style=file --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if ((${#bad[@]})); then
  echo "check-format: these files need clang-format -i:" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files clean"
