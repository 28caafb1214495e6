#!/bin/bash
# Proves the Windows build under Wine (Debian's wine64, xvfb-run for a
# display), after tools/windows/build.sh:
#   1. the widget-free suites as Windows programs (CTest runs them through
#      Wine, the toolchain's CMAKE_CROSSCOMPILING_EMULATOR);
#   2. the viewer on the demo plant, saving a screenshot;
#   3. the viewer hosted beside the stand-in COM manager, and
#      vorn-scheduler-ctl.exe sending the viewer STOP, START and close;
#   4. the installer, silently, into a Wine prefix of its own: installed
#      files, the installed program starting, the uninstaller removing it.
# A step whose programs are not built yet says so and counts as skipped.
#
#   tools/windows/test.sh [SCREENSHOT.png]
#
# Everything runs in a throwaway WINEPREFIX; VORN_WIN_BUILD and VORN_CACHE as
# for build.sh.
set -uo pipefail
# Every Wine process of the run sees one display. Wine's desktop takes the
# graphics driver of the first process of a wineserver session, and every
# later window goes through it: a program started without a display
# (winepath, reg, the demo plant) leaves a desktop without a driver, and a
# viewer started after it under a display of its own creates no window.
if [[ -z ${VORN_WINE_DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1400x900x24" env VORN_WINE_DISPLAY=1 "$0" "$@"
fi
start=$SECONDS
source "$(dirname "$0")/paths.sh"
shot=${1:-$win/package/vorn-scheduler-wine.png}
case $shot in /*) ;; *) shot=$PWD/$shot ;; esac

passed=0 failed=0 skipped=0
say() { echo "test.sh: $*"; }
pass() { say "PASS $*"; passed=$((passed + 1)); }
fail() { say "FAIL $*"; failed=$((failed + 1)); }
skip() { say "SKIP $*"; skipped=$((skipped + 1)); }

[[ -f $win/CMakeCache.txt ]] || { say "no Windows build in $win: run tools/windows/build.sh first" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
package=$win/package/vorn-scheduler-$version-win64
setup=$package-setup.exe

work=$(mktemp -d /tmp/vorn-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and Wine would offer to fetch them.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine || echo /usr/lib/wine/wine64)
# Debian's wine64 alone puts no wineserver on PATH; the package wine adds the wrapper.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
finish() {
    WINEPREFIX=$WINEPREFIX "$wineserver" -k 2>/dev/null
    rm -rf "$work" "$win/BLACKLIST"
}
trap finish EXIT
say "preparing a Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w

# The build tree's programs find Qt, the MinGW runtime and Qt's plug-ins
# through the environment; the package brings its own.
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
runtime=$(dirname "$($triple-g++-posix -print-file-name=libstdc++-6.dll)")
pthread=$(dirname "$($triple-g++-posix -print-file-name=libwinpthread-1.dll)")
build_env=(WINEPATH="$(winpath "$qt/bin");$(winpath "$runtime");$(winpath "$pthread")"
           QT_PLUGIN_PATH="$(winpath "$qt/plugins")")

# 1. The suites.
# Where Wine differs from Windows (docs/windows.md, "Where Wine differs"):
# the rows ("function:row") and whole suites skipped here, each with its
# reason. A row goes into a Qt Test BLACKLIST beside the programs under the
# key "wine": it still runs, and its failure is reported but not counted.
wine_differs=$(cat <<'LIST'
tst_inifile     read:section-and-key-other-case                    GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:blanks-and-tabs-around-section-key-and-value  GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:double-quotes-keep-inner-blanks               GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:value-holding-equals-sign                     GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:buffer-keeps-one-less-character               GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:windows-1252-high-bytes                       GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:utf16-little-endian-with-mark                 GetPrivateProfileInt gives 0 for a value that is no number
tst_inifile     read:beyond-32-bit-saturates                       GetPrivateProfileInt wraps a number beyond 32 bits
tst_inifile     write:replace-in-place-keeps-comments-and-keys     WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:replace-keeps-names-spelling-drops-blanks    WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:new-key-before-blank-line-ending-section     WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:new-section-after-missing-final-newline      WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:mixed-line-ends-kept-per-line                WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:missing-file-created                         WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:value-encoded-windows-1252                   WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:untouched-bytes-survive                      WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:utf16-big-endian-stays                       WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_inifile     write:utf8-mark-is-part-of-the-first-line          WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_settings    saveAndLoad:save-keeps-the-rest-of-the-file        WritePrivateProfileString rewrites the file (CR LF, no blank lines)
replay_ini      -                                                  WritePrivateProfileString rewrites the file (CR LF, no blank lines)
tst_overlaypaint tooltipOverBarsAndGroupRows:empty-cell-no-tooltip  a tooltip that should stay hidden is reported visible
tst_overlaypaint tooltipOverBarsAndGroupRows:cell-ending-where-the-bar-starts-no-tooltip  a tooltip that should stay hidden is reported visible
tst_desktopwindow placedInTheStartOrder:all-four-and-topmost       Qt's frame margins on Wine leave out 4 pixels of the sizing border
tst_desktopwindow placedInTheStartOrder:all-four                   Qt's frame margins on Wine leave out 4 pixels of the sizing border
tst_desktopwindow placedInTheStartOrder:hosted-with-all-four-hides Qt's frame margins on Wine leave out 4 pixels of the sizing border
LIST
)
say "1. the suites under Wine"
blacklist=$win/BLACKLIST
skipped_suites=()
: > "$blacklist"
while read -r suite what reason; do
    say "  skipped under Wine: $suite ${what/#-/(the whole suite)}: $reason"
    if [[ $what == - ]]; then
        skipped_suites+=("$suite")
    else
        printf '[%s]\nwine\n' "$what" >> "$blacklist"
    fi
done <<< "$wine_differs"
exclude=$(IFS='|'; echo "^(${skipped_suites[*]})\$")
if [[ ${VORN_WINE_SUITES:-1} == 0 ]]; then
    skip "suites: VORN_WINE_SUITES=0"
elif env "${build_env[@]}" QTEST_ENVIRONMENT=wine \
        ctest --test-dir "$win" --output-on-failure --timeout 300 -E "$exclude" > "$work/ctest.log" 2>&1; then
    pass "suites: $(grep -E 'tests passed' "$work/ctest.log"); $(grep -c . <<< "$wine_differs") rows and suites skipped as above"
else
    grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|\*\*\*|FAIL!' "$work/ctest.log" | grep -v ' Passed ' | head -40
    fail "suites: $(grep -E 'tests passed' "$work/ctest.log" || echo 'ctest did not finish')"
fi
rm -f "$blacklist"
grep -sE 'tests passed' "$work/ctest.log" >/dev/null && cp "$work/ctest.log" "$win/package/ctest-wine.log"
# A suite that timed out may leave Wine processes behind: the programs after
# it start in a Wine of their own.
"$wineserver" -k 2>/dev/null
"$wineserver" -w

# 2. The viewer on the demo plant.
say "2. the viewer on the demo plant"
viewer=$package/bin/vorn-scheduler.exe
plant=$work/plant
demo=$(built_exe vorn-demo-plant)
if [[ ! -f $viewer ]]; then
    skip "viewer: vorn-scheduler.exe is not built for Windows yet"
elif [[ -z $demo ]]; then
    skip "viewer: vorn-demo-plant.exe is not built"
else
    # winpath names only a folder that exists.
    mkdir -p "$plant/bin"
    env "${build_env[@]}" "$wine" "$demo" --lang ENG "$(winpath "$plant")" >/dev/null 2>&1
    cp -r "$package/bin/." "$plant/bin/"
    rm -f "$shot"
    (cd "$plant/bin" && timeout 180 \
        "$wine" vorn-scheduler.exe --vorn-diag --screenshot "$(winpath "$shot")" -- > "$work/viewer.log" 2>&1)
    if [[ -s $shot ]] && file -b "$shot" | grep -q PNG; then
        pass "viewer: screenshot $shot ($(file -b "$shot" | cut -d, -f2))"
    else
        tail -20 "$work/viewer.log"
        fail "viewer: no screenshot"
    fi
fi

# 3. Hosted beside the stand-in COM manager.
say "3. the viewer hosted beside the stand-in COM manager"
com_manager=$(built_exe vorn-com-manager)
if [[ ! -f $viewer || -z $com_manager || ! -d $plant/bin ]]; then
    skip "hosted: needs vorn-scheduler.exe, vorn-com-manager.exe and the demo plant"
else
    calls=$work/calls.log
    cp "$com_manager" "$plant/bin/"
    "$wine" "$plant/bin/vorn-com-manager.exe" --register --log "$(winpath "$calls")"
    # Wine's HKEY_CLASSES_ROOT shows the machine's classes only (Windows
    # merges the user's in): copy the registration there, in this prefix alone.
    classes='Software\Classes'
    clsid=$("$wine" reg query "HKCU\\$classes\ManagerServer.Document\CLSID" /ve 2>/dev/null | grep -o '{[^}]*}')
    server=$("$wine" reg query "HKCU\\$classes\CLSID\\$clsid\LocalServer32" /ve 2>/dev/null \
             | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')
    "$wine" reg add "HKLM\\$classes\ManagerServer.Document\CLSID" /ve /d "$clsid" /f >/dev/null 2>&1
    "$wine" reg add "HKLM\\$classes\CLSID\\$clsid\LocalServer32" /ve /d "$server" /f >/dev/null 2>&1
    (cd "$plant/bin" && timeout 40 \
        "$wine" vorn-scheduler.exe /H > "$work/hosted.log" 2>&1)
    "$wineserver" -k 2>/dev/null
    created=$(grep -ac '^CreateView' "$calls" 2>/dev/null)
    fed=$(grep -ac '^SetViewXMLData' "$calls" 2>/dev/null)
    if [[ $created -eq 1 && $fed -ge 1 ]]; then
        pass "hosted: CreateView once, SetViewXMLData $fed times"
    else
        fail "hosted: CreateView ${created:-0} times, SetViewXMLData ${fed:-0} times"
    fi
    # The same tables read by the Linux build, fed to the session-bus
    # stand-in: the newest schedule text must be the same bytes.
    linux=$host/linux
    if cmake --build "$linux" --target vorn-scheduler vorn-stand-in-manager > "$work/linux-build.log" 2>&1; then
        (cd "$plant/bin" && QT_QPA_PLATFORM=offscreen dbus-run-session -- sh -c \
            "'$linux/tools/stand-in-manager/vorn-stand-in-manager' --keep '$work/linux.xml' & sleep 1
             timeout 15 '$linux/src/vorn-scheduler' /H; kill \$!; wait" > "$work/linux-hosted.log" 2>&1)
        /usr/bin/python3 - "$calls" "$work/windows.xml" <<'PY'
import sys
data, last = open(sys.argv[1], "rb").read(), b""
while data:
    head, _, data = data.partition(b"\n")
    fields = head.split(b"\t")
    if fields[0] == b"SetViewXMLData" and len(fields) == 3:
        last, data = data[:int(fields[2])], data[int(fields[2]) + 1:]
open(sys.argv[2], "wb").write(last)
PY
        if [[ -s $work/linux.xml ]] && cmp -s "$work/linux.xml" "$work/windows.xml"; then
            pass "hosted: the schedule XML is byte for byte the Linux build's ($(stat -c %s "$work/linux.xml") bytes)"
        else
            fail "hosted: the schedule XML differs from the Linux build's ($(stat -c %s "$work/linux.xml" 2>/dev/null || echo 0) against $(stat -c %s "$work/windows.xml") bytes)"
        fi
    else
        fail "hosted: the Linux build for the comparison did not build (build.sh makes $linux)"
    fi
    "$wine" "$plant/bin/vorn-com-manager.exe" --unregister
fi

# The control tool finds the viewer's window and sends it STOP, START and
# close; the viewer ends on the close.
if [[ -f $viewer && -d $plant/bin ]]; then
    (cd "$plant/bin" && exec timeout 120 "$wine" vorn-scheduler.exe > "$work/controlled.log" 2>&1) &
    running=$!
    sleep 20
    sent=()
    for command in stop start close; do
        (cd "$plant/bin" && "$wine" vorn-scheduler-ctl.exe "$command" >> "$work/controlled.log" 2>&1) && sent+=("$command")
    done
    for _ in $(seq 30); do kill -0 "$running" 2>/dev/null || break; sleep 1; done
    if [[ ${sent[*]} == "stop start close" ]] && ! kill -0 "$running" 2>/dev/null; then
        pass "control: vorn-scheduler-ctl.exe stop, start and close reached the viewer, which ended"
    else
        kill "$running" 2>/dev/null
        fail "control: sent ${sent[*]:-nothing}; the viewer $(kill -0 "$running" 2>/dev/null && echo 'kept running' || echo ended)"
    fi
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w
fi

# 4. The installer.
say "4. the installer in a Wine prefix"
if [[ ! -f $setup ]]; then
    fail "installer: $setup is missing"
else
    target='C:\VornTest'
    installed=$WINEPREFIX/drive_c/VornTest
    "$wine" "$setup" /S "/D=$target" >/dev/null 2>&1
    "$wineserver" -w
    key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VornScheduler'
    if [[ -f $installed/bin/LANGUAGE.INI && -f $installed/uninstall.exe && -d $installed/data ]] \
        && "$wine" reg query "$key" >/dev/null 2>&1; then
        pass "installer: installed $(find "$installed" -type f | wc -l) files into $target"
    else
        fail "installer: the installed tree or its uninstall entry is missing"
    fi
    if [[ -f $installed/bin/vorn-scheduler.exe ]]; then
        link=$(find "$WINEPREFIX/drive_c/users" -name 'Vorn Scheduler.lnk' -print -quit)
        [[ -n $link ]] && pass "installer: Start-menu entry" || fail "installer: no Start-menu entry"
        # Started as the shortcut starts it, in bin\; still running after
        # twenty seconds is a program that came up.
        (cd "$installed/bin" && timeout 20 "$wine" vorn-scheduler.exe > "$work/installed.log" 2>&1)
        [[ $? -eq 124 ]] && pass "installer: the installed viewer starts and keeps running" \
                         || { tail -20 "$work/installed.log"; fail "installer: the installed viewer ended early"; }
        "$wineserver" -k 2>/dev/null
    else
        skip "installer: no viewer in the package to start"
    fi
    "$wine" "$installed/uninstall.exe" /S >/dev/null 2>&1
    "$wineserver" -w
    if [[ ! -e $installed/bin && ! -e $installed/uninstall.exe ]] && ! "$wine" reg query "$key" >/dev/null 2>&1; then
        pass "uninstaller: removed the program and its uninstall entry"
    else
        fail "uninstaller: left $(find "$installed" 2>/dev/null | head -5 | tr '\n' ' ')"
    fi
fi

say "$passed passed, $failed failed, $skipped skipped in $((SECONDS - start)) s"
[[ $failed -eq 0 ]]
