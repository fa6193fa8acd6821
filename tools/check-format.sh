#!/usr/bin/env bash
# Fails when a C++ file of the program differs from what clang-format makes of it (.clang-format:
# the style, includes sorted within their blocks). Usage: check-format.sh [ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"
if ! command -v clang-format >/dev/null 2>&1; then
  echo "check-format: clang-format is not installed (./qat setup installs it)" >&2
  exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
else
  files=$(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
bad=()
for f in $files; do
  [ -f "$f" ] || continue
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: not formatted (run clang-format -i on them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: every C++ file is formatted"
