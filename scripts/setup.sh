#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds incrementally.
# Usage: scripts/setup.sh [build-dir]   (as root on a fresh Debian 12 machine)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"

mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' "$here/debian-packages.txt")
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages need root: run this command as root (or with sudo)." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

jobs="${TOVRA_JOBS:-$(nproc)}"
# TOVRA_CMAKE_ARGS: extra configure options (scripts/run-sanitized-tests.sh turns the sanitizers on).
read -r -a extra <<< "${TOVRA_CMAKE_ARGS:-}"
if command -v ccache > /dev/null; then
  extra+=("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
fi
if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}"
fi
cmake --build "$build" --parallel "$jobs"
