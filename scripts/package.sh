#!/usr/bin/env bash
# Builds the Debian packages of an already built tree (default build/),
# unpacks them into a scratch root - nothing is installed on the system -
# and builds and runs the outside host programs of tests/install/ (and the
# packaged korvo tool, when there is one) against that root alone.
#
#   bash scripts/package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=$(realpath "${1:-build}")
out=$build_dir/packages
root=$build_dir/package-root
rm -rf "$out" "$root"
echo "== package: cpack -G DEB in $build_dir"
(cd "$build_dir" && cpack -G DEB -B "$out" >/dev/null)
mkdir -p "$root"
for deb in "$out"/*.deb; do
  echo "   $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
  dpkg-deb -x "$deb" "$root"
done
echo "== package: host programs built against $root/usr"
cmake -DBUILD_DIR="$build_dir" -DHOST_DIR="$PWD/tests/install" -DPREFIX="$root/usr" \
  -P tests/install/run_host.cmake
if [ -x "$root/usr/bin/korvo" ]; then
  echo "== package: the packaged korvo tool"
  # Under /usr the library is in a system directory: no RPATH (lintian).
  if readelf -d "$root/usr/bin/korvo" | grep -E '\((RPATH|RUNPATH)\)'; then
    echo "error: the packaged korvo carries an RPATH" >&2
    exit 1
  fi
  LD_LIBRARY_PATH="$root/usr/lib" "$root/usr/bin/korvo" ":memory:" "SELECT 'from the package' AS korvo"
fi
echo "== package: passed"
