#!/usr/bin/env bash
# Makes the installable client folder and the update archive from a build:
#   <out>/TovraClient/                 the folder users put in ~/.local/opt (or /opt): the
#                                      executable, the engine plugin and the player beside it,
#                                      and the marker
#   <out>/TovraClient-<version>-<build>.zip   the archive the update check offers
# and prints the archive's size and SHA-256 for the server's update record.
#
# Usage: scripts/make-bundle.sh [build-dir] [out-dir]
#   TOVRA_BUILD_NUMBER=<n> sets the build number compiled into the client (the update check
#   offers an archive only to clients with a smaller one).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${1:-$root/build}"
out="${2:-$root/dist}"

if [[ ! -f "$build/build.ninja" ]]; then
    "$here/setup.sh" "$build"
fi
if [[ -n "${TOVRA_BUILD_NUMBER:-}" ]]; then
    cmake -S "$root" -B "$build" -DTOVRA_BUILD_NUMBER="$TOVRA_BUILD_NUMBER" > /dev/null
fi
cmake --build "$build" --target tovra-client tovra_engine tovra-player --parallel "${TOVRA_JOBS:-$(nproc)}"

read -r version build_number < <(sed -n 's/.*kVersion\[\] = "\(.*\)";/\1/p; s/.*kBuildNumber = \([0-9-]*\);/\1/p' \
    "$build/generated/buildconfig.h" | paste -sd' ')

unit="$out/TovraClient"
rm -rf -- "$unit"
mkdir -p -- "$unit"
install -s -m 0755 "$build/src/tovra-client" "$unit/tovra-client"
# Loaded from beside the executable the first time a web page or a player opens. Stripping keeps
# the dynamic symbols it binds to in the executable.
install -s -m 0644 "$build/src/libtovra_engine.so" "$unit/libtovra_engine.so"
# The native player's process, started from beside the executable for each play.
install -s -m 0755 "$build/src/tovra-player" "$unit/tovra-player"
# The marker tells the client that this folder is its own to replace or move.
printf 'tovra-client\n' > "$unit/.tovra-app"
chmod 0644 "$unit/.tovra-app"

archive="$out/TovraClient-$version-$build_number.zip"
rm -f -- "$archive"
# Exactly one top-level folder, TovraClient/, as the updater expects.
(cd "$out" && cmake -E tar cf "$(basename "$archive")" --format=zip TovraClient)

size="$(stat -c %s "$archive")"
sha="$(sha256sum "$archive" | cut -d' ' -f1)"
echo "folder:  $unit"
echo "archive: $archive"
echo "version: $version  build: $build_number  size: $size"
echo "sha256:  $sha"
