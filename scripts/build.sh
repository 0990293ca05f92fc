#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh FOLDER [cmake options...] [-- TARGETS...]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$1
shift
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    options+=("$1")
    shift
done
[ $# -gt 0 ] && shift
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake -S . -B "$folder" -G Ninja "${options[@]}" >/dev/null
cmake --build "$folder" -j "$(nproc)" "${targets[@]}"
