#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, runs every
# test. KORVO_SANITIZE=1 does the same under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

build_dir=build
if [ "${KORVO_SANITIZE:-0}" = 1 ]; then
  build_dir=build-sanitize
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

echo "== test: $build_dir"
ctest --test-dir "$build_dir" --output-on-failure -j"${KORVO_JOBS:-2}" --timeout 600
echo "== test: all tests passed ($build_dir)"
