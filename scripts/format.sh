#!/usr/bin/env bash
# Applies .clang-format to every tracked C++ file; with --check, changes
# nothing and fails naming the files that differ (CI runs it that way).
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format
command -v "$format" >/dev/null || format=clang-format-14

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
  unformatted=()
  for f in "${files[@]}"; do
    "$format" --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
  done
  if [ ${#unformatted[@]} -ne 0 ]; then
    echo "== format: not formatted (run scripts/format.sh): ${unformatted[*]}" >&2
    exit 1
  fi
  echo "== format: all ${#files[@]} files formatted"
else
  "$format" -i "${files[@]}"
fi
