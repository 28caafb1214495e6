# Sourced by build.sh and test.sh: where the repository, the cache, the Qt for
# Windows that qt.sh built and the cross build are.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
cache=${VORN_CACHE:-$HOME/.cache/vorn-scheduler}
qt=$cache/qt-$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+~-].*//')-win64
win=${VORN_WIN_BUILD:-$root/build-win64}
host=${VORN_HOST_BUILD:-$root/build-host}
triple=x86_64-w64-mingw32
# A program of the cross build (the build puts every .exe beside the DLLs at
# its top); empty when it is not built.
built_exe() { find "$win" -path "$win/package" -prune -o -name "$1.exe" -print -quit; }
