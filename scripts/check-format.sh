#!/usr/bin/env bash
# Fails when clang-format would change any C++ file of the project.
set -u
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format missing"; exit 1; }
files=$(git ls-files -co --exclude-standard -- '*.cpp' '*.h' 2>/dev/null)
[ -n "$files" ] || files=$(find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' 2>/dev/null)
bad=$(printf '%s\n' $files | xargs -r clang-format --dry-run 2>&1 | grep -c 'warning:')
if [ "$bad" != 0 ]; then
  printf '%s\n' $files | xargs -r clang-format --dry-run 2>&1 | grep 'warning:' | head -20
  echo "clang-format would change $bad places: run scripts/format.sh"
  exit 1
fi
