#!/usr/bin/env bash
# Builds the client and runs it against the local sample site, in a throw-away profile so the
# user's own settings, token and caches are never touched.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${TOVRA_BUILD_DIR:-$(dirname "$here")/build}"
"$here/setup.sh" "$build"

profile="$(mktemp -d -t tovra-profile.XXXXXX)"
portfile="$profile/samplesite.port"
"$build/tools/samplesite/tovra-samplesite" --port-file "$portfile" &
site=$!
trap 'kill "$site" 2>/dev/null || true; rm -rf "$profile"' EXIT
for _ in $(seq 50); do [[ -s "$portfile" ]] && break; sleep 0.1; done
port="$(cat "$portfile")"
base="http://127.0.0.1:$port"

export XDG_CONFIG_HOME="$profile/config" XDG_DATA_HOME="$profile/data" XDG_CACHE_HOME="$profile/cache"
mkdir -p "$XDG_CONFIG_HOME/TovraClient"
printf '[General]\nbaseURL=%s\n' "$base" > "$XDG_CONFIG_HOME/TovraClient/TovraClient.conf"
export TOVRA_SEARCH_URL="$base/index" TOVRA_MEDIA_URL="$base/media" TOVRA_WEB_URL="$base/web"
echo "Sample site at $base; profile in $profile"
"$build/src/tovra-client" "$@"
