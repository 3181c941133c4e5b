#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang; JUCE and our code with ASan, UBSan and
# coverage) and runs each for a bounded time from the checked-in seeds.
# Usage: scripts/fuzz.sh [seconds per target]   (default 60)
# A crash leaves its input in build-fuzz/crashes/<target>/; copy it into
# tests/fuzz/regressions/<state|engine|component>/ so the normal suite replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
jobs=${JOBS:-$(nproc)}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_PROJECT_INCLUDE="$root/cmake/Sanitizers.cmake" -DQUOLBANE_SANITIZE=fuzzer \
    -DQUOLBANE_BUILD_TESTS=ON -DQUOLBANE_BUILD_BENCH=OFF -DQUOLBANE_BUILD_FUZZERS=ON >/dev/null
if ! cmake --build build-fuzz --parallel "$jobs" --target StateRestoreFuzzer EngineFuzzer ComponentStateFuzzer >build-fuzz/build.log 2>&1; then
    tail -60 build-fuzz/build.log
    exit 1
fi

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
run() { # target corpus-name extra-args...
    local target=$1 name=$2
    shift 2
    local work=build-fuzz/corpus/$target crashes=build-fuzz/crashes/$target
    rm -rf "$crashes"
    mkdir -p "$work" "$crashes"
    local log=build-fuzz/$target.log
    set +e
    "build-fuzz/tests/fuzz/$target" "$work" "tests/fuzz/corpus/$name" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$crashes/" "$@" >"$log" 2>&1
    local rc=$?
    set -e
    local execs found
    execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    found=$(find "$crashes" -type f | wc -l)
    echo "$target: ${execs:-?} executions in ${seconds} s, exit $rc, ${found} crash/timeout input(s) in $crashes"
    if [ "$rc" -ne 0 ]; then
        tail -40 "$log"
        status=1
    fi
}

run StateRestoreFuzzer state -dict=tests/fuzz/xml.dict -max_len=65536
run EngineFuzzer engine -max_len=4096
run ComponentStateFuzzer component -dict=tests/fuzz/component.dict -max_len=16384
exit $status
