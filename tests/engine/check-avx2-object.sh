#!/usr/bin/env bash
# The AVX2 sample loop's object file may define inline functions that other object files define
# too (weak symbols). The linker keeps one copy of each for the whole plug-in, so these copies
# must use the baseline instruction set only, or CPUs without AVX2 would run AVX2 code.
# Arguments: the shared code's object files, also as one ;-separated list (the AVX2 one is
# picked out by name).
set -euo pipefail
object=""
IFS=';' read -ra files <<< "$*"
for file in "${files[@]}"; do
    case "$file" in *ReverbEngineProcessAvx2.cpp.o) object=$file ;; esac
done
[ -n "$object" ] || { echo "no AVX2 object among the arguments" >&2; exit 1; }

weak=$(nm "$object" | awk '$2 == "W" { print $3 }')
failures=0
for symbol in $weak; do
    # VEX-encoded instructions (AVX and later) all have mnemonics starting with v.
    wide=$(objdump -d --no-show-raw-insn --disassemble="$symbol" "$object" | grep -cE ':\s+v[a-z]' || true)
    if [ "$wide" -gt 0 ]; then
        echo "weak symbol $(echo "$symbol" | c++filt) holds $wide AVX instructions" >&2
        failures=$((failures + 1))
    fi
done
echo "$(echo "$weak" | grep -c . || true) weak symbols checked in $(basename "$object"), $failures with AVX code"
[ "$failures" -eq 0 ]
