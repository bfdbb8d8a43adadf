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
  # A Node.js installed from outside Debian carries its own npm, and Debian's npm package
  # conflicts with it: any working npm will do.
  if [[ $pkg == npm ]] && command -v npm >/dev/null; then
    continue
  fi
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

# The HTML5 player page's library, at the version pinned in tools/shaka, lives in the build
# folder; it is installed again only when the pin changes.
shaka="$build/shaka"
if ! cmp -s "$root/tools/shaka/package-lock.json" "$shaka/package-lock.json" \
   || [[ ! -f "$shaka/node_modules/shaka-player/dist/shaka-player.ui.js" ]]; then
  mkdir -p "$shaka"
  cp "$root/tools/shaka/package.json" "$root/tools/shaka/package-lock.json" "$shaka/"
  (cd "$shaka" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error)
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
