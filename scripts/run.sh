#!/usr/bin/env bash
# Installs what is missing, builds, and starts the jukebox.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [ -x build/app/tunelo ]; then
    exec build/app/tunelo "$@"
fi
exec build/cli/tunelo-cli help
