#!/usr/bin/env bash
# Runs the benchmark on one core and writes its tables to build/bench-results.md, or to the file
# named by the argument. bench/results.md holds the figures that the README quotes; this script
# leaves it alone, so a run leaves the checkout unchanged.
# Usage: bash bench/run.sh [output file]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m -- "${1:-$root/build/bench-results.md}")
cd "$root"
cmake --build build --target QuolbaneBench

# The last CPU this process may run on (taskset lists them like "0-7" or "0,2,5-7"). Where taskset
# cannot pin, the benchmark runs unpinned and says so.
cpu=$({ taskset -cp $$ 2>/dev/null || true; } | sed -n 's/.*: *//p' | tr ',' '\n' | tail -n 1 | sed 's/.*-//')
pin=()
where="unpinned"
if [ -n "$cpu" ] && taskset -c "$cpu" true 2>/dev/null; then
    pin=(taskset -c "$cpu")
    where="one core (taskset -c $cpu)"
fi

mkdir -p "$(dirname "$out")"
{
    echo "Measured $(date -u +%Y-%m-%d) on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $where."
    echo
    "${pin[@]}" build/bench/QuolbaneBench
} | tee "$out"
echo "bench: wrote $out" >&2
