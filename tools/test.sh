#!/usr/bin/env bash
# Installs what is needed, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test headless on a private
# session bus, then runs every fuzzer briefly. Exits non-zero on the first
# failure of any step.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON \
      -DVORN_BUILD_BENCH=ON -DVORN_BUILD_TOOLS=ON
cmake --build "$build" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# A session bus of our own: the link and control-channel tests talk on it,
# and nothing of the developer's desktop is touched.
dbus-run-session -- ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# Every fuzzer, briefly: its seeds and then new inputs for 20 seconds, built
# with clang's libFuzzer; any crash, leak or hang fails the run.
bash tools/fuzz.sh 20
