#!/usr/bin/env bash
# Configures and builds Korvo. KORVO_SANITIZE=1 builds with AddressSanitizer
# and UndefinedBehaviorSanitizer into build-sanitize/ instead of build/.
#
#   bash scripts/build.sh [TARGET...]    (no target: everything)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${KORVO_SANITIZE:-0}" = 1 ]; then
  build_dir=build-sanitize
  cmake_args+=(-DKORVO_SANITIZE=ON -DKORVO_BUILD_BENCH=OFF)
fi

echo "== configure: $build_dir"
cmake -S . -B "$build_dir" "${cmake_args[@]}"
echo "== build: $build_dir (-j${KORVO_JOBS:-2}) ${*:-all targets}"
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build_dir" -j"${KORVO_JOBS:-2}" "${targets[@]}"
