#!/usr/bin/env bash
# The README's main job: installs what is missing, builds, and runs the demo
# host program on an embedded SQLite database.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
# Unless the caller brings a registry file, switch the SQL trace on into
# build/demo, beside the demo's database.
demo_dir="$PWD/build/demo"
mkdir -p "$demo_dir"
if [ -z "${KORVO_REGISTRY:-}" ]; then
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n"Dbms Korvo Trace"="%s"\r\n' \
    "$demo_dir" >"$demo_dir/registry.reg"
  export KORVO_REGISTRY="$demo_dir/registry.reg"
fi
echo "== demo: build/examples/korvo_demo (registry: $KORVO_REGISTRY)"
if [ $# -eq 0 ]; then set -- "$demo_dir/korvo_demo.db"; fi
./build/examples/korvo_demo "$@" &
demo_pid=$!
wait "$demo_pid"
echo
echo "== demo: build/examples/korvo_recordset_walkthrough"
./build/examples/korvo_recordset_walkthrough "$(dirname "$1")/korvo_walkthrough.db"
# The connection demo's trace; the walk-through's is beside it.
trace="$demo_dir/~KORVO$demo_pid.log"
if [ -f "$trace" ]; then
  echo "== SQL trace: $trace"
  tr -d '\r' <"$trace" | sed '/^$/d'
  echo
fi
