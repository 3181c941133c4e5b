#!/usr/bin/env bash
# Runs the benchmark pinned to one core and writes the tables to bench/results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target QuolbaneBench
{
    echo "Measured $(date -u +%Y-%m-%d) on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), one core (taskset -c 2)."
    echo
    taskset -c 2 build/bench/QuolbaneBench
} | tee bench/results.md
