#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them one after the other,
# each printing its own figures. Run it on a quiet machine: the figures are
# wall and processor times of this machine, nothing is asserted.
#
#   tools/bench.sh [store|chart|model|link|ui|serve|serve-pages|live ...]
#
# live (not among the defaults: it runs for minutes) starts the viewer in its
# own process beside a stand-in manager on a private bus; pass its options
# after it, e.g. tools/bench.sh live --records 100000 --modes hosted.
# serve-pages (not among the defaults either: about two minutes) runs the
# plant view's server in its own process with 50, 1 and no pages following
# a cell of 100,000 records.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
which=("$@")
[ ${#which[@]} -gt 0 ] || which=(store model chart ui link serve)
if [ "${which[0]}" = live ]; then
    echo "=== bench/live"
    exec dbus-run-session -- build-bench/bench/live/bench_live "${which[@]:1}"
fi
for b in "${which[@]}"; do
    echo "=== bench/$b"
    case "$b" in
        store) build-bench/bench/store/bench_store ;;
        model) build-bench/bench/model/bench_schedulerows ;;
        chart) build-bench/bench/chart/bench_chart ;;
        ui)    build-bench/bench/ui/bench_ui ;;
        link)  dbus-run-session -- build-bench/bench/link/bench_refresh ;;
        serve) build-bench/bench/serve/bench_serve ;;
        serve-pages) build-bench/bench/serve/bench_serve_pages ;;
        *) echo "unknown benchmark $b" >&2; exit 2 ;;
    esac
done
