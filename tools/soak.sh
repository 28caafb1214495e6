#!/usr/bin/env bash
# Builds in release mode and runs the concurrent-writer soak: the viewer hosted
# with Timer=100 beside a stand-in Manager Server that checks every schedule
# text, while a stand-in manager rewrites, appends, deletes, packs, truncates
# and recreates Scheduler.dbf at 50 Hz. Prints ticks, feeds, crashes, hangs,
# malformed feeds and memory; exits non-zero when anything is wrong.
#
#   tools/soak.sh [SECONDS] [more vorn-soak options]      (default 600)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target vorn-soak vorn-stand-in-manager vorn-scheduler

export QT_QPA_PLATFORM=offscreen
seconds="${1:-600}"
shift || true
exec dbus-run-session -- build-bench/tools/soak/vorn-soak --seconds "$seconds" "$@"
