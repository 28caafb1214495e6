#!/usr/bin/env bash
# Installs the build into a scratch root as a package would and checks what
# a desktop sees of it: the programs, the manuals where Help looks for them,
# the menu entry, the icon and the software-centre data, each where the
# freedesktop layout puts it and each accepted by the desktop's own validators;
# and the language file an administrator edits, which the package marks as a
# conffile and the viewer reads in its own folder.
#
#   install_layout.sh BUILD_DIR PREFIX APP_ID PLANT_BIN PROGRAM_DIR CONFIG_DIR
set -euo pipefail
build=$1 prefix=$2 app=$3 plant_bin=$4 program_dir=$5 config_dir=$6

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR="$root" cmake --install "$build" >/dev/null
top="$root$prefix"

[ -x "$top/bin/vorn-scheduler-ctl" ] || fail "bin/vorn-scheduler-ctl not installed"
for f in vorn-scheduler vorn-scheduler-render; do
    [ -x "$top/$program_dir/$f" ] || fail "$program_dir/$f not installed"
    [ "$(readlink -f "$top/bin/$f")" = "$(readlink -f "$top/$program_dir/$f")" ] || fail "bin/$f does not lead to $program_dir/$f"
done
[ "$(readlink "$top/$program_dir/LANGUAGE.INI")" = "$config_dir/LANGUAGE.INI" ] ||
    fail "LANGUAGE.INI beside the programs does not lead to $config_dir/LANGUAGE.INI"
grep -qx 'ApplicationLanguage=ENG' "$root$config_dir/LANGUAGE.INI" || fail "$config_dir/LANGUAGE.INI is not English"
# Switched to Chinese as the manual says (the link led into the scratch root),
# the viewer started through bin/ speaks Chinese.
sed -i 's/^ApplicationLanguage=.*/ApplicationLanguage=CN/' "$root$config_dir/LANGUAGE.INI"
ln -sfn "$root$config_dir/LANGUAGE.INI" "$top/$program_dir/LANGUAGE.INI"
mkdir -p "$root/plant/bin"
title=$(cd "$root/plant/bin" && timeout 120 "$top/bin/vorn-scheduler" --vorn-diag --answer-boxes --print-window \
            --screenshot "$root/shot.png" -- 2>/dev/null | sed -n 's/^window: //p')
[[ $title == "Vorn 调度 [Vorn Scheduler] ()在线 |"* ]] || fail "the installed viewer's title is \"$title\""
# The package keeps an administrator's edit over upgrades (made without the
# dependency scan and the stripping, which the mark does not need).
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$root/package" \
      -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF -D CPACK_STRIP_FILES=OFF >/dev/null
dpkg-deb --ctrl-tarfile "$root"/package/*.deb | tar -xO ./conffiles | grep -qx "$config_dir/LANGUAGE.INI" ||
    fail "the package does not mark $config_dir/LANGUAGE.INI as a conffile"
for f in share/vorn-scheduler/PlantoraUserManual.pdf share/vorn-scheduler/PlantoraUserManual_zh_CN.pdf \
         share/applications/$app.desktop share/metainfo/$app.metainfo.xml \
         share/icons/hicolor/scalable/apps/$app.svg; do
    [ -s "$top/$f" ] || fail "$f not installed"
done
[ -d "$root$plant_bin" ] || fail "the menu entry's folder $plant_bin is not installed"
head -c 5 "$top/share/vorn-scheduler/PlantoraUserManual.pdf" | grep -q '%PDF-' || fail "the manual is not a PDF"
# With the renderer built, each manual carries its two chart pictures, each
# shrunk into the text width of A4 (8.27 in less two 2 cm margins) rather
# than cut off at the paper's edge.
if [ -x "$top/bin/vorn-scheduler-render" ]; then
    for m in PlantoraUserManual.pdf PlantoraUserManual_zh_CN.pdf; do
        pdfimages -list "$top/share/vorn-scheduler/$m" | awk -v m="$m" '
            NR > 2 && $3 == "image" { n++; if ($4 / $13 > 8.27 - 4 / 2.54 + 0.01) wide++ }
            END {
                if (n != 2) { print "FAIL: " m " holds " n + 0 " pictures, not 2"; exit 1 }
                if (wide) { print "FAIL: " m ": " wide " picture(s) wider than the text"; exit 1 }
            }' || exit 1
    done
fi

desktop="$top/share/applications/$app.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$top/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
grep -qx "Path=$plant_bin" "$desktop" || fail "the menu entry does not start in $plant_bin"
grep -qx "Icon=$app" "$desktop" || fail "the menu entry's icon is not the installed one"

# The plant view's service: installed, not enabled (no link under a .wants
# folder), its cells' file a conffile, accepted by systemd without a single
# complaint, and confined to an exposure score of at most 2 of 10.
if [ -x "$top/bin/vorn-scheduler-serve" ]; then
    unit="$top/lib/systemd/system/vorn-scheduler-serve.service"
    [ -s "$unit" ] || fail "the service unit is not installed"
    [ -s "$root$config_dir/serve.ini" ] || fail "$config_dir/serve.ini not installed"
    [ -z "$(find "$root" -path '*.wants/*' -name 'vorn-scheduler-serve*')" ] || fail "the service is enabled on install"
    grep -q "^ExecStart=$prefix/bin/vorn-scheduler-serve --config $config_dir/serve.ini\$" "$unit" ||
        fail "the service does not start the installed program on $config_dir/serve.ini"
    dpkg-deb --ctrl-tarfile "$root"/package/*.deb | tar -xO ./conffiles | grep -qx "$config_dir/serve.ini" ||
        fail "the package does not mark $config_dir/serve.ini as a conffile"
    # systemd checks that the program exists: point it into the scratch root.
    mkdir -p "$root/unit"
    sed "s|^ExecStart=$prefix/bin/|ExecStart=$top/bin/|" "$unit" >"$root/unit/vorn-scheduler-serve.service"
    said=$(systemd-analyze verify "$root/unit/vorn-scheduler-serve.service" 2>&1) || fail "systemd-analyze verify: $said"
    [ -z "$said" ] || fail "systemd-analyze verify: $said"
    systemd-analyze security --offline=true --threshold=20 "$root/unit/vorn-scheduler-serve.service" >/dev/null ||
        fail "the service is less confined than an exposure of 2.0"
fi

echo "PASS: installed layout"
