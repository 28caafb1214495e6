#!/usr/bin/env bash
# Installs what is needed, builds, generates a demo plant and starts the
# viewer on it beside a simulated cell manager, the way the manager starts
# it ("/H"): the chart follows the live table and the manager prints a line
# for every schedule it is fed. Closing the window or Ctrl+C ends the demo.
#
# Without a display it runs on a virtual one, saves a screenshot after a few
# seconds of live updates, prints its path and ends. The plant view serves
# the same cell to browsers meanwhile and prints its address.
#
#   tools/demo.sh [--lang ENG|CN] [--speed N]
set -euo pipefail
cd "$(dirname "$0")/.."
top="$PWD"

lang=ENG
speed=120
while [ $# -gt 0 ]; do
    case "$1" in
        --lang) lang="$2"; shift 2 ;;
        --speed) speed="$2"; shift 2 ;;
        --inner) inner=1; shift ;;
        --headless) headless=1; shift ;;
        -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
        *) echo "demo.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

if [ -z "${inner:-}" ]; then
    bash tools/install-deps.sh
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF >/dev/null
    cmake --build build -j "$(nproc)" \
          --target vorn-scheduler vorn-demo-plant vorn-manager-sim vorn-scheduler-ctl vorn-scheduler-serve

    root="$top/demo"
    rm -rf "$root"
    build/tools/demo-plant/vorn-demo-plant --lang "$lang" "$root"
    # The viewer reads LANGUAGE.INI beside itself and its tables from ../data.
    cp build/src/vorn-scheduler "$root/bin/"

    # The viewer and the manager meet on a session bus; a private one keeps
    # the demo away from whatever else runs on this desktop.
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: running on a virtual one and taking a screenshot."
        exec xvfb-run -a -s "-screen 0 1400x900x24" \
            dbus-run-session -- bash "$0" --inner --headless --lang "$lang" --speed "$speed"
    fi
    exec dbus-run-session -- bash "$0" --inner --lang "$lang" --speed "$speed"
fi

root="$top/demo"
sim="$top/build/tools/manager-sim/vorn-manager-sim"
ctl="$top/build/tools/vorn-scheduler-ctl/vorn-scheduler-ctl"

# One clock for the cell and the viewer: the simulated 07:00 at this very
# instant, running at the demo's speed, so that the chart's now line stands
# where the simulated cell is; an hour into the shift the first parts are
# finished, running and late at once.
clock="07:00,$speed,$(date +%s%3N)"
"$sim" --data "$root/data" --clock "$clock" &
sim_pid=$!
# Give the manager a moment to own its bus name before the viewer looks for it.
for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:ManagerServer.Document 2>/dev/null \
        | grep -q 'boolean true' && break
    sleep 0.1
done

# The plant view beside the viewer: the same demo cell in any browser on
# this computer, for as long as the demo runs.
serve="$top/build/src/serve/vorn-scheduler-serve"
serve_pid=
if [ -x "$serve" ]; then
    "$serve" --cell Demo="$root/data" --listen 127.0.0.1:8470 &
    serve_pid=$!
    echo "Plant view: http://127.0.0.1:8470/ (the demo cell: http://127.0.0.1:8470/cell/Demo)"
fi

finish() {
    "$ctl" close >/dev/null 2>&1 || true
    kill "$sim_pid" $serve_pid 2>/dev/null || true
    wait 2>/dev/null || true
}
trap finish EXIT INT TERM

cd "$root/bin"
if [ -z "${headless:-}" ]; then
    # A real display: the viewer runs until its window is closed. A hosted
    # window only hides on close; like a manager would, we then ask it to
    # close for real.
    ./vorn-scheduler --vorn-diag --clock "$clock" -- Demo /H 2> >(while IFS= read -r line; do
        printf '%s\n' "$line" >&2
        case "$line" in *"hidden"*) "$ctl" close >/dev/null 2>&1 || true ;; esac
    done)
else
    shot="$top/demo/vorn-scheduler-$lang.png"
    ./vorn-scheduler --vorn-diag --clock "$clock" --screenshot "$shot" --screenshot-delay 4000 -- Demo /H
fi
