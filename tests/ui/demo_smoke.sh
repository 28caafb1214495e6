#!/usr/bin/env bash
# The whole program beside the manager simulator, as the demo runs it: the
# hosted viewer creates its view once, feeds it on the first fill and on
# every tick, and ends only when the manager asks it to close, writing its
# settings on the way out. Its command line holds words the
# toolkit would take for its own options: they reach the title and do nothing.
#
#   demo_smoke.sh VIEWER DEMO_PLANT MANAGER_SIM CTL
set -euo pipefail
viewer=$1 plant=$2 sim=$3 ctl=$4

root=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- manager"; cat "$root/sim.log"; echo "--- viewer"; cat "$root/viewer.log"; exit 1; }

# Waits up to 30 s for `pattern` to appear at least `count` times in `file`.
await() {
    local file=$1 pattern=$2 count=$3
    for _ in $(seq 300); do
        [ "$(grep -c -- "$pattern" "$file" 2>/dev/null || true)" -ge "$count" ] && return 0
        sleep 0.1
    done
    fail "waited for $count x '$pattern' in $(basename "$file")"
}

"$plant" "$root" >/dev/null
cp "$viewer" "$root/bin/"
"$sim" --data "$root/data" --speed 600 --tick-ms 200 > "$root/sim.log" 2>&1 &
pids+=($!)
await "$root/sim.log" "owning ManagerServer.Document" 1

# Without a stored grouping the viewer groups by part, and writes that back
# when it really closes.
sed -i '/^SortOrder/d' "$root/data/VornSched.ini"
(cd "$root/bin" && exec ./vorn-scheduler --vorn-diag --print-window -- Smoke -reverse -style Fusion /H) \
    > "$root/viewer.log" 2>&1 &
viewer_pid=$!
pids+=($viewer_pid)

await "$root/sim.log" 'CreateView("Scheduler", "View Scheduler", 7)' 1
await "$root/sim.log" 'SetViewXMLData("SCHEDULER")' 3
await "$root/viewer.log" '^window: ' 1
grep -qx 'window: Vorn Scheduler (Smoke-reverse-styleFusion) On-Line | left-to-right' "$root/viewer.log" \
    || fail "the command line did not reach the title as typed"

"$ctl" close || fail "close was not delivered"
for _ in $(seq 100); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$viewer_pid" 2>/dev/null && fail "the viewer did not close for the manager"
wait "$viewer_pid" || fail "the viewer ended with status $?"

[ "$(grep -c 'CreateView' "$root/sim.log")" -eq 1 ] || fail "CreateView more than once"
grep -q '^SortOrder=0' "$root/data/VornSched.ini" || fail "settings were not written on close"
echo "PASS: hosted viewer and manager simulator"
