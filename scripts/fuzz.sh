#!/usr/bin/env bash
# Fuzzes the saved entries file checks natively with clang's libFuzzer for
# about 30 seconds (FUZZ_SECONDS changes that), starting from good and bad
# files written here and the shipped samples. Everything lands in build-fuzz/.
# Fails on a crash, a sanitizer report or a broken assertion.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build-fuzz
mkdir -p "$out"
rm -f "$out"/crash-* "$out"/leak-* "$out"/oom-* "$out"/timeout-* "$out"/slow-unit-*

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root" \
    "$root/tests/fuzz/fuzz_entries_file.cpp" "$root/entries/entries_file.cpp" -o "$out/fuzz_entries_file"

# libFuzzer adds what it finds to its corpus: a fresh one each run keeps runs
# alike and the repository untouched.
corpus=$out/corpus
rm -rf "$corpus"
mkdir "$corpus"
cp "$root/docs/Samples.oen" "$corpus/samples.oen"
python3 -B - "$root/scripts" "$corpus" <<'EOF'
import pathlib, struct, sys
sys.path.insert(0, sys.argv[1])
from make_samples import header, record

def entry(number):
    return record("Entry %d" % number, "user%d@127.0.0.1" % number, number, 0x10000280, 0x00336699)

good = [header(n) + b"".join(entry(i) for i in range(n)) for n in (0, 1, 3)]
unterminated = bytearray(good[1])
unterminated[25:25 + 128] = b"x" * 128
seeds = {
    "empty": b"",
    "good-0": good[0], "good-1": good[1], "good-3": good[2],
    "wrong-magic": b"Ombrelane Entrief" + good[1][17:],
    "wrong-length": good[1][:17] + struct.pack("<I", 660) + good[1][21:],
    "short-header": good[1][:23],
    "lying-count": header(4) + entry(0) + entry(1),
    "negative-count": header(-1) + entry(0),
    "trailing-bytes": good[1] + b"\0\0\0\0",
    "unterminated-description": bytes(unterminated),
}
for name, data in seeds.items():
    (pathlib.Path(sys.argv[2]) / name).write_bytes(data)
EOF

log=$out/fuzz.log
if ! (cd "$out" && ./fuzz_entries_file -max_total_time="${FUZZ_SECONDS:-30}" -print_final_stats=1 \
        -artifact_prefix="$out/" "$corpus") >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "Fuzzing the saved entries file checks failed; the input is in $out/ (crash-*), the log in $log"
    exit 1
fi
echo "$(grep -E '^Done [0-9]+ runs' "$log") without a failure"
