#!/usr/bin/env bash
# tools/fuzz.sh [SECONDS] [TARGET...]
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz, then runs each target for
# SECONDS (default 60): first over its saved seeds and what earlier runs
# found, then on new inputs. Prints executions, coverage and failures per
# target; exits non-zero on any crash, leak, hang (> 1 s) or out-of-memory.
# Failing inputs are kept in build-fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(table livetable ini commandline timetext)
build=${VORN_FUZZ_BUILD:-build-fuzz}

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVORN_FUZZ=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF -DVORN_BUILD_TOOLS=OFF \
      "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Short texts need no room to grow; tables need room for a few records.
max_len() {
    case "$1" in
        commandline) echo 512 ;;
        timetext) echo 1024 ;;
        ini) echo 4096 ;;
        *) echo 16384 ;;
    esac
}

failed=0
rows=()
for target in "${targets[@]}"; do
    # What a run finds stays in the build folder for the next run; the seeds
    # in fuzz/corpus only change by hand.
    found="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/fuzz-$target.log"
    mkdir -p "$found" "$artifacts"
    dict=()
    words="fuzz/dict/${target/livetable/table}.dict"   # the live table is a table too
    if [ -f "$words" ]; then dict=(-dict="$words"); fi
    status=0
    "$build/fuzz/fuzz_$target" "$found" "fuzz/corpus/$target" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -detect_leaks=1 \
        -max_len="$(max_len "$target")" -artifact_prefix="$artifacts/" -print_final_stats=1 \
        >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | awk '{print $2 "/" $4}')
    problems=$(grep -cE '^(==[0-9]+==ERROR|SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer)|ALARM: working on the last Unit|out-of-memory' "$log" || true)
    if [ "$status" -ne 0 ] && [ "$problems" -eq 0 ]; then problems=1; fi
    if [ "$problems" -ne 0 ]; then
        failed=1
        echo "fuzz_$target failed (exit $status); log: $log" >&2
        grep -E 'ERROR|SUMMARY|ALARM|Test unit written|fuzz check failed' "$log" | head -20 >&2 || true
    fi
    rows+=("$(printf '%-12s %14s %14s %9s' "$target" "${runs:-?}" "${cov:-?}" "$problems")")
done

printf '%-12s %14s %14s %9s\n' target executions "cov/ft" failures
printf '%s\n' "${rows[@]}"
exit "$failed"
