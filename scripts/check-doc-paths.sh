#!/usr/bin/env bash
# Checks that every file and folder the design notes name in backticks still
# exists in the tree, so the map cannot drift from the code it describes.
# Usage: scripts/check-doc-paths.sh [FILE.md ...]   (default: docs/design.md)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ]; then
  sed -n '2,4p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
docs=("$@")
[ ${#docs[@]} -gt 0 ] || docs=(docs/design.md)

python3 - "${docs[@]}" <<'PY'
import re, subprocess, sys

tracked = subprocess.check_output(["git", "ls-files"], text=True).split()
# Every tracked file and folder under every suffix of its path, with a leading
# slash so that a name matches only at a path boundary ("src/x.cpp" matches
# "runtime/src/x.cpp", "c/x.cpp" does not).
known = set()
for path in tracked:
    parts = path.split("/")
    for i in range(len(parts)):
        for j in range(i + 1, len(parts) + 1):
            known.add("/" + "/".join(parts[i:j]))

extensions = "cpp|h|md|sh|py|txt|test|cmake|ui|json"
# A file name with a known extension, "name.*" or "name.{h,cpp}"; or a path
# with a slash in backticks.
# System headers in angle brackets and markdown's "**" are not file names.
file_re = re.compile(r"(?<![<A-Za-z0-9_\-/.])[A-Za-z0-9_\-/.]*[A-Za-z0-9_\-]\.(?:(?:%s)\b(?!>)|\*(?!\*)|\{[a-z,]+\})" % extensions)
path_re = re.compile(r"^[a-z][A-Za-z0-9_\-.]*(/[A-Za-z0-9_\-.]+)*/?$")

def expansions(name):
    m = re.search(r"\{([^}]*)\}", name)
    if m:
        return [name[: m.start()] + alt + name[m.end():] for alt in m.group(1).split(",")]
    return [name]

def exists(name):
    name = name.rstrip("/")
    if name.endswith(".*"):
        stem = "/" + name[:-1]
        return any(k.startswith(stem) for k in known)
    return all(("/" + n) in known for n in expansions(name))

missing = 0
for doc in sys.argv[1:]:
    text = open(doc, encoding="utf-8").read()
    for lineno, line in enumerate(text.splitlines(), 1):
        names = set(file_re.findall(line) and [m.group(0) for m in file_re.finditer(line)])
        for token in re.findall(r"`([^`\s]+)`", line):
            if "/" in token and path_re.match(token) and not token.startswith("//"):
                names.add(token)
        for name in sorted(names):
            if name.startswith(("http", "www.")) or "://" in line and name in line.split("://", 1)[1]:
                continue
            if not exists(name):
                print(f"{doc}:{lineno}: {name} names nothing in the tree")
                missing += 1
if missing:
    print(f"{missing} name(s) in the design notes no longer match a file or folder")
    sys.exit(1)
PY
