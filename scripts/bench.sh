#!/usr/bin/env bash
# Builds and runs the benchmarks in the sandbox: the 32-bit program where this
# host can run it, else the 64-bit one (OMBRELANE_ARCH=win32 or win64 chooses).
# "scripts/bench.sh startup" runs the start-up and shutdown figures alone,
# "scripts/bench.sh latency" the figures of fetching side by side,
# "scripts/bench.sh fingers" the network figures of the main benchmark.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
bench=ombrelane_bench
case "${1:-}" in
startup | latency)
    bench=ombrelane_bench_$1
    shift
    ;;
esac
build_arch $bench
echo "Benchmarks of the $OMBRELANE_ARCH program"
exec "$root/scripts/sandbox.sh" wine "$OMBRELANE_BUILD/bench/$bench.exe" "$@"
