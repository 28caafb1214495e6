#!/usr/bin/env bash
# tools/fuzz.sh [SECONDS] [TARGET...]
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz, then runs each target for
# SECONDS (default 60): first over its saved seeds and what earlier runs
# found, then on new inputs. Prints executions, coverage and failures per
# target; exits non-zero on any crash, leak, hang (> 1 s) or out-of-memory.
# "retimed" counts timeouts whose input, run again alone, took well under a
# second of processor time.
# Failing inputs are kept in build-fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(table livetable ini commandline timetext busmessage webrequest)
build=${VORN_FUZZ_BUILD:-build-fuzz}

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVORN_FUZZ=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF -DVORN_BUILD_TOOLS=OFF -DVORN_BUILD_MANUAL=OFF \
      "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Short texts need no room to grow; tables need room for a few records.
max_len() {
    case "$1" in
        commandline) echo 512 ;;
        timetext) echo 1024 ;;
        ini | busmessage | webrequest) echo 4096 ;;
        *) echo 16384 ;;
    esac
}

# A timeout is timed again before it counts as a hang, by the processor time
# of one run of the input alone: on a machine shared with other work, a
# fuzzer at low priority can wait longer than a second for the processor
# while its input needs a few milliseconds. True (a hang) when that run
# takes a second or more of processor time, or does not end within 30 s.
hangs_again() {
    local TIMEFORMAT='%3U %3S' cpu
    cpu=$( { time "$1" -timeout=30 -rss_limit_mb=2048 "$2" >/dev/null 2>&1; } 2>&1 ) || return 0
    awk -v t="$cpu" 'BEGIN { split(t, a, " "); exit !(a[1] + a[2] >= 1) }'
}

failed=0
rows=()
for target in "${targets[@]}"; do
    # What a run finds stays in the build folder for the next run; the seeds
    # in fuzz/corpus only change by hand.
    found="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/fuzz-$target.log"
    fuzzer="$build/fuzz/fuzz_$target"
    mkdir -p "$found" "$artifacts"
    : >"$log"
    dict=()
    words="fuzz/dict/${target/livetable/table}.dict"   # the live table is a table too
    if [ -f "$words" ]; then dict=(-dict="$words"); fi
    runs=0 retimed=0 failures=0 cov=? start=$SECONDS left=$seconds
    while :; do
        status=0
        "$fuzzer" "$found" "fuzz/corpus/$target" "${dict[@]}" \
            -max_total_time="$left" -timeout=1 -rss_limit_mb=2048 -detect_leaks=1 \
            -max_len="$(max_len "$target")" -artifact_prefix="$artifacts/" -print_final_stats=1 \
            >"$log.part" 2>&1 || status=$?
        cat "$log.part" >>"$log"
        runs=$((runs + $(sed -n 's/^stat::number_of_executed_units: *//p' "$log.part" | tail -1 | grep . || echo 0)))
        cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 | awk '{print $2 "/" $4}')
        [ "$status" -eq 0 ] && break
        hang=$(sed -n 's/.*Test unit written to \(.*\/timeout-[0-9a-f]*\)$/\1/p' "$log.part" | tail -1)
        left=$((seconds - (SECONDS - start)))
        if [ -n "$hang" ] && ! hangs_again "$fuzzer" "$hang"; then
            retimed=$((retimed + 1))
            rm -f "$hang"
            [ "$left" -gt 0 ] && continue
            break
        fi
        failures=1
        failed=1
        echo "fuzz_$target failed (exit $status); log: $log" >&2
        grep -E 'ERROR|SUMMARY|ALARM|Test unit written|fuzz check failed' "$log.part" | head -20 >&2 || true
        break
    done
    rm -f "$log.part"
    rows+=("$(printf '%-12s %14s %14s %9s %8s' "$target" "$runs" "$cov" "$failures" "$retimed")")
done

printf '%-12s %14s %14s %9s %8s\n' target executions "cov/ft" failures retimed
printf '%s\n' "${rows[@]}"
exit "$failed"
