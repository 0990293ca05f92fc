#!/usr/bin/env bash
# Installs what is missing, builds, and starts the jukebox window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no display here (DISPLAY and WAYLAND_DISPLAY are empty), so the window cannot open; build/cli/tunelo-cli plays without one"
    exit 1
fi
exec build/app/tunelo "$@"
