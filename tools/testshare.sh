#!/usr/bin/env bash
# The house count: non-blank lines of tests/ and fuzz/ against src/ and tools/,
# over the files a developer writes (sources, scripts, build files), per
# folder of src/ and in all. The owner's rule is a quarter to a third.
set -euo pipefail
cd "$(dirname "$0")/.."

lines() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh' \
        -o -name '*.js' -o -name '*.html' -o -name '*.css' -o -name CMakeLists.txt \) \
        -print0 2>/dev/null | xargs -0r cat | grep -cv '^[[:space:]]*$' || true
}
share() { awk -v t="$1" -v c="$2" 'BEGIN { printf "%d%%", c ? 100 * t / c : 0 }'; }

printf '%-8s %7s %7s %6s\n' folder code tests share
for d in src/*/; do
    f=$(basename "$d")
    c=$(lines "src/$f"); t=$(lines "tests/$f")
    printf '%-8s %7d %7d %6s\n' "$f" "$c" "$t" "$(share "$t" "$c")"
done
code=$(lines src tools); tests=$(lines tests fuzz)
printf '%-8s %7d %7d %6s\n' all "$code" "$tests" "$(share "$tests" "$code")"
