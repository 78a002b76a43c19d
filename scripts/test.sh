#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, runs every
# test. KORVO_SANITIZE=1 does the same under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

# The database servers the server tests use, stopped again however the
# suite ends. A caller that started them already (.ci/run) says so with
# KORVO_SERVERS_STARTED=1. Without them those tests skip, except under CI.
servers_dir=${KORVO_SERVERS_DIR:-/tmp/korvo-servers}
if [ "${KORVO_SERVERS_STARTED:-0}" != 1 ]; then
  if bash scripts/servers.sh start; then
    trap 'bash scripts/servers.sh stop' EXIT
  elif [ "${CI:-}" = true ]; then
    echo "== test: the database servers did not start" >&2
    exit 1
  else
    echo "== test: no database servers; the server tests will skip" >&2
  fi
fi
if [ -f "$servers_dir/env.sh" ]; then
  # shellcheck source=/dev/null
  source "$servers_dir/env.sh"
fi

build_dir=build
if [ "${KORVO_SANITIZE:-0}" = 1 ]; then
  build_dir=build-sanitize
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

echo "== test: $build_dir"
ctest --test-dir "$build_dir" --output-on-failure -j"${KORVO_JOBS:-2}" --timeout 600
echo "== test: all tests passed ($build_dir)"
