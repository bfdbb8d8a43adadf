#!/usr/bin/env bash
# Builds everything and runs every test. Set-up included: see scripts/setup.sh.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${TOVRA_BUILD_DIR:-$(dirname "$here")/build}"
"$here/setup.sh" "$build"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
