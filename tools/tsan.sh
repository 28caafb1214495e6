#!/usr/bin/env bash
# tools/tsan.sh [CTEST REGEX]
# Builds the suites whose code runs on more than one thread with clang and
# ThreadSanitizer into build-tsan, and runs them headless on a private
# session bus: the fill that reads a large table's records on a second
# thread, the manager client's sender thread (alone and in the window), the
# tick's refresh and the grid that populate their pages in the background.
# (tst_soak, the viewer under a manager that writes at 50 Hz, is not among
# them: clang 14's ThreadSanitizer aborts in the soak's start of the viewer
# process, "CHECK failed: tsan_rtl.cpp:234", a fault of its fork handling.)
# Every report is written to build-tsan/tsan/ and fails the run; reports
# inside Qt, which Debian does not build with ThreadSanitizer, are
# suppressed by tests/tsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."

suites=(tst_schedulerows tst_managerclient tst_refresh tst_frmscheduler tst_hostedwindow)
regex=${1:-^($(IFS='|'; echo "${suites[*]}"))\$}
build=${VORN_TSAN_BUILD:-build-tsan}

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVORN_TSAN=ON -DVORN_BUILD_BENCH=OFF -DVORN_BUILD_MANUAL=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${suites[@]}"

reports="$PWD/$build/tsan"
rm -rf "$reports"
mkdir -p "$reports"
export QT_QPA_PLATFORM=offscreen
# The hand-offs through Qt's event queues are made visible by
# tools/tsan/qthandoff.cpp.
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:second_deadlock_stack=1:history_size=4:log_path=$reports/report"
status=0
dbus-run-session -- ctest --test-dir "$build" -R "$regex" --output-on-failure || status=$?

found=$(find "$reports" -type f | wc -l)
if [ "$found" -gt 0 ]; then
    grep -h -A3 '^WARNING: ThreadSanitizer' "$reports"/* | head -60 >&2 || true
    echo "ThreadSanitizer: $found report file(s) in $reports" >&2
    status=1
else
    echo "ThreadSanitizer: no reports"
fi
exit "$status"
