#!/usr/bin/env bash
# Builds and runs the benchmarks in the sandbox: the 32-bit program where this
# host can run it, else the 64-bit one (OMBRELANE_ARCH=win32 or win64 chooses).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
build_arch ombrelane_bench
echo "Benchmarks of the $OMBRELANE_ARCH program"
exec "$root/scripts/sandbox.sh" wine "$OMBRELANE_BUILD/bench/ombrelane_bench.exe" "$@"
