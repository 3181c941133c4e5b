#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Quolbane. Idempotent: when
# every package is present it returns without touching apt. With the argument "windows" it also
# installs what the Windows cross build and its wine-hosted tests need.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    juce-modules-source
    libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev libxinerama-dev
    libxcursor-dev libxext-dev libgl-dev libcurl4-openssl-dev
    libexpat1-dev libxsimd-dev
    libgtest-dev googletest libbenchmark-dev
    xvfb xauth fonts-dejavu-core
    python3
    # applies cmake/juce-patches/ to the build tree's copy of a JUCE module at configure time
    patch
    # clang with its sanitizer and libFuzzer runtimes: scripts/sanitize.sh, scripts/fuzz.sh
    clang libclang-rt-14-dev
)

# The 64-bit Windows cross build (scripts/build-windows.sh) and its tests.
windows_packages=(
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    dpkg-dev
    wine64
    python3-pefile
)

if [ "${1:-}" = "windows" ]; then
    packages+=("${windows_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # sudo resets the environment, so the variable that keeps apt from asking questions is set
    # by env on the far side of sudo.
    as_root=(env DEBIAN_FRONTEND=noninteractive)
    [ "$(id -u)" -eq 0 ] || as_root=(sudo "${as_root[@]}")
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
