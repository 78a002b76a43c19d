#!/usr/bin/env bash
# The README's main job: installs what is missing, builds, and runs the
# guided tour (examples/tour/) on an embedded SQLite database.
#
#   bash scripts/demo.sh [database-file]    (default: build/tour/korvo_tour.db)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# The tour and the korvo tool only: the test suites are scripts/test.sh's.
bash scripts/build.sh korvo_tour korvo_cli
# Unless the caller brings a registry file, switch the SQL trace on into
# build/tour, beside the tour's database: the tour's last step prints it.
tour_dir="$PWD/build/tour"
mkdir -p "$tour_dir"
if [ -z "${KORVO_REGISTRY:-}" ]; then
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n"Dbms Korvo Trace"="%s"\r\n' \
    "$tour_dir" >"$tour_dir/registry.reg"
  export KORVO_REGISTRY="$tour_dir/registry.reg"
fi
echo "== tour: build/examples/korvo_tour (registry: $KORVO_REGISTRY)"
exec ./build/examples/korvo_tour "${1:-$tour_dir/korvo_tour.db}"
