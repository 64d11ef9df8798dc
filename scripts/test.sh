#!/usr/bin/env bash
# Builds everything and runs every test (ctest) in the sandbox.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
build=$root/build
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" 2>&1 | grep -E 'error|warning|Error' || true
cmake --build "$build" -j"$(nproc)" >/dev/null
"$root/scripts/sandbox.sh" ctest --test-dir "$build" --output-on-failure "$@"
