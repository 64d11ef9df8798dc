#!/usr/bin/env bash
# Builds both programs and runs every test on each architecture this host can
# run (OMBRELANE_ARCH=win32 or win64 runs one only), then fuzzes the plain-C++
# decoders natively. Arguments go to ctest. Ends with one line, "N passed, M
# failed", counting every ctest test of every architecture run and each fuzz
# target as one more.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
forced=${OMBRELANE_ARCH:-}
"$root/scripts/setup.sh" || exit 1
source "$root/scripts/wine-env.sh"

if [ -n "$forced" ]; then
    run=("$forced")
elif host_runs_win32; then
    run=(win32 win64)
else
    echo "This host cannot run 32-bit programs: testing the 64-bit program only."
    run=(win64)
fi

for arch in win32 win64; do
    select_arch "$arch"
    echo "Building the $arch program and its tests"
    build_arch || exit 1
done

passed=0
failed=0
for arch in "${run[@]}"; do
    select_arch "$arch"
    echo "Testing the $arch program"
    log=$OMBRELANE_BUILD/ctest.log
    "$root/scripts/sandbox.sh" ctest --test-dir "$OMBRELANE_BUILD" --output-on-failure "$@" 2>&1 | tee "$log"
    summary=$(grep -oE '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        echo "ctest of $arch ended without a summary"
        failed=$((failed + 1))
        continue
    fi
    read -r bad _ _ _ _ total <<<"$summary"
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done

echo "Fuzzing the plain-C++ decoders for about 12 seconds each"
for harness in "$root"/tests/fuzz/fuzz_*.cpp; do
    if "$root/scripts/fuzz.sh" "$(basename "$harness" .cpp)"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
