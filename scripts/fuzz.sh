#!/usr/bin/env bash
# Fuzzes the program's plain-C++ decoders natively with clang's libFuzzer:
#   scripts/fuzz.sh [TARGET...]
# A target tests/fuzz/fuzz_<module>.cpp fuzzes the module <layer>/<module>.cpp
# for about 12 seconds (FUZZ_SECONDS changes that), starting from the good and
# bad inputs scripts/fuzz_seeds.py writes; without arguments every target runs.
# Everything lands in build-fuzz/. A target fails on a crash, a sanitizer
# report or a broken assertion; the script fails when any target does.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build-fuzz
mkdir -p "$out"

if [ $# -eq 0 ]; then
    for harness in "$root"/tests/fuzz/fuzz_*.cpp; do
        set -- "$@" "$(basename "$harness" .cpp)"
    done
fi

fuzz() {
    local target=$1 module=${1#fuzz_} source log corpus
    rm -f "$out/$target"-{crash,leak,oom,timeout,slow-unit}-*
    source=$(ls "$root"/{entries,output,jobs,ui,shell}/"$module.cpp" 2>/dev/null)
    if [ ! -f "$root/tests/fuzz/$target.cpp" ] || [ "$(printf '%s\n' "$source" | wc -w)" -ne 1 ]; then
        echo "$target: no harness tests/fuzz/$target.cpp or no single module $module.cpp"
        return 1
    fi
    clang++ -std=c++20 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$root" "$root/tests/fuzz/$target.cpp" "$source" -o "$out/$target" || return 1

    # libFuzzer adds what it finds to its corpus: a fresh one each run keeps
    # runs alike and the repository untouched.
    corpus=$out/corpus-$module
    rm -rf "$corpus"
    mkdir "$corpus"
    python3 -B "$root/scripts/fuzz_seeds.py" "$target" "$corpus" || return 1

    log=$out/$target.log
    if ! (cd "$out" && "./$target" -max_total_time="${FUZZ_SECONDS:-12}" -print_final_stats=1 \
            -artifact_prefix="$out/$target-" "$corpus") >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "$target failed; the input is in $out/ ($target-crash-*), the log in $log"
        return 1
    fi
    echo "$target: $(grep -E '^Done [0-9]+ runs' "$log") without a failure"
}

status=0
for target in "$@"; do
    fuzz "$target" || status=1
done
exit $status
