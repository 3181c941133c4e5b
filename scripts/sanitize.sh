#!/usr/bin/env bash
# Sanitizer builds with clang, each in its own directory, each followed by its tests:
#   address  build-asan: AddressSanitizer + UndefinedBehaviorSanitizer (UB aborts); the whole ctest suite
#   thread   build-tsan: ThreadSanitizer; the audio-thread/message-thread stress test
# Reports from JUCE's own code that cannot be fixed here are excluded narrowly, with the reason, in
# cmake/sanitizer-ignorelist.txt.
# Usage: scripts/sanitize.sh [address|thread|all]   (default all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
what=${1:-all}
jobs=${JOBS:-$(nproc)}

configure() { # dir kind
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_PROJECT_INCLUDE="$root/cmake/Sanitizers.cmake" -DQUOLBANE_SANITIZE="$2" \
        -DQUOLBANE_BUILD_TESTS=ON -DQUOLBANE_BUILD_BENCH=OFF -DQUOLBANE_BUILD_FUZZERS=OFF >/dev/null
}

if [ "$what" = address ] || [ "$what" = all ]; then
    configure build-asan address
    cmake --build build-asan --parallel "$jobs"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # The soak runs half its length here: instrumented code runs several times slower.
    export QUOLBANE_SOAK_SCALE=0.5
    ctest --test-dir build-asan --output-on-failure --parallel "$jobs" --timeout 1500
fi

if [ "$what" = thread ] || [ "$what" = all ]; then
    configure build-tsan thread
    cmake --build build-tsan --parallel "$jobs" --target ConcurrencyStress ConcurrencyTests
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    xvfb-run -a build-tsan/tests/concurrency/ConcurrencyStress 5
    build-tsan/tests/concurrency/ConcurrencyTests
fi
