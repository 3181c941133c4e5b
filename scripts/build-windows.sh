#!/usr/bin/env bash
# Cross-builds the 64-bit Windows Quolbane.vst3 and its Windows test host in ./build-win with
# mingw-w64. libjpeg, libpng and expat have no Debian package for the Windows target, so they are
# built once as static libraries from Debian's own source packages and kept in
# build-win/winlibs; later runs reuse them and only rebuild what changed.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh windows

build=$root/build-win
winlibs=$build/winlibs
prefix=$winlibs/prefix
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

# apt state of our own, so fetching source packages leaves the system's apt configuration alone.
aptdir=$winlibs/apt
aptopts=(
    -o "Dir::Etc::SourceList=/dev/null"
    -o "Dir::Etc::SourceParts=$aptdir/sources.list.d"
    -o "Dir::State::Lists=$aptdir/lists"
    -o "Dir::Cache=$aptdir/cache"
    -o "APT::Sandbox::User=root"
)
apt_ready=0

# The source lists mirror the machine's own binary package lists, so sources come from wherever
# its packages come from.
prepare_apt() {
    [ "$apt_ready" -eq 1 ] && return
    mkdir -p "$aptdir/lists/partial" "$aptdir/cache/archives/partial" "$aptdir/sources.list.d"
    rm -f "$aptdir/sources.list.d/"*
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        if [ -f "$f" ]; then
            sed -n '\#/debian#s/^deb /deb-src /p' "$f" >>"$aptdir/sources.list.d/system.list"
        fi
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        if [ -f "$f" ] && grep -q '^URIs:.*/debian' "$f"; then
            sed 's/^Types:.*/Types: deb-src/' "$f" >"$aptdir/sources.list.d/$(basename "$f")"
        fi
    done
    apt-get "${aptopts[@]}" update -qq
    apt_ready=1
}

# Unpacks the newest version of a Debian source package (Debian's patches applied) that the mirror
# actually serves into $winlibs/src/<package>; prints that directory. An archive can list a newer
# version (a security release) than it serves, so trying the next older one is expected: apt's
# output goes to a log, and one line tells which version is built.
fetch_source() {
    local package=$1
    local dest=$winlibs/src/$package
    local log=$winlibs/$package-source.log
    local versions
    local skipped=()
    versions=$(apt-cache "${aptopts[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -u |
        sort -r -V)
    rm -rf "$dest"
    mkdir -p "$dest"
    : >"$log"
    for v in $versions; do
        if (cd "$dest" && apt-get "${aptopts[@]}" source -qq "$package=$v") >>"$log" 2>&1; then
            echo "$package $v" >"$dest.version"
            local note=""
            [ "${#skipped[@]}" -eq 0 ] || note=" (the archive lists ${skipped[*]} but serves no source for it)"
            echo "build-windows: building $package $v for x86_64-w64-mingw32$note" >&2
            find "$dest" -mindepth 1 -maxdepth 1 -type d -print -quit
            return
        fi
        skipped+=("$v")
        rm -rf "${dest:?}"/*
    done
    tail -n 20 "$log" >&2
    echo "build-windows: no source of $package could be fetched, see $log" >&2
    exit 1
}

# Runs a command with its output in a log file; shows the end of the log when it fails.
logged() {
    local log=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "build-windows: failed, see $log" >&2
        exit 1
    fi
}

# Configures, builds and installs one CMake project for the target into $prefix.
cmake_install() {
    local name=$1 src=$2
    shift 2
    logged "$winlibs/$name-configure.log" cmake -S "$src" -B "$winlibs/build/$name" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
        -DBUILD_SHARED_LIBS=OFF \
        "$@"
    logged "$winlibs/$name-build.log" cmake --build "$winlibs/build/$name" --parallel "$jobs"
    logged "$winlibs/$name-install.log" cmake --install "$winlibs/build/$name"
}

build_libjpeg() {
    local src
    src=$(fetch_source "$1")
    cmake_install libjpeg "$src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF \
        -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
    # JUCE defines JPEG_INTERNALS, so jpeglib.h pulls in the internal header as well.
    cp "$src/jpegint.h" "$prefix/include/"
    # JUCE includes jpeglib.h inside a namespace of its own and, with GCC on Windows, names that
    # namespace's `boolean`; libjpeg's Windows jconfig.h skips its typedef once rpcndr.h has
    # declared the same type globally. C++ may repeat the typedef, so keep it there.
    sed -i 's|^#ifndef __RPCNDR_H__ .*|#if !defined(__RPCNDR_H__) \|\| defined(__cplusplus)|' \
        "$prefix/include/jconfig.h"
    grep -q 'defined(__cplusplus)' "$prefix/include/jconfig.h"
}

build_libpng() {
    local src
    src=$(fetch_source "$1")
    cmake_install libpng "$src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF -DSKIP_INSTALL_PROGRAMS=ON \
        -DSKIP_INSTALL_FILES=ON
}

build_expat() {
    local src
    src=$(fetch_source "$1")
    # Debian builds expat with autotools, whose config header defines XML_DTD as 1, and its
    # backported fixes test `XML_DTD == 1`; the CMake header defines it empty. Match autotools.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$src/expat/expat_config.h.cmake"
    cmake_install expat "$src/expat" -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
        -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF \
        -DEXPAT_BUILD_FUZZERS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF
}

# xsimd is headers only and the same for every target, but the cross build must not search the
# host's /usr/include. Give it a copy of Debian's libxsimd-dev headers under the prefix.
install_xsimd() {
    mkdir -p "$prefix/include"
    rm -rf "$prefix/include/xsimd"
    cp -r /usr/include/xsimd "$prefix/include/"
    xsimd_version >"$winlibs/xsimd.stamp"
}

xsimd_version() {
    dpkg-query -W -f='libxsimd-dev ${Version}\n' libxsimd-dev
}

# Each library is built once; its stamp records the Debian source version it came from.
declare -A source_package=([libjpeg]=libjpeg-turbo [libpng]=libpng1.6 [expat]=expat)
for lib in libjpeg libpng expat; do
    stamp=$winlibs/$lib.stamp
    if [ -f "$stamp" ]; then
        echo "build-windows: $lib from $(cat "$stamp"), built before"
    else
        mkdir -p "$winlibs"
        prepare_apt
        build_$lib "${source_package[$lib]}"
        cp "$winlibs/src/${source_package[$lib]}.version" "$stamp"
    fi
done

if [ -d /usr/include/xsimd ]; then
    [ "$(xsimd_version)" = "$(cat "$winlibs/xsimd.stamp" 2>/dev/null)" ] || install_xsimd
    echo "build-windows: xsimd from $(cat "$winlibs/xsimd.stamp")"
fi

cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$jobs"

echo "Built $build/Quolbane_artefacts/Release/VST3/Quolbane.vst3/Contents/x86_64-win/Quolbane.vst3"
