#!/usr/bin/env bash
# Installs the Debian packages Korvo needs to build and test, when missing.
# As root it runs apt-get; otherwise it names the missing packages and fails.
set -euo pipefail

packages=(cmake g++ make pkg-config libsqlite3-dev sqlite3 unixodbc-dev libpq-dev libgtest-dev
          libgmock-dev libbenchmark-dev)
# The API reference (target korvo_docs).
packages+=(doxygen)
# The Debian packages (scripts/package.sh): dpkg-shlibdeps, and file, which CPack uses to find binaries.
packages+=(dpkg-dev file)
# The korvo tool: argument parsing, line editing, CSV reading; tmux drives
# its interactive prompt in the tests.
packages+=(libcli11-dev libedit-dev libcsv-dev tmux)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "== setup: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "== setup: missing Debian packages: ${missing[*]}" >&2
  echo "   install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "== setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt_opts=(-y -q -o DPkg::Lock::Timeout=600)
if ! apt-get install "${apt_opts[@]}" "${missing[@]}"; then
  apt-get update -q -o DPkg::Lock::Timeout=600
  apt-get install "${apt_opts[@]}" "${missing[@]}"
fi
