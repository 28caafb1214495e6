#!/usr/bin/env bash
# vorn-scheduler-render as reports and CI run it: the chart of a demo plant
# into PNG, PDF and SVG, with and without the overlays, in both languages;
# a missing table is one line on standard error, exit 1 and no output.
#
#   render_tool.sh RENDER DEMO_PLANT
set -euo pipefail
render=$1 plant=$2

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$plant" --now 10:30 "$root/plant" >/dev/null
data="$root/plant/data"

# Pixels of one exact colour in a PNG.
count() { convert "$1" -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:; }

"$render" --data "$data" --now 10:30:00 "$root/on.png" || fail "PNG with overlays"
"$render" --data "$data" --now 10:30:00 --no-overlays "$root/off.png" || fail "PNG without overlays"
[ "$(count "$root/on.png" '#10A03C')" -gt 100 ] || fail "no now line with overlays"
[ "$(count "$root/off.png" '#10A03C')" -eq 0 ] || fail "a now line without overlays"
[ "$(count "$root/on.png" '#FFD2D2')" -gt 0 ] || fail "no running operation at 10:30"
# Without --data the viewer's own rule: ../data/ from the current folder.
(cd "$root/plant/bin" && "$render" --now 10:30:00 "$root/here.png") || fail "default data folder"
cmp -s "$root/on.png" "$root/here.png" || fail "the default folder gave another picture"

"$render" --data "$data" --now 10:30:00 --sort machine "$root/machine.png" || fail "by machine"
cmp -s "$root/on.png" "$root/machine.png" && fail "by machine equals by part"
"$render" --data "$data" --now 10:30:00 --lang CN "$root/cn.png" || fail "Chinese"
cmp -s "$root/on.png" "$root/cn.png" && fail "the Chinese picture equals the English one"

# A chosen window of time and columns: 10:00 to 11:00 at 1 minute is 60
# columns of 26 pixels behind the name column and one time column.
"$render" --data "$data" --interval 1 --from 10:00 --to 11:00 --columns PlanBeg --now 10:30:00 "$root/win.png" \
    || fail "time window"
[ "$(identify -format '%w' "$root/win.png")" -eq $((26 + 140 + 70 + 60 * 26)) ] || fail "width of 10:00-11:00"

"$render" --data "$data" --now 10:30:00 "$root/chart.pdf" || fail "PDF"
[ "$(grep -ac '/Type /Page$\|/Type /Page\b' "$root/chart.pdf" || true)" -gt 1 ] || fail "PDF of one page"
"$render" --data "$data" --now 10:30:00 "$root/chart.svg" || fail "SVG"
grep -q '<svg' "$root/chart.svg" || fail "not an SVG"

rm "$data/Aplan.dbf"
set +e
"$render" --data "$data" "$root/none.png" 2>"$root/err.txt"
status=$?
set -e
[ $status -eq 1 ] || fail "missing table gave status $status"
[ "$(wc -l <"$root/err.txt")" -eq 1 ] || fail "stderr: $(cat "$root/err.txt")"
grep -q 'Aplan' "$root/err.txt" || fail "the line does not name the table: $(cat "$root/err.txt")"
[ ! -e "$root/none.png" ] || fail "an output was written"

"$render" --data "$data" "$root/x.bmp" 2>/dev/null && fail "a .bmp was accepted"
echo "PASS"
