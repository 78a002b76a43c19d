#!/usr/bin/env bash
# Checks the library's names against .clang-tidy (clang-tidy 14) and fails
# on any finding. Usage: scripts/tidy.sh [build-dir]; the build directory
# must hold a compile database (CMAKE_EXPORT_COMPILE_COMMANDS=ON). Without
# one, the library and the tool are configured (not built) in build-tidy:
# the check needs the compile commands only.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-tidy}
if [ ! -f "$build/compile_commands.json" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DKORVO_BUILD_TESTS=OFF -DKORVO_BUILD_BENCH=OFF -DKORVO_BUILD_EXAMPLES=OFF >/dev/null
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# run-clang-tidy's own exit status is not trusted alone: a file it could
# not parse must fail the check too, so the findings are counted as well.
status=0
run-clang-tidy-14 -p "$build" -j"${KORVO_JOBS:-2}" -quiet \
  '(platform|com|types|diag|ado|db|cmd|recordset|tool)/.*\.cpp$' >"$log" 2>&1 || status=$?
findings=$(grep -cE '(warning|error): ' "$log" || true)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  grep -E '(warning|error): ' "$log" | sort -u >&2 || cat "$log" >&2
  echo "== tidy: $findings findings (run-clang-tidy exit $status)" >&2
  exit 1
fi
echo "== tidy: $(grep -c '"file"' "$build/compile_commands.json") files, no findings"
