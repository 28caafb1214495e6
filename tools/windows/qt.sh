#!/bin/bash
# Builds Qt for 64-bit Windows once per machine, from Debian's own source
# package, with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix): shared,
# Release, only the modules the program uses. Qt's build tools are those of
# the host's Debian Qt of the same version (QT_HOST_PATH=/usr).
#
#   tools/windows/qt.sh          build (a finished prefix makes this a no-op)
#
# VORN_CACHE (default ~/.cache/vorn-scheduler) holds the sources, the build
# tree and the prefix qt-<version>-win64 that tools/windows/build.sh uses.
set -euo pipefail
start=$SECONDS
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cache=${VORN_CACHE:-$HOME/.cache/vorn-scheduler}
version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+~-].*//')
prefix=$cache/qt-$version-win64
stamp=$prefix/.complete
jobs=${JOBS:-$(nproc)}

finish() { echo "qt.sh: $1 in $((SECONDS - start)) s"; }
if [[ -f $stamp ]]; then
    echo "qt.sh: $prefix is complete"
    finish "nothing to do"
    exit 0
fi
for tool in x86_64-w64-mingw32-g++-posix cmake ninja dpkg-source; do
    command -v "$tool" >/dev/null || {
        echo "qt.sh: $tool is missing (apt-get install g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev)" >&2
        exit 1
    }
done

# The source packages come through apt with a deb-src entry of our own, kept
# in the cache beside its own package lists: the system's sources stay as
# they are and no root is needed.
apt_dir=$cache/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
    grep -q '^Types:.*deb' "$f" || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/sources.list.d/src-$(basename "$f")"
done
if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > "$apt_dir/sources.list"
else
    : > "$apt_dir/sources.list"
fi
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
          -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
          -o "Dir::State::Lists=$apt_dir/lists"
          -o "Dir::Cache=$apt_dir/cache"
          -o "Debug::NoLocking=1")
src=$cache/src
mkdir -p "$src"
if ! ls -d "$src"/qt6-base-*/ >/dev/null 2>&1; then
    apt-get "${apt_opts[@]}" -qq update
    (cd "$src" && apt-get "${apt_opts[@]}" source "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)")
fi
qtbase=$(ls -d "$src"/qt6-base-*/ | head -1)
# Qt 6.4's Windows print engine and platform plug-in call the DirectWrite
# font engine and font database whenever DirectWrite is on, but Qt Gui builds
# them only with Direct2D: without Direct2D neither links.
sed -i 's/^#if QT_CONFIG(directwrite\(3\?\))$/#if QT_CONFIG(directwrite\1) \&\& QT_CONFIG(direct2d)/' \
    "$qtbase/src/printsupport/platform/windows/qprintengine_win.cpp" \
    "$qtbase/src/plugins/platforms/windows/qwindowsintegration.cpp"
# Qt SVG is fetched too when its source can be had; without it the program's
# pictures are rendered to PNG at build time instead.
if ! ls -d "$src"/qt6-svg-*/ >/dev/null 2>&1; then
    svg_version=$(dpkg-query -W -f='${Version}' qt6-svg-dev 2>/dev/null || true)
    (cd "$src" && apt-get "${apt_opts[@]}" source "qt6-svg${svg_version:+=$svg_version}") \
        || echo "qt.sh: the source of qt6-svg cannot be had; building without Qt SVG"
fi
qtsvg=$(ls -d "$src"/qt6-svg-*/ 2>/dev/null | head -1 || true)

# Debian's cleaned tarball lacks the tablet header wintab.h, and the program
# has no use for tablets. OpenGL stays on: the 6.4 Windows platform plugin
# does not compile without it. Modules, plug-ins and formats the program
# does not use are off (Direct2D's platform plug-in, FreeType beside
# DirectWrite, JPEG, GIF), which takes a third off the build.
build=$cache/build/qtbase-win64
# Debian keeps its Qt's CMake files below the multiarch folder, not /usr/lib/cmake.
host_cmake=$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/cmake/Qt6/Qt6Config.cmake$')")/..
host_cmake=$(cd "$host_cmake" && pwd)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$qtbase" -B "$build" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_sql=OFF -DFEATURE_concurrent=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
    -DFEATURE_network=OFF -DFEATURE_direct2d=OFF -DFEATURE_freetype=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_pkg_config=OFF
cmake --build "$build" --parallel "$jobs"
cmake --install "$build"

if [[ -n $qtsvg ]]; then
    svg_build=$cache/build/qtsvg-win64
    cmake -S "$qtsvg" -B "$svg_build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DCMAKE_BUILD_TYPE=Release \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    cmake --build "$svg_build" --parallel "$jobs"
    cmake --install "$svg_build"
fi

touch "$stamp"
finish "built $prefix"
