#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build, and once more
# (every test that does not need Qt) under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen TUNELO_AUDIO=null

echo "== normal build"
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== sanitizer build"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DTUNELO_SANITIZE=ON -DTUNELO_WITH_QT=OFF \
    -DTUNELO_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++
ASAN_OPTIONS=abort_on_error=0:halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
