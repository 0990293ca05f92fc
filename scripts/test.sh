#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build, once more (every
# test that does not need Qt) under AddressSanitizer and UndefinedBehaviorSanitizer, and the engine's
# and platform's threaded tests (those through the sound server among them) under ThreadSanitizer.
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

echo "== thread sanitizer build (engine and platform tests)"
engine_tests=()
# The sound server's device and the player on it run threads of libpulse's as well as ours.
for f in tests/engine/*_test.cpp tests/platform/*_test.cpp; do engine_tests+=("$(basename "$f" .cpp)"); done
scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
    -DTUNELO_WITH_QT=OFF -DTUNELO_BENCH=OFF -- "${engine_tests[@]}"
passed=0
failed=0
for t in "${engine_tests[@]}"; do
    if TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "build-tsan/tests/$t" --gtest_brief=1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED under ThreadSanitizer: $t"
    fi
done
echo "ThreadSanitizer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
