#!/bin/bash
# Cross-builds the program for 64-bit Windows against the Qt that
# tools/windows/qt.sh built, and packages it as a zip and an NSIS installer.
#
#   tools/windows/build.sh
#
# The last two lines it prints are the paths of the zip and the installer.
# VORN_WIN_BUILD (default build-win64) is the cross build, VORN_HOST_BUILD
# (default build-host) the build for this machine that makes the manuals and
# the picture renderer; VORN_CACHE as for qt.sh.
set -euo pipefail
start=$SECONDS
source "$(dirname "$0")/paths.sh"
jobs=${JOBS:-$(nproc)}

say() { echo "build.sh: $*"; }
if [[ ! -f $qt/.complete ]]; then
    say "no Qt for Windows in $qt: run tools/windows/qt.sh first" >&2
    exit 1
fi
for tool in $triple-g++-posix $triple-objdump makensis cmake ninja; do
    command -v "$tool" >/dev/null || {
        say "$tool is missing (apt-get install g++-mingw-w64-x86-64-posix nsis cmake ninja-build)" >&2
        exit 1
    }
done
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Without Qt SVG for Windows the pictures are rendered to PNG here, by a
# program of this machine.
win_args=()
if [[ ! -d $qt/lib/cmake/Qt6Svg ]]; then
    cmake -S "$here/svg-to-png" -B "$host/svg-to-png" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$host/svg-to-png" --parallel "$jobs"
    win_args+=(-DVORN_SVG_TO_PNG="$host/svg-to-png/svg-to-png")
fi

cmake -S "$root" -B "$win" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DVORN_WIN_QT="$qt" \
    -DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_MANUAL=OFF "${win_args[@]}"
cmake --build "$win" --parallel "$jobs"
# The suites look for Qt's Chinese texts beside themselves, as the program does.
if [[ -f /usr/share/qt6/translations/qtbase_zh_CN.qm ]]; then
    mkdir -p "$win/translations"
    cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$win/translations/"
fi

# The manuals are the same PDFs on every system; they are made here, where
# the fonts they name are installed.
manuals=("$host/linux/src/PlantoraUserManual.pdf" "$host/linux/src/PlantoraUserManual_zh_CN.pdf")
cmake -S "$root" -B "$host/linux" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORN_BUILD_MANUAL=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF >/dev/null
cmake --build "$host/linux" --parallel "$jobs" --target vorn-manual

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
name=vorn-scheduler-$version-win64
out=$win/package
stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/$name-setup.exe"
mkdir -p "$stage/bin" "$stage/data"

# The programs the Linux package installs, those of them that are built.
programs=()
for program in vorn-scheduler vorn-scheduler-ctl vorn-scheduler-render; do
    exe=$(built_exe "$program")
    if [[ -n $exe ]]; then
        cp "$exe" "$stage/bin/"
        programs+=("$stage/bin/$program.exe")
    else
        say "$program.exe is not built for Windows (VORN_BUILD_LINK is off): it is not in the package"
    fi
done

# Every DLL a program or a DLL of the package imports, from Qt and the MinGW
# runtime, found from the PE import tables; the system's own DLLs are not
# among them.
search=("$qt/bin" "$(dirname "$($triple-g++-posix -print-file-name=libstdc++-6.dll)")"
        "$(dirname "$($triple-g++-posix -print-file-name=libwinpthread-1.dll)")")
declare -A bundled=()
bundle_imports() {
    local dll dir
    for dll in $($triple-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        [[ -n ${bundled[${dll,,}]:-} ]] && continue
        bundled[${dll,,}]=1
        for dir in "${search[@]}"; do
            if [[ -f $dir/$dll ]]; then
                cp "$dir/$dll" "$stage/bin/"
                bundle_imports "$dir/$dll"
                break
            fi
        done
    done
}
for exe in "${programs[@]}"; do
    bundle_imports "$exe"
done
# Qt loads its plug-ins at run time, where no import table shows them: each
# Qt module the package imports brings its plug-in folders (and they their
# own imports).
plugin_dirs() {
    case $1 in
        qt6gui.dll) echo platforms imageformats ;;
        qt6widgets.dll) echo styles ;;
        qt6printsupport.dll) echo printsupport ;;
        qt6svg.dll) echo iconengines ;;
    esac
}
for module in "${!bundled[@]}"; do
    for folder in $(plugin_dirs "$module"); do
        [[ -d $qt/plugins/$folder ]] || continue
        mkdir -p "$stage/bin/$folder"
        for plugin in "$qt/plugins/$folder"/*.dll; do
            cp "$plugin" "$stage/bin/$folder/"
            bundle_imports "$plugin"
        done
    done
done
# Qt's own dialog texts in Chinese, where the program looks for them beside itself.
if [[ -n ${bundled[qt6core.dll]:-} ]]; then
    if [[ -f /usr/share/qt6/translations/qtbase_zh_CN.qm ]]; then
        mkdir -p "$stage/bin/translations"
        cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/bin/translations/"
    else
        say "qt6-translations-l10n is not installed: Qt's buttons stay English in Chinese"
    fi
fi
# LANGUAGE.INI and the manuals stand in the program's folder; a Windows text
# file has CR LF line ends.
sed 's/\r\?$/\r/' "$root/res/config/LANGUAGE.INI" > "$stage/bin/LANGUAGE.INI"
cp "${manuals[@]}" "$stage/bin/"

(cd "$out" && zip -qr "$name.zip" "$name")
nsis_args=(-V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/$name-setup.exe")
[[ -f $stage/bin/vorn-scheduler.exe ]] && nsis_args+=(-DHAVE_VIEWER)
makensis "${nsis_args[@]}" "$here/installer.nsi"

for exe in "${programs[@]}" "$out/$name-setup.exe"; do
    say "$(basename "$exe"): $(file -b "$exe")"
done
if [[ ! -f $stage/bin/vorn-scheduler.exe ]]; then
    say "THE VIEWER IS NOT IN THIS PACKAGE: vorn-scheduler.exe is not built for Windows yet"
fi
say "built and packaged in $((SECONDS - start)) s"
echo "$out/$name.zip"
echo "$out/$name-setup.exe"
