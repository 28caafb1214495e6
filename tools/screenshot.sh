#!/usr/bin/env bash
# Opens the viewer on a fresh demo plant, grabs the window after its first
# paint, saves the picture and prints its path (and the start-up time).
# Without a display it runs on a virtual one (xvfb-run).
#
#   tools/screenshot.sh [--lang ENG|CN] [--build DIR] [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."

lang=ENG
build=build
out=""
while [ $# -gt 0 ]; do
    case "$1" in
        --lang) lang="$2"; shift 2 ;;
        --build) build="$2"; shift 2 ;;
        -h|--help) sed -n '2,6p' "$0"; exit 0 ;;
        *) out="$1"; shift ;;
    esac
done
out="${out:-$PWD/vorn-scheduler-$lang.png}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

# Built every time (an up-to-date build costs next to nothing), so that the
# picture never shows an older state of the sources. Only the picture's path
# and the timing go to standard output.
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >&2
cmake --build "$build" --target vorn-scheduler vorn-demo-plant >&2

# The viewer reads LANGUAGE.INI beside itself and its data from ../data.
root="$(mktemp -d /tmp/vorn-plant.XXXXXX)"
trap 'rm -rf "$root"' EXIT
"$build/tools/demo-plant/vorn-demo-plant" --lang "$lang" "$root" >/dev/null
cp "$build/src/vorn-scheduler" "$root/bin/"

cd "$root/bin"
run=(timeout 120 ./vorn-scheduler --vorn-diag --screenshot "$out" --startup-timing --)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1400x900x24" "${run[@]}"
else
    "${run[@]}"
fi
