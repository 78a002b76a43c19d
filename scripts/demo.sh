#!/usr/bin/env bash
# The README's main job: installs what is missing, builds, and runs the demo
# host program on an embedded SQLite database.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
echo "== demo: build/examples/korvo_demo"
./build/examples/korvo_demo "$@"
